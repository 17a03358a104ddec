/*
 * Quorvel: ISO/IEC 15693 commands of ORBA readers.
 *
 * An ORBA reader forwards ISO 15693 requests to the tags: the library builds
 * the whole request (request flags, ISO command code, UID, parameters) and
 * sends it inside the reader's ISO carrier command (0x28), whose first data
 * byte is the carrier control byte:
 *   0x01  write-alike: the tag programs its memory before answering
 *   0x02  raw: the request is complete from its flags byte on
 *   0x10, 0x20, 0x40  flag bits for the reader to use when 0x02 is clear
 *
 * The reader hands back what the tags answered as records, each a record
 * status byte followed by the tag's answer (response flags, data): a plain
 * answer is one record, a block list one record per block. Records are
 * stored in slots of ORBA_RECORD_SLOT_SIZE bytes with their lengths in a
 * separate byte array.
 *
 * Byte order: a UID is given most significant byte first (E0 first, as
 * printed) and goes on the air least significant byte first; data to be
 * written is given most significant byte first and reversed the same way.
 * Answers come back in air order (block bytes as the tag holds them, least
 * significant first; UIDs least significant first).
 *
 * Request flags of the tag commands: 0x01 / 0x02 when the link's request
 * options A / B (ORBA_SetDownlinkISO15693) equal 1; 0x10 for addressing mode
 * 1 (the selected tag), 0x20 and the UID for mode 2 (addressed); any other
 * mode sends neither and the UID pointer is not read; 0x40 for write-alike
 * commands whose option argument equals 1.
 *
 * Every function takes the link handle first and the reader status byte
 * last, and returns 0 when the exchange completed (then look at the status
 * byte: bit 7 set means the reader refused or failed), QVL_ERR_TIMEOUT, or
 * the transport's code (LVRM_ERR_*; LVRM_ERR_WRONG_BLOCK_FORMAT also for a
 * malformed block list). On a non-zero return no output is written. Output
 * pointers may be NULL when the caller does not want that output. Arguments
 * that cannot make a request (see ORBA_STATUS_BAD_ARGUMENT) send nothing,
 * store that status and return 0.
 */
#ifndef QUORVEL_ORBA_H
#define QUORVEL_ORBA_H

#include <stdint.h>

#include "quorvel.h"

#ifndef QVL_API
#if defined(__GNUC__)
#define QVL_API __attribute__((visibility("default")))
#else
#define QVL_API
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* One record slot. */
#define ORBA_RECORD_SLOT_SIZE 64
/* The most records ORBA_GenericCommandISO15693 and ORBA_InventoryISO15693
 * store: their record length array must hold this many bytes and their slot
 * array this many slots (ORBA_MAX_RECORDS * ORBA_RECORD_SLOT_SIZE bytes).
 * Further records of a longer answer are left out. */
#define ORBA_MAX_RECORDS 64
/* The longest record 0 a single-answer command copies out: the data buffer
 * of those commands must hold this many bytes. */
#define ORBA_MAX_ANSWER 254

/* Status stored by the library itself, with nothing sent, for arguments that
 * cannot make a request: a NULL UID in addressing mode 2, a NULL request,
 * mask or data with a non-zero length, or a request too long for one frame. */
#define ORBA_STATUS_BAD_ARGUMENT QVL_STATUS_BAD_ARGUMENT

/*
 * The ISO carrier. Control byte: 0x01 when writeAlike is non-zero, 0x02 when
 * rawRequest is non-zero, and only when rawRequest is zero 0x10, 0x20, 0x40
 * when flag4, flag5, flag6 are non-zero; then the request bytes (at most 254).
 * On 0: the status byte is stored; a plain answer of n bytes gives one record
 * of length n with the whole answer at the start of the slot array (it may
 * run on into the next slots); a block list gives one record per block (at
 * most ORBA_MAX_RECORDS), each cut to ORBA_RECORD_SLOT_SIZE bytes, with the
 * length copied.
 */
QVL_API int32_t ORBA_GenericCommandISO15693(int32_t handle, int32_t writeAlike, int32_t rawRequest, int32_t flag4,
                                            int32_t flag5, int32_t flag6, uint8_t requestLength,
                                            const uint8_t* request, uint8_t* recordCount, uint8_t* recordLengths,
                                            uint8_t* records, uint8_t* readerStatus);

/*
 * Inventory (ISO 0x01): flags 0x04, 0x10 when afiFlag is non-zero (then the
 * AFI byte follows the command code), 0x20 when oneSlot equals 1; then
 * the mask length in bits (low 8 bits of maskLength) and (maskLength - 1) / 8
 * + 1 mask bytes, given most significant first and sent reversed (none for
 * length 0). Records as the carrier returns them; with an ORBA reader a
 * record longer than one byte is a tag: record status, response flags, DSFID,
 * UID least significant byte first (record bytes 3 to 10).
 */
QVL_API int32_t ORBA_InventoryISO15693(int32_t handle, int32_t oneSlot, int32_t afiFlag, int32_t afi,
                                       int32_t maskLength, const uint8_t* mask, uint8_t* recordCount,
                                       uint8_t* recordLengths, uint8_t* records, uint8_t* readerStatus);

/* Stay quiet (ISO 0x02), always addressed; status only. */
QVL_API int32_t ORBA_StayQuietISO15693(int32_t handle, const uint8_t* uid, uint8_t* readerStatus);

