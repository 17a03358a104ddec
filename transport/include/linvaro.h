/*
 * Linvaro: ZPX frame transport between the host and first-make readers.
 *
 * A link is one open connection to a reader, a serial port or a TCP
 * connection, named by a link handle from 1 to 16. Each link has its own
 * link thread, which writes the request frames that LVRM_Send prepares and
 * rebuilds the reader's answer byte by byte. The caller sends one request,
 * waits on its answer event, then collects the answer with LVRM_GetAnswer.
 *
 * ZPX frame: mode, [address], command, length L, L data bytes, [CRC high, CRC low].
 *   mode 2  (ZPX_MODE_ADDR_CRC)  address and CRC
 *   mode 6  (ZPX_MODE_ADDR)      address, no CRC
 *   mode 14 (ZPX_MODE_CRC)       CRC, no address
 *   mode 30 (ZPX_MODE_PLAIN)     neither
 * The CRC is CRC-16/KERMIT over address, command, length and data, sent high
 * byte first. In an answer the length 0xFF announces a block list: blocks of
 * a count byte n (0..254) and n bytes, ended by one 0xFF byte, which is kept
 * with the data.
 *
 * No exception leaves the library: a call that fails inside it (no memory, a
 * thread or lock the system refused) gives its own failure value, as
 * described at each function: LVRM_OPEN_FAILED for the opens, 0 for the calls
 * that answer 1 or 0, -1 for the descriptors, and for the others LVRM_Send
 * LVRM_ERR_UNKNOWN_MODE (nothing sent), LVRM_GetAnswer
 * LVRM_ERR_NOTHING_RECEIVED, LVRM_IsHandleValid LVRM_ERR_INVALID_HANDLE and
 * LVRM_GetNbBlocks LVRM_ERR_WRONG_BLOCK_FORMAT.
 */
#ifndef LINVARO_H
#define LINVARO_H

#include <stdint.h>

#if defined(__GNUC__)
#define LVRM_API __attribute__((visibility("default")))
#else
#define LVRM_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Frame modes. */
#define ZPX_MODE_ADDR_CRC 2
#define ZPX_MODE_ADDR 6
#define ZPX_MODE_CRC 14
#define ZPX_MODE_PLAIN 30

/* Status and error codes; LVRM_GetErrorString gives their texts. */
#define LVRM_OK 0
#define LVRM_ERR_UNKNOWN_MODE (-1)
#define LVRM_ERR_WRONG_CRC (-2)
#define LVRM_ERR_NOTHING_RECEIVED (-3)
/* -4 has no name and no text here: it is the command library's answer
   time-out (QVL_ERR_TIMEOUT in quorvel.h). */
#define LVRM_ERR_INCOMPLETE_ANSWER (-5)
#define LVRM_ERR_RECEPTION_IN_PROGRESS (-6)
#define LVRM_ERR_WRONG_BLOCK_FORMAT (-7)
#define LVRM_ERR_INVALID_HANDLE (-8)
#define LVRM_ERR_CONNECTION_LOST (-9)
/* What the opens return instead of a link handle. */
#define LVRM_OPEN_FAILED (-1)

/* Sizes: the longest request frame, the answer data area, the error text buffer. */
#define LVRM_MAX_FRAME 261
#define LVRM_ANSWER_DATA_SIZE 4096
#define LVRM_ERROR_STRING_SIZE 28

#define LVRM_VERSION 0x01050001

/*
 * Optional notification of a completed answer, in place of a window message:
 * when given to LVRM_Send, the link posts proc(context, message, handle, status)
 * to the message loop `loop` (a platform::MessageLoop*, for instance
 * &platform::MessageLoop::current() of the caller's thread), where it runs from
 * that thread's dispatching. status is LVRM_OK (answer complete) or
 * LVRM_ERR_WRONG_CRC.
 * LVRM_Send copies the record; the loop must outlive the link's use of it.
 */
typedef void (*LVRM_NotifyProc)(void* context, uint32_t message, int32_t handle, int32_t status);
typedef struct LVRM_NotifyWindow {
    void* loop;
    LVRM_NotifyProc proc;
    void* context;
} LVRM_NotifyWindow;

/*
 * Frames and answers.
 *
 * LVRM_Send: builds the frame (mode, address, command and length count by
 * their low 8 bits; data holds length bytes, may be NULL when length is 0) and
 * hands it to the link thread; does not wait. answerEvent is the caller's
 * platform::Event* (or NULL): it is reset here and set when the answer is
 * complete. window/message: the optional notification above (window NULL: none).
 * Returns LVRM_OK, LVRM_ERR_INVALID_HANDLE, LVRM_ERR_CONNECTION_LOST (link not
 * connected), LVRM_ERR_UNKNOWN_MODE (also for data NULL with a non-zero
 * length; nothing is sent then).
 *
 * LVRM_GetAnswer: returns LVRM_OK and copies the header bytes and data
 * (ordinary answer: length bytes; block list: the whole list with its 0xFF
 * end byte, at most LVRM_ANSWER_DATA_SIZE bytes) when an answer is complete;
 * LVRM_ERR_WRONG_CRC with the header bytes set to 0 and no data for an answer
 * with a wrong CRC (also for a block list longer than LVRM_ANSWER_DATA_SIZE
 * bytes); either way the link is then ready for the next answer.
 * LVRM_ERR_NOTHING_RECEIVED, LVRM_ERR_RECEPTION_IN_PROGRESS (frame arriving,
 * nothing changes), LVRM_ERR_INVALID_HANDLE, LVRM_ERR_CONNECTION_LOST.
 */
