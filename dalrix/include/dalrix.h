/*
 * Dalrix: the driver for ISO 15693 desk readers of the second make.
 *
 * The reader speaks a framed protocol on a serial line at 19200 baud 8N1.
 * Every export below builds one request frame, runs one exchange with the
 * reader on the open port and unpacks the answer into the caller's variables.
 * Programs load Dalrix.so at run time and look the exports up by name; this
 * header declares them for tools and tests that link or bind them directly.
 *
 * Results: DALRIX_OK for success; otherwise the reader's non-zero status byte
 * (DALRIX_STATUS_ERROR_CODE means that the reader gave an error code, see the
 * error code argument) or one of the DRV_ codes below. The port exports and
 * ReadScanModeData have results of their own, described at each. No
 * exception leaves the driver: an export that fails inside (no memory, say)
 * gives DRV_NO_ANSWER.
 *
 * Argument conventions:
 *  - address: one byte holding the reader's bus address, read when the request
 *    is built; 0xFF reaches any reader. Only OpenComPort, AutoOpenComPort and
 *    GetReaderInformation write it back (the answering reader's address).
 *  - state: the ISO 15693 request mode byte sent with the tag commands; it
 *    decides whether the UID goes out (state 0, 4, 8, 12, 0xA0 or 0xA8 with a
 *    UID given) and the block size (reads: 8 bytes for state 4 or 5, else 4;
 *    WriteSingleBlock: 8 bytes for state 4, 5, 12 or 13, else 4).
 *  - uid: the tag's 8 UID bytes in the order an inventory delivers them, or null.
 *  - errorCode: receives the error code of the last good answer after the
 *    exchange, whatever its result (0 unless the reader answered status
 *    DALRIX_STATUS_ERROR_CODE).
 *  - Outputs other than errorCode (and the inventory list and count) are
 *    written only when the result is DALRIX_OK.
 *  - A null pointer where the driver must read a value (address, state, a
 *    parameter or data block) fails the call with DRV_NO_ANSWER without
 *    sending; null output pointers are skipped.
 *  - A call made while another exchange waits for its answer (from a timer or
 *    notification handled during that wait) returns DRV_BUSY and changes and
 *    writes nothing; the running exchange goes on undisturbed.
 *
 * Buffers without a length argument must hold the largest possible answer:
 * 251 data bytes per answer, 9 bytes per inventory entry (at most 255
 * entries), DALRIX_SCAN_BUFFER_SIZE bytes for ReadScanModeData.
 *
 * All exports must be called from one thread, the one that opens the port:
 * received bytes reach the driver through that thread's message loop, both
 * inside the driver's waits and between calls.
 */
#ifndef DALRIX_H
#define DALRIX_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Driver result codes. */
enum {
    DALRIX_OK = 0,
    DRV_NO_ANSWER = 0x30,    /* no complete answer in time; port cannot be opened */
    DRV_CRC_ERROR = 0x31,    /* an answer frame failed its CRC check */
    DRV_LENGTH_ERROR = 0x32, /* answer data of the wrong length; a request over 256 bytes */
    DRV_BUSY = 0x33          /* an exchange is already running */
};

/* Reader status meaning "an error code follows" (the result, with errorCode set). */
enum { DALRIX_STATUS_ERROR_CODE = 0x0F };

/* ReadScanModeData: the reader sent nothing since the last request. */
enum { DALRIX_NOTHING_RECEIVED = 1 };

/* Bytes the driver keeps of what the reader sends between two requests. */
enum { DALRIX_SCAN_BUFFER_SIZE = 40960 };

/* ---- Port ---------------------------------------------------------------- */

/* Closes the open port, opens COM(portIndex + 1) at 19200 baud and asks the
 * reader for its information (see GetReaderInformation). DRV_NO_ANSWER when
 * the port cannot be opened; otherwise the result of that request. The port
 * stays open when the reader does not answer. */
