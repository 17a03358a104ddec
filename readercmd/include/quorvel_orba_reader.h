/*
 * Quorvel: the ORBA family's further commands: reader set-up and status,
 * I/O lines, RF control and scan, flash cells, standalone output, and the
 * commands of other chip types (CHD, TagIt, CHB, CHG, CHJ). The ISO 15693
 * commands and the RF field switches are in quorvel_orba.h.
 *
 * Conventions:
 * - Every function takes the link handle first and the reader status byte
 *   last; it returns 0 when the exchange completed, QVL_ERR_TIMEOUT or the
 *   transport's code (then no output is written).
 * - Byte-sized arguments travel as their low 8 bits; flags as 1 when non-zero
 *   (or as the bit a row names); 16-bit values high byte first.
 * - Getters, on return code 0, clear their outputs and then fill them from the
 *   answer as far as it reaches, whatever the status byte says.
 * - Slot outputs take consecutive pieces of the answer, each in its own
 *   ORBA_RECORD_SLOT_SIZE-byte slot with the rest of the slot cleared, at
 *   most ORBA_MAX_RECORDS slots (only whole pieces).
 * - Text arguments are sent without their zero byte; returned texts are the
 *   answer data with a zero byte after it, in buffers of ORBA_TEXT_SIZE bytes.
 * - Arguments that cannot make a request (NULL where bytes must be read, a
 *   negative count, a CHJ first page of 16 or more, a request longer than a
 *   frame) send nothing: status ORBA_STATUS_BAD_ARGUMENT, return 0.
 */
#ifndef QUORVEL_ORBA_READER_H
#define QUORVEL_ORBA_READER_H

#include <stdint.h>

#include "quorvel_orba.h"

