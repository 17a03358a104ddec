/*
 * Quorvel: the commands of the first-make reader families (FENO, ORBA, TALU,
 * GIRM) and the link functions they share.
 *
 * A link handle is the number 1..16 that the frame transport gives out; each
 * handle has its own settings here (frame mode, reader address, answer
 * time-out), reset to their defaults whenever a link is opened on it.
 *
 * Every command is one request frame and one answer: it returns 0 when the
 * exchange completed (then look at the reader status byte, bit 7 set means
 * the reader refused or failed the command), QVL_ERR_TIMEOUT when no answer
 * came within the link's time-out, or the transport's code (the LVRM_ERR_*
 * codes of linvaro.h, texts from LVRM_GetErrorString; LVRM_ERR_CONNECTION_LOST
 * at once, without waiting out the time-out, on a link whose line has gone).
 * At most one command may be outstanding per link.
 *
 * No exception leaves the library: a command that fails inside the library
 * (no memory, say) gives QVL_ERR_TIMEOUT, as if no answer had come; an open
 * gives LVRM_OPEN_FAILED, QVL_Close and the firmware functions 0.
 */
#ifndef QUORVEL_H
#define QUORVEL_H

#include <stdint.h>

#if defined(__GNUC__)
#define QVL_API __attribute__((visibility("default")))
#else
#define QVL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* No answer within the link's time-out. */
#define QVL_ERR_TIMEOUT (-4)

/* Reader status bytes of the first-make readers. */
#define QVL_STATUS_FAILED_BIT 0x80      /* set in every status of a refused or failed command */
#define QVL_STATUS_BAD_ARGUMENT 0x82    /* made by the library, nothing sent: arguments that make no request */
#define QVL_STATUS_READ_ERROR 0x89      /* a read error */
#define QVL_STATUS_NO_TAG 0xC4          /* no tag answered, or the tag refused (TALU_STATUS_NO_TAG) */
#define QVL_STATUS_TAG_READ_ERROR 0xC5  /* a read error as well */
#define QVL_STATUS_MANY_TAGS 0xCC       /* several tags answered a command meant for one */

#define QVL_VERSION 0x02000000

/* Defaults of a freshly opened link. */
#define QVL_DEFAULT_TIMEOUT_MS 500
#define QVL_DEFAULT_MODE 2
#define QVL_DEFAULT_ADDRESS 0

/* 0x02000000. */
QVL_API int32_t QVL_GetVersion(void);

/* Open a link through the transport (see LVRM_SerialOpen, LVRM_TCPOpenEx):
   the link handle, or LVRM_OPEN_FAILED. */
QVL_API int32_t QVL_SerialOpen(int32_t portNumber, int32_t baud);
QVL_API int32_t QVL_TCPOpen(const char* host, int32_t port);
QVL_API int32_t QVL_TCPOpenEx(const char* host, int32_t port, int32_t probe, int32_t probeTimeoutMs,
                              int32_t* roundTripMs);
/* The result of LVRM_Close: 1 closed, 0 invalid handle. */
QVL_API int32_t QVL_Close(int32_t handle);
/* The result of LVRM_IsHandleValid: LVRM_OK an open link whose line is up,
   LVRM_ERR_CONNECTION_LOST one whose line has gone (serial device hung up or
   failed, TCP peer closed: every command on it fails at once with
   LVRM_ERR_CONNECTION_LOST; close it and open the port again),
   LVRM_ERR_INVALID_HANDLE no open link. */
QVL_API int32_t QVL_IsHandleValid(int32_t handle);

/* Per-link settings, used from the next command on: frame mode (2, 6, 14 or
   30; low 8 bits), reader address (low 8 bits), answer time-out in ms.
   1 when stored, 0 when the handle names no open link. */
QVL_API int32_t QVL_SetMode(int32_t handle, int32_t mode);
QVL_API int32_t QVL_SetAddress(int32_t handle, int32_t address);
QVL_API int32_t QVL_SetTimeout(int32_t handle, uint32_t timeoutMs);

/*
 * One command exchange: sends command (low 8 bits) with length (0..255) data
 * bytes, waits for the answer up to the link's time-out and hands back the
 * reader status byte, the answer length byte and the answer data. answerData
 * must hold 255 bytes, or a whole block list (answer length 0xFF, up to 4096
 * bytes). On any non-zero return the outputs are left as they were.
 */
QVL_API int32_t QVL_CmdExec(int32_t handle, int32_t command, int32_t length, const uint8_t* data,
                            uint8_t* readerStatus, uint8_t* answerLength, uint8_t* answerData);

/*
 * Asks the reader who it is (command 0x60). On 0: the status byte is stored,
 * the two identification bytes are answer bytes 0 and 1 (0 when missing) and
 * the text is answer bytes 2.. up to the first zero byte (empty when missing);
 * text must hold 255 bytes.
 */
QVL_API int32_t QVL_IdentifyReaderOnNetwork(int32_t handle, char* text, uint8_t* firstId, uint8_t* secondId,
                                            uint8_t* readerStatus);

#ifdef __cplusplus
} /* extern "C" */
#endif

#include "quorvel_feno.h"
#include "quorvel_orba.h"
#include "quorvel_talu.h"
#include "quorvel_feno_reader.h"
#include "quorvel_girm.h"
#include "quorvel_orba_reader.h"
#include "quorvel_talu_reader.h"

#endif /* QUORVEL_H */