LVRM_API int32_t LVRM_Send(int32_t handle, int32_t mode, int32_t address, int32_t command, int32_t length,
                           const uint8_t* data, void* answerEvent, const LVRM_NotifyWindow* window,
                           uint32_t message);
LVRM_API int32_t LVRM_GetAnswer(int32_t handle, uint8_t* mode, uint8_t* address, uint8_t* command,
                                uint8_t* length, uint8_t* data);
/* 1 when the handle is valid, the link connected and an answer (good or wrong CRC) is waiting. */
LVRM_API int32_t LVRM_IsAnswerAvailable(int32_t handle);

/*
 * Block lists: number of blocks in the list held in data[0..size), or
 * LVRM_ERR_WRONG_BLOCK_FORMAT when the list is malformed (its end byte must lie below size). LVRM_GetBlock
 * copies block `index` (from 0, at most 254 bytes) to destination, stores its
 * length and returns 1; 0 when there is no such block or the list is malformed.
 */
LVRM_API int32_t LVRM_GetNbBlocks(const uint8_t* data, int32_t size);
LVRM_API int32_t LVRM_GetBlock(const uint8_t* data, int32_t size, int32_t index, uint8_t* destination,
                               uint32_t* blockLength);

/* Copies the text of code (with its zero byte, at most LVRM_ERROR_STRING_SIZE
   bytes) and returns 1; 0 for a code without text (-4, below
   LVRM_ERR_CONNECTION_LOST, above LVRM_OK), buffer untouched. */
LVRM_API int32_t LVRM_GetErrorString(int32_t code, char* buffer);
/* 0x01050001: version 1.5, release 1. */
LVRM_API int32_t LVRM_GetVersion(void);

/*
 * Links.
 *
 * LVRM_SerialOpen: opens serial port COMn exclusively, raw 8N1 at the given
 * speed, no flow control, RTS and DTR off, buffers flushed; waits 200 ms for
 * the line to settle. LVRM_TCPOpenEx: host as "a.b.c.d" (low 8 bits of each
 * number) or a host name; with ping non-zero, one ICMP echo must come back
 * within pingTimeoutMs (its round trip in ms goes to *roundTripMs when not
 * NULL) before the connect is tried; waits 100 ms after connecting.
 * Both return the link handle 1..16, or LVRM_OPEN_FAILED for any failure (no
 * slot is used then).
 * LVRM_TCPOpen is LVRM_TCPOpenEx without ping.
 */
LVRM_API int32_t LVRM_SerialOpen(int32_t portNumber, int32_t baud);
LVRM_API int32_t LVRM_TCPOpen(const char* host, int32_t port);
LVRM_API int32_t LVRM_TCPOpenEx(const char* host, int32_t port, int32_t ping, int32_t pingTimeoutMs,
                                int32_t* roundTripMs);
/* Stops the link thread (within 200 ms), closes the port or socket, frees the
   slot, waits 200 ms. 1 when a link was closed, 0 for an invalid or empty handle. */
LVRM_API int32_t LVRM_Close(int32_t handle);
/* LVRM_OK open and connected, LVRM_ERR_INVALID_HANDLE otherwise,
   LVRM_ERR_CONNECTION_LOST a link whose line has gone: a TCP peer closed the
   connection, or a serial device hung up or failed (an adapter pulled, the far
   end of a pseudo-terminal closed). A gone line never comes back: from then on
   LVRM_Send and LVRM_GetAnswer give LVRM_ERR_CONNECTION_LOST as well, and a
   caller waiting for an answer has its answer event set at once; close the
   link and open the port again. */
LVRM_API int32_t LVRM_IsHandleValid(int32_t handle);
/* The link's descriptors: serial port / socket, -1 for the other kind of link or an invalid handle. */
LVRM_API intptr_t LVRM_GetCommHandle(int32_t handle);
LVRM_API intptr_t LVRM_GetSocket(int32_t handle);

/*
 * Modem lines of serial links. state AND 3: 0 off, 1 on (2 handshake and 3
 * toggle are not offered and give 0). 1 when applied; 0 for TCP links,
 * invalid handles and devices without modem lines (pseudo-terminals).
 */
LVRM_API int32_t LVRM_SetRTS(int32_t handle, int32_t state);
LVRM_API int32_t LVRM_SetDTR(int32_t handle, int32_t state);
LVRM_API int32_t LVRM_GetCTS(int32_t handle);
LVRM_API int32_t LVRM_GetDSR(int32_t handle);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* LINVARO_H */
