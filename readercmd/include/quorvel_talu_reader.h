/*
 * Quorvel: the TALU family's further commands: reader set-up, I/O lines,
 * standalone output, and the commands of other chip types (CHA, CHD, CHB,
 * CHJ, CHG). The ISO 15693 commands and the RF field switch are in
 * quorvel_talu.h.
 *
 * Conventions:
 * - Every function takes the link handle first and the reader status byte
 *   last; it returns 0 when the exchange completed, QVL_ERR_TIMEOUT or the
 *   transport's code (then no output is written).
 * - Byte-sized arguments travel as their low 8 bits; flags as 1 when non-zero
 *   (or as the bit a row names); 16-bit values high byte first.
 * - Getters, on return code 0, clear their outputs and then fill them from the
 *   answer as far as it reaches, but only when bit 7 of the status byte is
 *   clear. Data outputs without a length receive the whole answer data and
 *   must hold TALU_ANSWER_SIZE bytes.
 * - Text arguments are sent without their zero byte; returned texts are the
 *   answer data with a zero byte after it, in buffers of TALU_TEXT_SIZE bytes.
 * - CHG masks: for a mask length n in bits, (n / 8) & 0x1F mask bytes when n
 *   is above 7, else one byte, taken from the front of the buffer; the answer
 *   data then comes back in the same buffer (TALU_ANSWER_SIZE bytes).
 * - Arguments that cannot make a request send nothing: status
 *   TALU_STATUS_BAD_ARGUMENT, return 0. Besides NULL pointers where
 *   bytes must be read and requests longer than a frame, these are: CHD pages
 *   outside 0-7, areas outside 0-3, read counts outside 1 to 4 - area, and
 *   password selectors other than 0 and 1.
 */
#ifndef QUORVEL_TALU_READER_H
#define QUORVEL_TALU_READER_H

#include <stdint.h>

#include "quorvel_talu.h"