#ifdef __cplusplus
extern "C" {
#endif

#define ORBA_TEXT_SIZE 255
/* Lists (ORBA_DefineType, ORBA_ScanRf): at most this many bytes. */
#define ORBA_LIST_SIZE 254
/* The general standalone settings: seven packed bytes, as the reader keeps them. */
#define ORBA_STANDALONE_GENERAL_SIZE 7

/* The service code of the flash and RF-control service requests, sent high byte first. */
#define ORBA_SERVICE_CODE 0xA55A
/* ORBA_RfControl selectors of the service requests: control flags with bit 2 cleared / set. */
#define ORBA_RF_SERVICE_CLEAR 0x0A50
#define ORBA_RF_SERVICE_SET 0x0A52

/* What ORBA_WriteCHB sends after its flags byte. */
#define ORBA_CHB_VALUE_A 0x01 /* the first 5-byte value */
#define ORBA_CHB_BYTE 0x02    /* the byte */
#define ORBA_CHB_VALUE_B 0x04 /* the second 5-byte value */

/* Reader set-up and status. */
/* 0x00 [type]: A = data 0; for types 17 and 19 the data from byte 1 on go to the list
   (ORBA_LIST_SIZE bytes) and their number to *count, for other types B = data 1. */
QVL_API int32_t ORBA_DefineType(int32_t handle, int32_t type, uint8_t* valueA, uint8_t* valueB, uint8_t* count,
                                uint8_t* list, uint8_t* status);
/* 0x06: the byte is data 0; the flags are bits 0x01, 0x02, 0x10, 0x40, 0x80 of data 1. */
QVL_API int32_t ORBA_BoardStatus(int32_t handle, uint8_t* value, int32_t* flag1, int32_t* flag2, int32_t* flag3,
                                 int32_t* flag4, int32_t* flag5, uint8_t* status);
/*
 * 0x07, I/O lines. Request [flags][outputs][C & 0x0F][D] with flags 0x01 for
 * flag A and 0x02 for flag B (taken from the in/out values): operation 1
 * sends the first two bytes and remembers the high nibble of the outputs for
 * the link; operation 2 sends all four; any other operation sends nothing.
 * Answer: outputs = low nibble of data 0 with data 1 as high nibble (or the
 * remembered high nibble when the answer has one byte), flag A = bit 7 of
 * data 0, C = data 2, D = data 3; flag B comes back 0.
 */
QVL_API int32_t ORBA_ChangeIO(int32_t handle, int32_t operation, uint8_t* outputs, int32_t* flagA, int32_t* flagB,
                              uint8_t* valueC, uint8_t* valueD, uint8_t* status);
QVL_API int32_t ORBA_Sleep(int32_t handle, uint8_t* status); /* 0x0A */
/* 0x0B: the four bytes are set to 0xFF, then data 0 and 1, and data 2 and 3 when the answer has
   four bytes; an answer of fewer than 2 bytes returns LVRM_ERR_INCOMPLETE_ANSWER. */
QVL_API int32_t ORBA_VersionQuery(int32_t handle, uint8_t* value1, uint8_t* value2, uint8_t* value3,
                                  uint8_t* value4, uint8_t* status);
/* 0x0C, RF control. Flags 0x10, 0x01, 0x02 from flag1..3. Selector 0: [flags]; 1: [flags][flags];
   ORBA_RF_SERVICE_CLEAR / _SET: [flags without / with bit 2][service code]; others: no data. */
QVL_API int32_t ORBA_RfControl(int32_t handle, int32_t selector, int32_t flag1, int32_t flag2, int32_t flag3,
                               uint8_t* status);
QVL_API int32_t ORBA_Reset(int32_t handle, uint8_t* status);                                  /* 0x0F */
QVL_API int32_t ORBA_SetReaderAddress(int32_t handle, int32_t address, uint8_t* status);      /* 0x16 [0xFF][address] */
QVL_API int32_t ORBA_GetReaderAddress(int32_t handle, uint8_t* address, uint8_t* status);     /* 0x16: data 1 */
QVL_API int32_t ORBA_SetReaderMode(int32_t handle, int32_t mode, uint8_t* status);            /* 0x17 [mode] */
/* 0x61: A, B from data 0, 1 (when the answer has both); the 6-byte record from data 2-7. */
QVL_API int32_t ORBA_GetSupportedFunctions(int32_t handle, uint8_t* valueA, uint8_t* valueB, uint8_t* record,
                                           uint8_t* status);
/* 0x7F [service code][address] reads data 0; [service code][address][value] writes. */
QVL_API int32_t ORBA_FlashRead(int32_t handle, int32_t address, uint8_t* value, uint8_t* status);
QVL_API int32_t ORBA_FlashWrite(int32_t handle, int32_t address, int32_t value, uint8_t* status);

/*
 * 0x27, RF scan, the one command with two answers: [channel & 0x3F, + 0x80
 * for flag A, | 0x40 for flag B]. The first answer (within the link time-out)
 * gives the status byte and clears the outputs; the second comes from the
 * reader when the scan ends, within timeMs: the byte is its data 0, its data
 * from byte 1 on go to the list (ORBA_LIST_SIZE bytes) and their number to
 * *count. When the second answer does not come, command 0x0B is sent to stop
 * the scan (without waiting for an answer) and QVL_ERR_TIMEOUT is returned.
 */
QVL_API int32_t ORBA_ScanRf(int32_t handle, int32_t channel, uint32_t timeMs, int32_t flagA, int32_t flagB,
                            uint8_t* value, uint8_t* count, uint8_t* list, uint8_t* status);

/* CHD chips. Page byte: (page << 4) & 0x7F | area & 3 (| 0x08 for the write's flag). */
/* 0x01 [page byte][count & 7] (the count only when longForm is non-zero): 8-byte pages to slots. */
QVL_API int32_t ORBA_ReadPageCHD(int32_t handle, int32_t longForm, int32_t page, int32_t area, int32_t count,
                                 uint8_t* pages, uint8_t* status);
/* 0x02 [selector & 1 | 0x08 for the flag][password 8 bytes]. */
QVL_API int32_t ORBA_CheckPwdCHD(int32_t handle, int32_t selector, const uint8_t* password, int32_t flag,
                                 uint8_t* status);
/* 0x03 [page byte | 0x08 for the flag][page data 8 bytes]. */
QVL_API int32_t ORBA_WritePageCHD(int32_t handle, int32_t page, int32_t area, const uint8_t* data, int32_t flag,
                                  uint8_t* status);
QVL_API int32_t ORBA_TempInhCHD(int32_t handle, const uint8_t* value, uint8_t* status);       /* 0x04 [8 bytes] */
/* 0x12 [A & 0x7F][B & 7]: 8-byte pieces to slots. */
QVL_API int32_t ORBA_ReadDefaultMessageCHD(int32_t handle, int32_t valueA, int32_t valueB, uint8_t* pages,
                                           uint8_t* status);

/* TagIt chips. Addressed forms put the 4-byte identifier first. */
/* 0x18 [identifier][block]: the byte is data 0, the value data 1-4 in memory order. */
QVL_API int32_t ORBA_ReadBlockTagIt(int32_t handle, int32_t block, int32_t addressed, const uint8_t* identifier,
                                    uint8_t* value, uint32_t* data, uint8_t* status);
/* 0x19 [identifier]: with 4 answer bytes or more data 0-3 replace the identifier; the four
   bytes from data 4-7. */
QVL_API int32_t ORBA_GetVersionTagIt(int32_t handle, int32_t addressed, uint8_t* identifier, uint8_t* value1,
                                     uint8_t* value2, uint8_t* value3, uint8_t* value4, uint8_t* status);
/* 0x1A [identifier][block][data 4 bytes][E]. */
QVL_API int32_t ORBA_WriteBlockTagIt(int32_t handle, int32_t block, int32_t addressed, const uint8_t* identifier,
                                     int32_t valueE, const uint8_t* data, uint8_t* status);
/* 0x1B [n][mask, as a 32-bit value (byte 0 high) shifted left by (32 - 4n) mod 32, high byte
   first]: the 16-bit value from data 0-1, then 4-byte pieces to slots. */
QVL_API int32_t ORBA_SIDPollTagIt(int32_t handle, int32_t bitCount, const uint8_t* mask, uint16_t* value,
                                  uint8_t* slots, uint8_t* status);

/* CHB chips. */
/* 0x1C: with withData non-zero one byte ((trunc(timeMs / 13.11) - 4) & 0x7F when timed, else 0,
   | 0x80 for flag A); records of 6 bytes (10 when bit 2 of their byte 5 is set) to slots. */
QVL_API int32_t ORBA_ReadCHB(int32_t handle, int32_t withData, int32_t flagA, int32_t timed, double timeMs,
                             uint8_t* count, uint8_t* records, uint8_t* status);
/* 0x1D [flags][A 5 bytes][byte][B 5 bytes] as the ORBA_CHB_ flags select: data 0 to *answer. */
QVL_API int32_t ORBA_WriteCHB(int32_t handle, int32_t flags, const uint8_t* valueA, const uint8_t* valueB,
                              int32_t value, uint8_t* answer, uint8_t* status);

/* CHG chips. */
/* 0x1F [A][B][E] in the short form, else [A][B][C][D]: 4-byte pieces to slots. */
QVL_API int32_t ORBA_ReadBlockCHG(int32_t handle, int32_t valueA, int32_t valueB, int32_t valueC, int32_t valueD,
                                  int32_t shortForm, int32_t valueE, uint8_t* slots, uint8_t* status);
/* 0x20 [A][B] + [C] in the long form: the 16-bit value from data 0-1; *flag 1 unless the answer
   has 3 bytes and bit 0 of data 2 is set. */
QVL_API int32_t ORBA_AnticollisionSelectCHG(int32_t handle, int32_t valueA, int32_t valueB, int32_t longForm,
                                            int32_t valueC, uint16_t* value, int32_t* flag, uint8_t* status);
/* 0x21 [flags 0x01, 0x02, 0x10][value, one byte in the short form]: four 16-bit values. */
QVL_API int32_t ORBA_RefreshSelectionCHG(int32_t handle, int32_t flag1, int32_t flag2, int32_t flag3,
                                         int32_t shortForm, uint16_t value, uint16_t* value1, uint16_t* value2,
                                         uint16_t* value3, uint16_t* value4, uint8_t* status);
/* 0x22 [block][data 4 bytes][value]: the 16-bit answer from data 0-1. */
QVL_API int32_t ORBA_WriteBlockCHG(int32_t handle, int32_t block, const uint8_t* data, uint16_t value,
                                   uint16_t* answer, uint8_t* status);
QVL_API int32_t ORBA_HaltCHG(int32_t handle, uint16_t value, uint16_t* answer, uint8_t* status); /* 0x23 */
QVL_API int32_t ORBA_ResetQuietCHG(int32_t handle, uint16_t* value1, uint16_t* value2, uint16_t* value3,
                                   uint16_t* value4, uint8_t* status);                          /* 0x24 */

/* CHJ chips. */
/* 0x54 [0x80 / 0x00]: when the answer has more than 33 bytes, the flag is bit 0 of data 0 and
   the 16 values come from data 2-33. */
QVL_API int32_t ORBA_ReadNSNTCHJ(int32_t handle, int32_t flag, int32_t* flagOut, uint16_t* values, uint8_t* status);
QVL_API int32_t ORBA_WriteEASCHJ(int32_t handle, int32_t flag, uint8_t* status);               /* 0x55 [0x00][flag] */
QVL_API int32_t ORBA_WritePageSecurityCHJ(int32_t handle, int32_t value, uint8_t* status);     /* 0x55 [0x11][value] */
/* 0x55 [first page][each item]; a first page outside 0-15 is refused. */
QVL_API int32_t ORBA_WriteMultiPageCHJ(int32_t handle, int32_t firstPage, int32_t itemCount, const uint16_t* items,
                                       uint8_t* status);
QVL_API int32_t ORBA_WritePageCHJ(int32_t handle, int32_t page, uint16_t value, uint8_t* status);

/* Standalone output, 0x0E: [identifier][value] sets, [identifier] reads. */
QVL_API int32_t ORBA_SetStandaloneGeneral(int32_t handle, const uint8_t* settings, uint8_t* status);      /* 0x00 */
QVL_API int32_t ORBA_GetStandaloneGeneral(int32_t handle, uint8_t* settings, uint8_t* status);
QVL_API int32_t ORBA_SetStandalonePrefix(int32_t handle, const char* text, uint8_t* status);              /* 0x01 */
QVL_API int32_t ORBA_GetStandalonePrefix(int32_t handle, char* text, uint8_t* status);
QVL_API int32_t ORBA_SetStandaloneSuffix(int32_t handle, const char* text, uint8_t* status);              /* 0x08 */
QVL_API int32_t ORBA_GetStandaloneSuffix(int32_t handle, char* text, uint8_t* status);
QVL_API int32_t ORBA_SetStandaloneNoReadMessage(int32_t handle, const char* text, uint8_t* status);       /* 0x09 */
QVL_API int32_t ORBA_GetStandaloneNoReadMessage(int32_t handle, char* text, uint8_t* status);
/* Identifier by chip type: 7 -> 0x02, 8 -> 0x03, 32 -> 0x04, 33 -> 0x0A, 64 -> 0x05, 128 -> 0x06,
   192 -> 0x07, any other -> 0xFF. */
QVL_API int32_t ORBA_SetStandaloneChipDescription(int32_t handle, int32_t chipType, const char* text,
                                                  uint8_t* status);
QVL_API int32_t ORBA_GetStandaloneChipDescription(int32_t handle, int32_t chipType, char* text, uint8_t* status);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* QUORVEL_ORBA_READER_H */