int32_t OpenComPort(int32_t portIndex, uint8_t* address);
/* Closes the port; DALRIX_OK (DRV_BUSY during an exchange). */
int32_t CloseComPort(void);
/* Closes the port when it is COM(portIndex + 1) and returns DALRIX_OK;
 * otherwise DRV_NO_ANSWER (DRV_BUSY during an exchange). */
int32_t CloseSpecComPort(int32_t portIndex);
/* OpenComPort with indexes 0 to 11 until one returns DALRIX_OK; stores that
 * index and returns DALRIX_OK. Closes each port that fails; DRV_NO_ANSWER
 * when none answers. */
int32_t AutoOpenComPort(int32_t* portIndex, uint8_t* address);
/* 1 while a port is open and its line is up; 0 when no port is open or its
 * line has gone (device unplugged or hung up, the far end of a
 * pseudo-terminal closed). On a gone line every exchange fails at once with
 * DRV_NO_ANSWER, without waiting; close the port and open it again. Not one
 * of the entry points every driver has: look it up, and take a driver
 * without it as always connected. */
int32_t ComPortConnected(void);

/* ---- Reader commands ----------------------------------------------------- */

/* version: 2 bytes, infoA: 1, infoB: 2, scanTime: 1 (units of 100 ms; it also
 * sets the window of the stream inventories). Writes address on success. */
int32_t GetReaderInformation(uint8_t* address, uint8_t* version, uint8_t* infoA, uint8_t* infoB,
                             uint8_t* scanTime);
int32_t OpenRf(uint8_t* address);
int32_t CloseRf(uint8_t* address);
int32_t WriteComAdr(uint8_t* address, const uint8_t* newAddress);
int32_t WriteInventoryScanTime(uint8_t* address, const uint8_t* scanTime);
int32_t SetGeneralOutput(uint8_t* address, const uint8_t* value);
int32_t GetGeneralInput(uint8_t* address, uint8_t* value);
int32_t SetRelay(uint8_t* address, const uint8_t* value);
int32_t SetActiveANT(uint8_t* address, const uint8_t* value);
int32_t GetANTStatus(uint8_t* address, uint8_t* value);
int32_t SetActiveANT_2(uint8_t* address, const uint8_t* value);
int32_t GetANTStatus_2(uint8_t* address, uint8_t* value);
/* On success the scan buffer is emptied. */
int32_t SetUserDefinedBlockLength(uint8_t* address, const uint8_t* length);
int32_t GetUserDefinedBlocklength(uint8_t* address, uint8_t* length);
/* parameters: 11 bytes. The scan buffer is emptied before and after. */
int32_t SetScanMode(uint8_t* address, const uint8_t* parameters);
/* On success copies all answer data bytes to status; empties the scan buffer. */
int32_t GetScanModeStatus(uint8_t* address, uint8_t* status);
/* Sends nothing: moves everything the reader sent since the last request
 * (raw, at most DALRIX_SCAN_BUFFER_SIZE bytes) to buffer and its count to
 * length; returns DALRIX_OK, or DALRIX_NOTHING_RECEIVED with length 0 when
 * nothing was received. */
int32_t ReadScanModeData(uint8_t* buffer, int32_t* length);
int32_t SetAccessTime(uint8_t* address, const uint8_t* value);
int32_t GetAccessTime(uint8_t* address, uint8_t* value);
int32_t SetReceiveChannel(uint8_t* address, const uint8_t* channel);
int32_t GetReceiveChannelStatus(uint8_t* address, uint8_t* value);
int32_t SetParseMode(uint8_t* address, const uint8_t* mode);
int32_t GetParseMode(uint8_t* address, uint8_t* mode);

/* ---- ISO 15693 tag commands ---------------------------------------------- */

/* type is sent as the state byte: 0 and 1 ask for one answer, 2, 3, 6 and 7
 * for a stream of answers (one per tag, then a closing status) within the
 * reader's scan time + 100 ms; odd types send *afi. Other types send nothing
 * and only collect what arrives in that window.
 * list receives 9-byte entries (DSFID, then the 8 UID bytes), each tag once;
 * count their number (255 at most). Both are written whatever the result,
 * except DRV_BUSY. */
