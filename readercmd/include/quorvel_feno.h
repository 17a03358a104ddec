/*
 * Quorvel: the FENO reader family's ISO 15693 commands.
 *
 * A FENO reader runs the ISO 15693 air protocol itself. Each command sends
 * the reader a command byte and a small parameter record (option bytes, a
 * time value, an addressing mode and the tag's UID) over the link, waits for
 * the answer up to the link's time-out and hands back what the reader said.
 *
 * Conventions of every function here:
 * - handle: a link handle from QVL_SerialOpen / QVL_TCPOpenEx.
 * - Option bytes, block numbers, AFI, DSFID and similar values travel as one
 *   byte each: the low 8 bits of the argument, unchanged.
 * - time: a 16-bit time value, sent high byte first.
 * - mode: the addressing mode byte, sent unchanged: 0 any tag (non-addressed),
 *   1 the selected tag, 2 the tag whose UID follows. Only mode 2 sends the
 *   8 UID bytes, in the order given (most significant first); with any other
 *   mode the uid pointer is not read and may be NULL.
 * - Raw answer (out length, out data): the answer length and the answer data
 *   as the reader sent them; data must hold 255 bytes.
 * - The reader status byte is always the last parameter; bit 7 set means the
 *   reader refused or failed the command.
 * - Return code: 0 when the exchange completed, QVL_ERR_TIMEOUT when no
 *   answer came in time, or the transport's code (LVRM_ERR_*). On a non-zero
 *   return no output is written, the status byte included.
 * - Arguments that cannot make a request (a request longer than a frame's
 *   255 data bytes, or a NULL pointer where bytes must be read) send nothing:
 *   the function stores status QVL_STATUS_BAD_ARGUMENT and returns 0.
 *
 * Inventory entries (FENO_InventoryISO15693Ex, FENO_GenericCommandISO15693Ex):
 * the answer is cut into entries, each (second byte + 6) bytes long, copied
 * into consecutive 256-byte slots of the caller's array (at most 256 bytes of
 * an entry are kept); an entry that runs past the end of the answer is
 * dropped. A 255-byte answer holds at most 42 entries: an array of
 * FENO_MAX_ENTRIES slots is always large enough. An ISO 15693 inventory entry
 * is 14 bytes with the tag's UID in bytes 6 to 13, most significant first.
 */
#ifndef QUORVEL_FENO_H
#define QUORVEL_FENO_H

#include <stdint.h>

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

#define FENO_ENTRY_SIZE 256
#define FENO_MAX_ENTRIES 43
#define FENO_MODE_ANY 0
#define FENO_MODE_SELECTED 1
#define FENO_MODE_ADDRESSED 2

/* Reader set-up. */
QVL_API int32_t FENO_SetRf(int32_t handle, uint8_t on, uint8_t* status);                 /* 0x13 [on] */
QVL_API int32_t FENO_SetPower(int32_t handle, uint8_t power, uint8_t* status);           /* 0x0F [power] */
QVL_API int32_t FENO_SetPowerEx(int32_t handle, uint16_t power, uint8_t* status);        /* 0x0F [high][low] */
QVL_API int32_t FENO_RestoreDefaults(int32_t handle, uint8_t* status);                   /* 0x07 */
QVL_API int32_t FENO_SetTimingISO15693(int32_t handle, uint8_t valueA, uint16_t valueB,
                                       uint8_t* status);                                  /* 0x1F [A][B high][B low] */
QVL_API int32_t FENO_SetUplinkISO15693(int32_t handle, int32_t valueA, int32_t valueB,
                                       uint8_t* status);                                  /* 0x20 [A][B] */
QVL_API int32_t FENO_SetDownlinkISO15693(int32_t handle, int32_t valueA, int32_t valueB,
                                         uint8_t* status);                                /* 0x21 [A][B] */
QVL_API int32_t FENO_SetMemoryMapISO15693(int32_t handle, int32_t valueA, int32_t valueB,
                                          uint8_t* status);                               /* 0x22 [A-1][B-1] */

/* Inventory, 0x24: [option 1][option 2][option 3][AFI flag][AFI][time][mask length][mask bytes].
   maskLength counts bits (low 8 bits); (maskLength - 1) / 8 + 1 mask bytes are sent, none for 0. */
QVL_API int32_t FENO_InventoryISO15693Ex(int32_t handle, int32_t option1, int32_t option2, int32_t option3,
                                         int32_t afiFlag, int32_t afi, int32_t maskLength, const uint8_t* mask,
                                         uint16_t time, int32_t* entryCount, uint8_t* entries, uint8_t* status);
QVL_API int32_t FENO_InventoryISO15693(int32_t handle, int32_t option1, int32_t option2, int32_t option3,
                                       int32_t afiFlag, int32_t afi, int32_t maskLength, const uint8_t* mask,
                                       uint16_t time, uint8_t* length, uint8_t* data, uint8_t* status);

/* 0x23 [UID][time]. */
QVL_API int32_t FENO_StayQuietISO15693(int32_t handle, const uint8_t* uid, uint16_t time, uint8_t* status);