#ifdef __cplusplus
extern "C" {
#endif

#define TALU_TEXT_SIZE 255
#define TALU_STANDALONE_GENERAL_SIZE 7
/* TALU_ReadSTARCHJ: the most records it fills, and the values of one record. */
#define TALU_MAX_STAR_RECORDS 64
#define TALU_STAR_VALUES 16

/* Reader set-up. */
QVL_API int32_t TALU_SetBaudrate(int32_t handle, int32_t value, uint8_t* status);  /* 0x06 [value] */
QVL_API int32_t TALU_SetIO(int32_t handle, int32_t flag, uint8_t* status);         /* 0x07 [flag] */
/* 0x07: A = bit 0, B = bit 1 of data 0. */
QVL_API int32_t TALU_GetIO(int32_t handle, int32_t* valueA, int32_t* valueB, uint8_t* status);
QVL_API int32_t TALU_Reset(int32_t handle, uint8_t* status);                        /* 0x0F */
QVL_API int32_t TALU_SetAddress(int32_t handle, int32_t address, uint8_t* status);  /* 0x16 [address] */
QVL_API int32_t TALU_GetAddress(int32_t handle, uint8_t* address, uint8_t* status); /* 0x16: data 0 */
/* 0x00 [flag]: the type is data 0; data 1.. (and their number) to data and *length. */
QVL_API int32_t TALU_DetectChipType(int32_t handle, int32_t flag, uint8_t* type, uint8_t* length, uint8_t* data,
                                    uint8_t* status);

/* CHA and CHD chips. Page byte: (page & 7) << 4 | 0x04 for flag A | 0x08 for flag B | area. */
QVL_API int32_t TALU_ReadCHA(int32_t handle, uint8_t* data, uint8_t* status); /* 0x01 */
/* 0x01 [page byte][count & 7]. */
QVL_API int32_t TALU_ReadCHD(int32_t handle, int32_t flagA, int32_t flagB, int32_t page, int32_t area, int32_t count,
                             uint8_t* data, uint8_t* status);
/* 0x02 [selector][password 8 bytes]. */
QVL_API int32_t TALU_SetPasswordCHD(int32_t handle, int32_t selector, const uint8_t* password, uint8_t* status);
/* 0x03 [page byte][page data 8 bytes]. */
QVL_API int32_t TALU_WriteCHD(int32_t handle, int32_t flagA, int32_t flagB, int32_t page, int32_t area,
                              const uint8_t* data, uint8_t* status);

/* CHB chips. */
/* 0x10: A = data 0-4, the byte = data 5, B = data 6-10. */
QVL_API int32_t TALU_ReadAllCHB(int32_t handle, uint8_t* value, uint8_t* valueA, uint8_t* valueB, uint8_t* status);
/* 0x11 [A 5 bytes][byte][B 5 bytes]. */
QVL_API int32_t TALU_WriteAllCHB(int32_t handle, int32_t value, const uint8_t* valueA, const uint8_t* valueB,
                                 uint8_t* status);
/* 0x11 [0x80 for flag B | 0x01 for flag A]. */
QVL_API int32_t TALU_WriteEasCHB(int32_t handle, int32_t flagA, int32_t flagB, uint8_t* status);
QVL_API int32_t TALU_QuietCHB(int32_t handle, uint8_t* status); /* 0x11 */

/* CHJ chips. */
/* 0x04, as ORBA_ReadNSNTCHJ. */
QVL_API int32_t TALU_ReadNSNTCHJ(int32_t handle, int32_t flag, int32_t* flagOut, uint16_t* values, uint8_t* status);
/*
 * 0x24 [0x80, 0x10, 0x08, 0x01 for flags 1-4][B][A][C]. Only a block list is
 * taken, one record per block (at most TALU_MAX_STAR_RECORDS): flag i is bit 0
 * of the block's first byte; a 36-byte block gives record i its
 * TALU_STAR_VALUES values from block bytes 2-33 and byte i from block byte 1,
 * any other block the first four values (as far as the block reaches) and
 * byte i = 0. records holds TALU_STAR_VALUES values per record.
 */
QVL_API int32_t TALU_ReadSTARCHJ(int32_t handle, int32_t flag1, int32_t flag2, int32_t flag3, int32_t flag4,
                                 int32_t valueA, uint16_t valueB, int32_t valueC, int32_t* count, int32_t* flags,
                                 uint16_t* records, uint8_t* bytes, uint8_t* status);
QVL_API int32_t TALU_WriteEASCHJ(int32_t handle, int32_t flag, uint8_t* status);           /* 0x25 [0x00][flag] */
QVL_API int32_t TALU_WritePageSecurityCHJ(int32_t handle, int32_t value, uint8_t* status); /* 0x25 [0x11][value] */
/* 0x25 [first page][each item]. */
QVL_API int32_t TALU_WriteMultiPageCHJ(int32_t handle, int32_t firstPage, int32_t itemCount, const uint16_t* items,
                                       uint8_t* status);
QVL_API int32_t TALU_WritePageCHJ(int32_t handle, int32_t page, uint16_t value, uint8_t* status);

/* CHG chips. */
/* 0x30 [0x80 for the flag][A][B][C][n][mask]. */
QVL_API int32_t TALU_AnticollisionSelectCHG(int32_t handle, int32_t flag, int32_t valueA, int32_t valueB,
                                            int32_t valueC, int32_t maskLength, uint8_t* buffer, uint8_t* status);
/* 0x31 [B][D][C][A]. */
QVL_API int32_t TALU_SelectedReadCHG(int32_t handle, int32_t valueA, int32_t valueB, int32_t valueC, int32_t valueD,
                                     uint8_t* data, uint8_t* status);
/* 0x32 [data 4 bytes][value][n][mask]. */
QVL_API int32_t TALU_SelectedWriteCHG(int32_t handle, int32_t maskLength, uint8_t* buffer, int32_t value,
                                      const uint8_t* data, uint8_t* status);
/* 0x33 [n][mask]. */
QVL_API int32_t TALU_HaltCHG(int32_t handle, int32_t maskLength, uint8_t* buffer, uint8_t* status);
QVL_API int32_t TALU_ResetQuietCHG(int32_t handle, uint8_t* status); /* 0x34 */
/* 0x35 [0x80 for the flag][A][B][C][D][E][F][G][H]: records as TALU_GenericCommandISO15693 gives
   them (untouched when bit 7 of the status byte is set). */
QVL_API int32_t TALU_UnselectedReadCHG(int32_t handle, int32_t flag, int32_t valueA, int32_t valueB, int32_t valueC,
                                       int32_t valueD, int32_t valueF, int32_t valueE, int32_t valueG,
                                       int32_t valueH, uint8_t* recordCount, uint8_t* records, uint8_t* status);

/* Standalone output, 0x0E: [identifier][value] sets, [identifier] reads. */
QVL_API int32_t TALU_SetStandaloneGeneral(int32_t handle, const uint8_t* settings, uint8_t* status);      /* 0x00 */
QVL_API int32_t TALU_GetStandaloneGeneral(int32_t handle, uint8_t* settings, uint8_t* status);
QVL_API int32_t TALU_SetStandalonePrefix(int32_t handle, const char* text, uint8_t* status);              /* 0x01 */
QVL_API int32_t TALU_GetStandalonePrefix(int32_t handle, char* text, uint8_t* status);
QVL_API int32_t TALU_SetStandaloneSuffix(int32_t handle, const char* text, uint8_t* status);              /* 0x04 */
QVL_API int32_t TALU_GetStandaloneSuffix(int32_t handle, char* text, uint8_t* status);
QVL_API int32_t TALU_SetStandaloneNoReadMessage(int32_t handle, const char* text, uint8_t* status);       /* 0x05 */
QVL_API int32_t TALU_GetStandaloneNoReadMessage(int32_t handle, char* text, uint8_t* status);
/* Identifier by chip type: 1 -> 0x02, 2 -> 0x03, 4 -> 0x06, 8 -> 0x07, 16 -> 0x08, 32 -> 0x09,
   any other -> 0xFF. */
QVL_API int32_t TALU_SetStandaloneChipDescription(int32_t handle, int32_t chipType, const char* text,
                                                  uint8_t* status);
QVL_API int32_t TALU_GetStandaloneChipDescription(int32_t handle, int32_t chipType, char* text, uint8_t* status);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* QUORVEL_TALU_READER_H */