/*
 * Single-answer tag commands: on 0 with bit 7 of the status byte clear, the
 * length of record 0 goes to *length and record 0 to data (at most
 * ORBA_MAX_ANSWER bytes; nothing copied for length 0); with bit 7 set only
 * the status byte is stored. With an ORBA reader record 0 is the record
 * status byte (low nibble non-zero: no usable answer), the tag's response
 * flags (bit 0: the tag refused, error code follows), then the tag's data.
 */
QVL_API int32_t ORBA_ReadBlockISO15693(int32_t handle, int32_t block, int32_t mode, const uint8_t* uid,
                                       uint8_t* length, uint8_t* data, uint8_t* readerStatus);
/* Writes byteCount bytes (given most significant first) to the block. */
QVL_API int32_t ORBA_WriteBlockISO15693(int32_t handle, int32_t block, int32_t byteCount, const uint8_t* bytes,
                                        int32_t option, int32_t mode, const uint8_t* uid, uint8_t* length,
                                        uint8_t* data, uint8_t* readerStatus);
QVL_API int32_t ORBA_LockBlockISO15693(int32_t handle, int32_t block, int32_t option, int32_t mode,
                                       const uint8_t* uid, uint8_t* length, uint8_t* data, uint8_t* readerStatus);
/* Select (ISO 0x25), always addressed. */
QVL_API int32_t ORBA_SelectISO15693(int32_t handle, const uint8_t* uid, uint8_t* length, uint8_t* data,
                                    uint8_t* readerStatus);
/* Reset to ready (ISO 0x26). */
QVL_API int32_t ORBA_RTReadyISO15693(int32_t handle, int32_t mode, const uint8_t* uid, uint8_t* length,
                                     uint8_t* data, uint8_t* readerStatus);
QVL_API int32_t ORBA_WriteAfiISO15693(int32_t handle, int32_t afi, int32_t option, int32_t mode,
                                      const uint8_t* uid, uint8_t* length, uint8_t* data, uint8_t* readerStatus);
QVL_API int32_t ORBA_LockAfiISO15693(int32_t handle, int32_t option, int32_t mode, const uint8_t* uid,
                                     uint8_t* length, uint8_t* data, uint8_t* readerStatus);
QVL_API int32_t ORBA_WriteDsfidISO15693(int32_t handle, int32_t dsfid, int32_t option, int32_t mode,
                                        const uint8_t* uid, uint8_t* length, uint8_t* data, uint8_t* readerStatus);
QVL_API int32_t ORBA_LockDsfidISO15693(int32_t handle, int32_t option, int32_t mode, const uint8_t* uid,
                                       uint8_t* length, uint8_t* data, uint8_t* readerStatus);
/* Get system information (ISO 0x2B). */
QVL_API int32_t ORBA_SystemInfoISO15693(int32_t handle, int32_t mode, const uint8_t* uid, uint8_t* length,
                                        uint8_t* data, uint8_t* readerStatus);
/* Block security status (ISO 0x2C) of blockCount blocks from firstBlock: one
 * byte per block after the record status and response flags. */
QVL_API int32_t ORBA_BlockStatusISO15693(int32_t handle, int32_t firstBlock, int32_t blockCount, int32_t mode,
                                         const uint8_t* uid, uint8_t* length, uint8_t* data, uint8_t* readerStatus);

/* Link settings kept by the library (nothing is sent; status 0): the request
 * options A and B (1 sets request flag 0x01 / 0x02, any other value neither)
 * and the memory map (16 and 4 on a newly opened link). */
QVL_API int32_t ORBA_SetDownlinkISO15693(int32_t handle, int32_t optionA, int32_t optionB, uint8_t* readerStatus);
QVL_API int32_t ORBA_GetDownlinkISO15693(int32_t handle, int32_t* optionA, int32_t* optionB, uint8_t* readerStatus);
QVL_API int32_t ORBA_SetMemoryMapISO15693(int32_t handle, uint16_t valueA, uint16_t valueB, uint8_t* readerStatus);
QVL_API int32_t ORBA_GetMemoryMapISO15693(int32_t handle, uint16_t* valueA, uint16_t* valueB,
                                          uint8_t* readerStatus);

/* Reader settings (command 0x29): three uplink flags as bits 0 to 2. The
 * getter clears the flags, then sets each to 1 from the answer's first byte. */
QVL_API int32_t ORBA_SetUplinkISO15693(int32_t handle, int32_t flag1, int32_t flag2, int32_t flag3,
                                       uint8_t* readerStatus);
QVL_API int32_t ORBA_GetUplinkISO15693(int32_t handle, int32_t* flag1, int32_t* flag2, int32_t* flag3,
                                       uint8_t* readerStatus);
/* Reader settings (command 0x2A): two timing bytes (low 8 bits of each value).
 * The getter gives 0 for a byte the answer does not have. */
QVL_API int32_t ORBA_SetTimingISO15693(int32_t handle, int32_t valueA, int32_t valueB, uint8_t* readerStatus);
QVL_API int32_t ORBA_GetTimingISO15693(int32_t handle, uint8_t* valueA, uint8_t* valueB, uint8_t* readerStatus);

/* RF field on (command 0x0C) and off (0x0D); status only. */
QVL_API int32_t ORBA_RfOn(int32_t handle, uint8_t* readerStatus);
QVL_API int32_t ORBA_RfOff(int32_t handle, uint8_t* readerStatus);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* QUORVEL_ORBA_H */