/* Transparent ISO 15693 request, 0x25: [option 1][option 2][option 3][time][answerLength - 1][request].
   The request is flags, command code and parameters as on the air; up to 249 bytes. */
QVL_API int32_t FENO_GenericCommandISO15693(int32_t handle, int32_t option1, int32_t option2, int32_t option3,
                                            int32_t requestLength, const uint8_t* request, int32_t answerLength,
                                            uint16_t time, uint8_t* length, uint8_t* data, uint8_t* status);
QVL_API int32_t FENO_GenericCommandISO15693Ex(int32_t handle, int32_t option1, int32_t option2, int32_t option3,
                                              int32_t requestLength, const uint8_t* request, int32_t answerLength,
                                              uint16_t time, int32_t* entryCount, uint8_t* entries,
                                              uint8_t* status);

/* Blocks. A block value is given and returned most significant byte first. */
QVL_API int32_t FENO_ReadBlockISO15693(int32_t handle, int32_t block, int32_t option, uint8_t mode,
                                       const uint8_t* uid, uint16_t time, uint8_t* length, uint8_t* data,
                                       uint8_t* status);                                  /* 0x26 */
/* 0x27; byteCount data bytes follow the parameter record (up to 240 in mode 2, 248 otherwise). */
QVL_API int32_t FENO_WriteBlockISO15693(int32_t handle, int32_t block, int32_t byteCount, const uint8_t* bytes,
                                        int32_t option1, int32_t option2, int32_t option3, uint8_t mode,
                                        const uint8_t* uid, uint16_t time, uint8_t* length, uint8_t* data,
                                        uint8_t* status);
QVL_API int32_t FENO_LockBlockISO15693(int32_t handle, int32_t block, int32_t option1, int32_t option2,
                                       int32_t option3, uint8_t mode, const uint8_t* uid, uint16_t time,
                                       uint8_t* length, uint8_t* data, uint8_t* status);  /* 0x28 */
/* 0x29 [first block][count - 1][option][time][mode][UID]: one security-status byte per block. */
QVL_API int32_t FENO_BlockStatusISO15693(int32_t handle, int32_t firstBlock, int32_t blockCount, int32_t option,
                                         uint8_t mode, const uint8_t* uid, uint16_t time, uint8_t* length,
                                         uint8_t* data, uint8_t* status);

/* Tag state and identity. */
QVL_API int32_t FENO_SystemInfoISO15693(int32_t handle, int32_t option, uint8_t mode, const uint8_t* uid,
                                        uint16_t time, uint8_t* length, uint8_t* data, uint8_t* status); /* 0x2A */
QVL_API int32_t FENO_SelectISO15693(int32_t handle, int32_t option, const uint8_t* uid, uint16_t time,
                                    uint8_t* length, uint8_t* data, uint8_t* status);    /* 0x2B, always by UID */
QVL_API int32_t FENO_RTReadyISO15693(int32_t handle, int32_t option, uint8_t mode, const uint8_t* uid,
                                     uint16_t time, uint8_t* length, uint8_t* data, uint8_t* status);    /* 0x2C */
QVL_API int32_t FENO_WriteAfiISO15693(int32_t handle, int32_t afi, int32_t option1, int32_t option2,
                                      int32_t option3, uint8_t mode, const uint8_t* uid, uint16_t time,
                                      uint8_t* length, uint8_t* data, uint8_t* status);  /* 0x2D */
QVL_API int32_t FENO_LockAfiISO15693(int32_t handle, int32_t option1, int32_t option2, int32_t option3,
                                     uint8_t mode, const uint8_t* uid, uint16_t time, uint8_t* length,
                                     uint8_t* data, uint8_t* status);                    /* 0x2E */
QVL_API int32_t FENO_WriteDsfidISO15693(int32_t handle, int32_t dsfid, int32_t option1, int32_t option2,
                                        int32_t option3, uint8_t mode, const uint8_t* uid, uint16_t time,
                                        uint8_t* length, uint8_t* data, uint8_t* status); /* 0x2F */
QVL_API int32_t FENO_LockDsfidISO15693(int32_t handle, int32_t option1, int32_t option2, int32_t option3,
                                       uint8_t mode, const uint8_t* uid, uint16_t time, uint8_t* length,
                                       uint8_t* data, uint8_t* status);                  /* 0x30 */

/* EAS of CHM chips. 0x42 [option][EAS on/off][time][mode][UID]: 1 sets the EAS bit, 0 clears it. */
QVL_API int32_t FENO_ProgramEASCHMISO15693(int32_t handle, int32_t option, uint8_t mode, const uint8_t* uid,
                                           int32_t eas, uint16_t time, uint8_t* length, uint8_t* data,
                                           uint8_t* status);
/* 0x43 [option 1][option 2][option 3][time][mode][UID]; *easFlag = 1 when the answer's first byte is
   non-zero, else 0. */
QVL_API int32_t FENO_CheckEASCHMISO15693(int32_t handle, int32_t option1, uint8_t mode, const uint8_t* uid,
                                         int32_t option2, int32_t option3, uint16_t time, int32_t* easFlag,
                                         uint8_t* status);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* QUORVEL_FENO_H */