int32_t Inventory(uint8_t* address, const uint8_t* type, const uint8_t* afi, uint8_t* list,
                  uint8_t* count);
int32_t StayQuiet(uint8_t* address, const uint8_t* uid, uint8_t* errorCode);
int32_t Select(uint8_t* address, const uint8_t* uid, uint8_t* errorCode);
int32_t ReadSingleBlock(uint8_t* address, const uint8_t* state, const uint8_t* uid, uint8_t blockNumber,
                        uint8_t* securityStatus, uint8_t* block, uint8_t* errorCode);
int32_t WriteSingleBlock(uint8_t* address, const uint8_t* state, const uint8_t* uid, uint8_t blockNumber,
                         const uint8_t* block, uint8_t* errorCode);
int32_t LockBlock(uint8_t* address, const uint8_t* state, const uint8_t* uid, uint8_t blockNumber,
                  uint8_t* errorCode);
/* securityStatus: count bytes; blocks: count x block size bytes, back to back. */
int32_t ReadMultipleBlock(uint8_t* address, const uint8_t* state, const uint8_t* uid, uint8_t firstBlock,
                          uint8_t count, uint8_t* securityStatus, uint8_t* blocks, uint8_t* errorCode);
int32_t ResetToReady(uint8_t* address, const uint8_t* state, const uint8_t* uid, uint8_t* errorCode);
int32_t WriteAFI(uint8_t* address, const uint8_t* state, const uint8_t* uid, uint8_t afi, uint8_t* errorCode);
int32_t LockAFI(uint8_t* address, const uint8_t* state, const uint8_t* uid, uint8_t* errorCode);
int32_t WriteDSFID(uint8_t* address, const uint8_t* state, const uint8_t* uid, uint8_t dsfid,
                   uint8_t* errorCode);
int32_t LockDSFID(uint8_t* address, const uint8_t* state, const uint8_t* uid, uint8_t* errorCode);
/* Writes flags and the 8-byte UID, then, as the flags announce them (bits
 * 0 to 3): dsfid, afi, memorySize (2 bytes) and icReference. */
int32_t GetSystemInformation(uint8_t* address, const uint8_t* state, const uint8_t* uid, uint8_t* flags,
                             uint8_t* uidOut, uint8_t* dsfid, uint8_t* afi, uint8_t* memorySize,
                             uint8_t* icReference, uint8_t* errorCode);
/* Copy all answer data bytes to data, whatever their number (the block length
 * set with SetUserDefinedBlockLength tells how many to expect). */
int32_t CustomizedReadSingleBlock(uint8_t* address, const uint8_t* state, const uint8_t* uid,
                                  uint8_t blockNumber, uint8_t* data, uint8_t* errorCode);
int32_t CustomizedWriteSingleBlock(uint8_t* address, const uint8_t* state, const uint8_t* uid,
                                   uint8_t blockNumber, const uint8_t* data, uint8_t length,
                                   uint8_t* errorCode);
int32_t CustomizedReadMultipleBlock(uint8_t* address, const uint8_t* state, const uint8_t* uid,
                                    uint8_t firstBlock, uint8_t count, uint8_t* data, uint8_t* errorCode);

/* ---- Transparent commands (raw tag commands through the reader) --------- */

/* On success answerLength receives the number of answer data bytes and
 * answer the bytes themselves. */
int32_t TransparentRead(uint8_t* address, uint8_t parameter, uint8_t length, const uint8_t* data,
                        uint8_t* answerLength, uint8_t* answer, uint8_t* errorCode);
/* parameters: 4 bytes. */
int32_t TransparentWrite(uint8_t* address, const uint8_t* parameters, uint8_t extra, uint8_t length,
                         const uint8_t* data, uint8_t* answerLength, uint8_t* answer, uint8_t* errorCode);
/* parameters: 2 bytes. */
int32_t TransparentCustomizedCmd(uint8_t* address, const uint8_t* parameters, uint8_t extra, uint8_t length,
                                 const uint8_t* data, uint8_t* answerLength, uint8_t* answer,
                                 uint8_t* errorCode);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* DALRIX_H */
