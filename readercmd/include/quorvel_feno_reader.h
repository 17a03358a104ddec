/*
 * Quorvel: the FENO reader family's further commands: reader set-up, clock,
 * buzzer and I/O lines, continuous reading, other chip types (CHB, CHD, CHG,
 * EPC, CHJ) and the keyboard-wedge settings. The ISO 15693 commands, and the
 * RF field, power and restore-defaults commands, are in quorvel_feno.h.
 *
 * Conventions (besides those of quorvel_feno.h):
 * - Byte-sized arguments travel as their low 8 bits; a flag (or boolean) as
 *   1 when non-zero, else 0; 16-bit values high byte first.
 * - Getters, on return code 0, clear their outputs and then fill them from the
 *   answer as far as it reaches, whatever the status byte says.
 * - Text arguments are sent without their zero byte; returned texts are the
 *   answer data with a zero byte after it, in buffers of FENO_TEXT_SIZE bytes.
 * - Raw answers (out length, out data): the answer length byte and the answer
 *   data, at most FENO_TEXT_SIZE (255) bytes.
 * - Entries (out count, out entries): the answer cut into entries of
 *   FENO_ENTRY_SIZE-byte slots (at most FENO_MAX_ENTRIES); an entry of the
 *   GetTagEx answer is (second byte + 6) bytes when bit 6 of its first byte
 *   is set, else (2 * second byte + 6), an entry of the CHG answers always
 *   (2 * second byte + 6). Only a slot's worth of an entry is kept; an entry
 *   running past the end of the answer is dropped.
 * - Arguments that cannot make a request (a NULL pointer where bytes must be
 *   read, a negative count, a request longer than a frame's 255 bytes) send
 *   nothing: status QVL_STATUS_BAD_ARGUMENT, return code 0.
 */
#ifndef QUORVEL_FENO_READER_H
#define QUORVEL_FENO_READER_H

#include <stddef.h>
#include <stdint.h>

#include "quorvel_feno.h"

#ifdef __cplusplus
#define FENO_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
extern "C" {
#else
#define FENO_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

/* Text and raw answer buffers. */
#define FENO_TEXT_SIZE 255
/* The most 16-bit items a multiplexer sequence holds in one frame. */
#define FENO_MAX_MUX_ITEMS 125

/* What FENO_GetRPUFeatures reports, in the order of the answer. */
typedef struct FENO_Features {
    uint16_t word1;     /* data 0-1, high byte first */
    uint8_t bytes1[3];  /* data 2, 3, 4 */
    uint8_t reserved1[3];
    int32_t flags1[3];  /* data 5, 6, 7 non-zero */
    uint8_t bytes2[3];  /* data 8, 9, 10 */
    uint8_t reserved2;
    uint16_t word2;     /* data 11-12, high byte first */
    uint8_t reserved3[2];
    int32_t flags2[4];  /* data 13-16 non-zero */
    int32_t flags3[3];  /* data 17-19 non-zero, when the answer has at least 20 bytes */
} FENO_Features;

FENO_STATIC_ASSERT(sizeof(FENO_Features) == 56, "FENO_Features size");
FENO_STATIC_ASSERT(offsetof(FENO_Features, flags1) == 8, "FENO_Features.flags1");
FENO_STATIC_ASSERT(offsetof(FENO_Features, bytes2) == 20, "FENO_Features.bytes2");
FENO_STATIC_ASSERT(offsetof(FENO_Features, word2) == 24, "FENO_Features.word2");
FENO_STATIC_ASSERT(offsetof(FENO_Features, flags2) == 28, "FENO_Features.flags2");
FENO_STATIC_ASSERT(offsetof(FENO_Features, flags3) == 44, "FENO_Features.flags3");

/* Reader set-up. */
QVL_API int32_t FENO_SetReaderSpeed(int32_t handle, int32_t speed, uint8_t* status);     /* 0x01 [speed] */
QVL_API int32_t FENO_SetReaderMode(int32_t handle, int32_t mode, uint8_t* status);       /* 0x02 [mode] */
QVL_API int32_t FENO_SetReaderAddress(int32_t handle, int32_t address, uint8_t* status); /* 0x03 [address] */
/* 0x04: data 0. */
QVL_API int32_t FENO_GetReaderAddress(int32_t handle, uint8_t* address, uint8_t* status);
/* 0x05: data 0 and 1, when the answer has both. */
QVL_API int32_t FENO_GetZPXVersion(int32_t handle, uint8_t* major, uint8_t* minor, uint8_t* status);
/* 0x06: as QVL_IdentifyReaderOnNetwork: the two bytes from data 0 and 1 (when the answer has
   both), the text from data 2 on (FENO_TEXT_SIZE bytes). */
QVL_API int32_t FENO_GetRPUVersion(int32_t handle, char* text, uint8_t* byteA, uint8_t* byteB, uint8_t* status);
/* 0x08 [duration / 100][value / 50]. */
QVL_API int32_t FENO_Beep(int32_t handle, uint32_t durationMs, uint32_t value, uint8_t* status);
/* Real-time clock: 0x09 sends the six values as bytes in this order; 0x0A reads them back from
   data 0-5, only when the answer has all six. Years count from 2000. */
QVL_API int32_t FENO_SetRTC(int32_t handle, int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute,
                            int32_t second, uint8_t* status);
QVL_API int32_t FENO_GetRTC(int32_t handle, uint8_t* year, uint8_t* month, uint8_t* day, uint8_t* hour,
                            uint8_t* minute, uint8_t* second, uint8_t* status);
/* I/O lines of a port: direction (0x0B set, 0x0C read) and levels (0x0D set, 0x0E read). */
QVL_API int32_t FENO_SetIODir(int32_t handle, int32_t port, int32_t value, uint8_t* status);
QVL_API int32_t FENO_GetIODir(int32_t handle, int32_t port, uint8_t* value, uint8_t* status);
QVL_API int32_t FENO_SetIO(int32_t handle, int32_t port, int32_t value, uint8_t* status);
QVL_API int32_t FENO_GetIO(int32_t handle, int32_t port, uint8_t* value, uint8_t* status);
QVL_API int32_t FENO_SetBandFilter(int32_t handle, int32_t value, uint8_t* status); /* 0x38 [value] */
/* 0x39: the record is cleared, then filled when the answer has more than 16 bytes. */
QVL_API int32_t FENO_GetRPUFeatures(int32_t handle, FENO_Features* features, uint8_t* status);

/* Continuous reading. */
QVL_API int32_t FENO_SetCont(int32_t handle, int32_t value, uint8_t* status);   /* 0x10 [value] */
QVL_API int32_t FENO_SetSort(int32_t handle, int32_t value, uint8_t* status);   /* 0x11 [value] */
QVL_API int32_t FENO_SetBufLen(int32_t handle, int32_t value, uint8_t* status); /* 0x12 [value] */
/* 0x14 [A][B] then each item, all 16-bit (4 + 2 * itemCount bytes, itemCount up to FENO_MAX_MUX_ITEMS). */
QVL_API int32_t FENO_SetMux(int32_t handle, uint16_t valueA, uint16_t valueB, uint16_t itemCount,
                            const uint16_t* items, uint8_t* status);
QVL_API int32_t FENO_SetTrig(int32_t handle, int32_t valueA, uint16_t valueB, uint8_t* status); /* 0x15 [A][B] */
QVL_API int32_t FENO_StartRead(int32_t handle, int32_t value, uint8_t* status);                 /* 0x16 [value] */
/* 0x16 [value], then each optional value that is not -1, in order. */
QVL_API int32_t FENO_StartReadEx(int32_t handle, int32_t value, int32_t option1, int32_t option2, int32_t option3,
                                 int32_t option4, int32_t option5, uint8_t* status);
QVL_API int32_t FENO_StopRead(int32_t handle, uint8_t* status); /* 0x17 */
/* 0x18 [value]: raw answer. */
QVL_API int32_t FENO_GetTag(int32_t handle, int32_t value, uint8_t* length, uint8_t* data, uint8_t* status);
/* 0x18 [3] when extended is non-zero, else [2]: entries. */
QVL_API int32_t FENO_GetTagEx(int32_t handle, int32_t extended, int32_t* entryCount, uint8_t* entries,
                              uint8_t* status);
QVL_API int32_t FENO_CheckOvfl(int32_t handle, uint8_t* status); /* 0x19 */

/* Other chip types. */
/* 0x1A [A 6 bytes][B 6 bytes][C][E][D] (17 bytes). */
QVL_API int32_t FENO_WriteCHB(int32_t handle, const uint8_t* valueA, const uint8_t* valueB, uint16_t valueC,
                              int32_t valueD, uint16_t valueE, uint8_t* status);
QVL_API int32_t FENO_EASWriteCHB(int32_t handle, int32_t value1, int32_t value2, int32_t value3,
                                 uint8_t* status);                 /* 0x31 [1][2][3] */
QVL_API int32_t FENO_QuietCHB(int32_t handle, uint8_t* status);    /* 0x44 */
/* 0x1C when selector is non-zero, else 0x1B: [password 8 bytes][B][A] (11 bytes). */
QVL_API int32_t FENO_CheckPasswordCHD(int32_t handle, int32_t selector, const uint8_t* password, int32_t valueA,
                                      uint16_t valueB, uint8_t* status);
/* 0x1D [A][B]: raw answer. */
QVL_API int32_t FENO_ReadBlockCHD(int32_t handle, int32_t valueA, uint16_t valueB, uint8_t* length, uint8_t* data,
                                  uint8_t* status);
/* 0x1E [A][B][page 8 bytes][D][C] (13 bytes). */
QVL_API int32_t FENO_WritePageCHD(int32_t handle, int32_t valueA, int32_t valueB, const uint8_t* page,
                                  int32_t valueC, uint16_t valueD, uint8_t* status);
QVL_API int32_t FENO_SetConfigRegCHG(int32_t handle, int32_t value, int32_t flag, uint8_t* status); /* 0x32 */
QVL_API int32_t FENO_SetCustomRegCHG(int32_t handle, int32_t valueA, int32_t valueB, uint8_t* status); /* 0x33 */
QVL_API int32_t FENO_ResetQuietBitCHG(int32_t handle, uint16_t value, uint8_t* status);              /* 0x34 */
/* 0x35 [A][B]: entries. */
QVL_API int32_t FENO_HaltCHG(int32_t handle, int32_t valueA, uint16_t valueB, int32_t* entryCount,
                             uint8_t* entries, uint8_t* status);
/* 0x36 [A][B][data 4 bytes][C] (8 bytes): entries. */
QVL_API int32_t FENO_SelectedWriteCHG(int32_t handle, int32_t valueA, int32_t valueB, const uint8_t* data,
                                      uint16_t valueC, int32_t* entryCount, uint8_t* entries, uint8_t* status);
/* 0x37 [A][B][C]: entries. */
QVL_API int32_t FENO_SelectedReadCHG(int32_t handle, int32_t valueA, int32_t valueB, uint16_t valueC,
                                     int32_t* entryCount, uint8_t* entries, uint8_t* status);
QVL_API int32_t FENO_SetConfigRegEPC(int32_t handle, int32_t value, uint8_t* status);  /* 0x3A */
QVL_API int32_t FENO_SetCodeLengthEPC(int32_t handle, int32_t value, uint8_t* status); /* 0x3B */
/* 0x3C [A][B][flag][C]. */
QVL_API int32_t FENO_WriteBlockEPC(int32_t handle, int32_t valueA, int32_t valueB, int32_t flag, uint16_t valueC,
                                   uint8_t* status);
/* 0x3D [data byteCount bytes][flag][C]. */
QVL_API int32_t FENO_WriteAllBlocksEPC(int32_t handle, int32_t byteCount, const uint8_t* data, int32_t flag,
                                       uint16_t valueC, uint8_t* status);
/* 0x3E [page][A][flag][B]. */
QVL_API int32_t FENO_WritePageCHJ(int32_t handle, int32_t page, uint16_t valueA, int32_t flag, uint16_t valueB,
                                  uint8_t* status);
/* 0x3F [first page][each item][flag][C]. */
QVL_API int32_t FENO_WriteMultiPageCHJ(int32_t handle, int32_t firstPage, int32_t itemCount, const uint16_t* items,
                                       int32_t flag, uint16_t valueC, uint8_t* status);
/* 0x40 [flag 1][flag 2][C]. */
QVL_API int32_t FENO_WriteEASCHJ(int32_t handle, int32_t flag1, int32_t flag2, uint16_t valueC, uint8_t* status);
/* 0x41 [A][flag][B]. */
QVL_API int32_t FENO_WritePageSecurityCHJ(int32_t handle, uint16_t valueA, int32_t flag, uint16_t valueB,
                                          uint8_t* status);

/*
 * Keyboard-wedge settings: 0x5F [identifier][value] sets, 0x5E [identifier]
 * reads (the value from data 0). Booleans read as 1 when the answer's first
 * byte is non-zero; texts read as the whole answer data.
 */
QVL_API int32_t FENO_RestoreWedgeDefaults(int32_t handle, uint8_t* status); /* 0x5F [0x53] */
/* 0x01 */
QVL_API int32_t FENO_SetWedgeSendHeader(int32_t handle, int32_t on, uint8_t* status);
QVL_API int32_t FENO_GetWedgeSendHeader(int32_t handle, int32_t* on, uint8_t* status);
/* 0x02 */
QVL_API int32_t FENO_SetWedgeHeader(int32_t handle, const char* text, uint8_t* status);
QVL_API int32_t FENO_GetWedgeHeader(int32_t handle, char* text, uint8_t* status);
/* 0x03 */
QVL_API int32_t FENO_SetWedgeSendAntenna(int32_t handle, int32_t on, uint8_t* status);
QVL_API int32_t FENO_GetWedgeSendAntenna(int32_t handle, int32_t* on, uint8_t* status);
/* 0x04 */
QVL_API int32_t FENO_SetWedgePostAntenna(int32_t handle, const char* text, uint8_t* status);
QVL_API int32_t FENO_GetWedgePostAntenna(int32_t handle, char* text, uint8_t* status);
/* 0x05 */
QVL_API int32_t FENO_SetWedgeSendTagID(int32_t handle, int32_t on, uint8_t* status);
QVL_API int32_t FENO_GetWedgeSendTagID(int32_t handle, int32_t* on, uint8_t* status);
/* 0x06 */
QVL_API int32_t FENO_SetWedgeTagIDLen(int32_t handle, int32_t value, uint8_t* status);
QVL_API int32_t FENO_GetWedgeTagIDLen(int32_t handle, uint8_t* value, uint8_t* status);
/* 0x07 */
QVL_API int32_t FENO_SetWedgeSendCS(int32_t handle, int32_t on, uint8_t* status);
QVL_API int32_t FENO_GetWedgeSendCS(int32_t handle, int32_t* on, uint8_t* status);
/* 0x08 */
QVL_API int32_t FENO_SetWedgeSendTrailer(int32_t handle, int32_t on, uint8_t* status);
QVL_API int32_t FENO_GetWedgeSendTrailer(int32_t handle, int32_t* on, uint8_t* status);
/* 0x09 */
QVL_API int32_t FENO_SetWedgeTrailer(int32_t handle, const char* text, uint8_t* status);
QVL_API int32_t FENO_GetWedgeTrailer(int32_t handle, char* text, uint8_t* status);
/* 0x10 */
QVL_API int32_t FENO_SetWedgeSortDepth(int32_t handle, int32_t value, uint8_t* status);
QVL_API int32_t FENO_GetWedgeSortDepth(int32_t handle, uint8_t* value, uint8_t* status);
/* 0x11 */
QVL_API int32_t FENO_SetWedgeSortTimeout(int32_t handle, int32_t value, uint8_t* status);
QVL_API int32_t FENO_GetWedgeSortTimeout(int32_t handle, uint8_t* value, uint8_t* status);
/* 0x12 */
QVL_API int32_t FENO_SetWedgeSortIgnoreAntenna(int32_t handle, int32_t on, uint8_t* status);
QVL_API int32_t FENO_GetWedgeSortIgnoreAntenna(int32_t handle, int32_t* on, uint8_t* status);
/* 0x20 */
QVL_API int32_t FENO_SetWedgeTriggerMode(int32_t handle, int32_t value, uint8_t* status);
QVL_API int32_t FENO_GetWedgeTriggerMode(int32_t handle, uint8_t* value, uint8_t* status);
/* 0x21 */
QVL_API int32_t FENO_SetWedgeTriggerSendAfter(int32_t handle, int32_t on, uint8_t* status);
QVL_API int32_t FENO_GetWedgeTriggerSendAfter(int32_t handle, int32_t* on, uint8_t* status);
/* 0x22 */
QVL_API int32_t FENO_SetWedgeTriggerSendNoTag(int32_t handle, int32_t on, uint8_t* status);
QVL_API int32_t FENO_GetWedgeTriggerSendNoTag(int32_t handle, int32_t* on, uint8_t* status);
/* 0x23 */
QVL_API int32_t FENO_SetWedgeTriggerNoTagChar(int32_t handle, int32_t value, uint8_t* status);
QVL_API int32_t FENO_GetWedgeTriggerNoTagChar(int32_t handle, uint8_t* value, uint8_t* status);
/* 0x24 */
QVL_API int32_t FENO_SetWedgeTriggerTagOutputDelay(int32_t handle, int32_t value, uint8_t* status);
QVL_API int32_t FENO_GetWedgeTriggerTagOutputDelay(int32_t handle, uint8_t* value, uint8_t* status);
/* 0x25 */
QVL_API int32_t FENO_SetWedgeTriggerNoTagOutputDelay(int32_t handle, int32_t value, uint8_t* status);
QVL_API int32_t FENO_GetWedgeTriggerNoTagOutputDelay(int32_t handle, uint8_t* value, uint8_t* status);
/* 0x26 */
QVL_API int32_t FENO_SetWedgeTriggerClearSort(int32_t handle, int32_t on, uint8_t* status);
QVL_API int32_t FENO_GetWedgeTriggerClearSort(int32_t handle, int32_t* on, uint8_t* status);
/* 0x30 */
QVL_API int32_t FENO_SetWedgeBaudrate(int32_t handle, int32_t value, uint8_t* status);
QVL_API int32_t FENO_GetWedgeBaudrate(int32_t handle, uint8_t* value, uint8_t* status);
/* 0x40 */
QVL_API int32_t FENO_SetWedgeWatchdogDelay(int32_t handle, int32_t value, uint8_t* status);
QVL_API int32_t FENO_GetWedgeWatchdogDelay(int32_t handle, uint8_t* value, uint8_t* status);
/* 0x41 */
QVL_API int32_t FENO_SetWedgeWatchdog(int32_t handle, const char* text, uint8_t* status);
QVL_API int32_t FENO_GetWedgeWatchdog(int32_t handle, char* text, uint8_t* status);
/* 0x50 */
QVL_API int32_t FENO_SetWedgeActivation(int32_t handle, int32_t value, uint8_t* status);
QVL_API int32_t FENO_GetWedgeActivation(int32_t handle, uint8_t* value, uint8_t* status);
/* 0x60: 16-bit, high byte first (read from data 0-1). */
QVL_API int32_t FENO_SetWedgePower(int32_t handle, uint16_t power, uint8_t* status);
QVL_API int32_t FENO_GetWedgePower(int32_t handle, uint16_t* power, uint8_t* status);
/* 0x61: [A][B] then the items, all 16-bit. Read: A from data 0-1, B from data 2-3, then the
   items from data 4 on in pairs (items must hold FENO_MAX_MUX_ITEMS values). */
QVL_API int32_t FENO_SetWedgeMux(int32_t handle, uint16_t valueA, uint16_t valueB, uint16_t itemCount,
                                 const uint16_t* items, uint8_t* status);
QVL_API int32_t FENO_GetWedgeMux(int32_t handle, uint16_t* valueA, uint16_t* valueB, uint16_t* itemCount,
                                 uint16_t* items, uint8_t* status);
/* 0x62 */
QVL_API int32_t FENO_SetWedgeChannel(int32_t handle, int32_t value, uint8_t* status);
QVL_API int32_t FENO_GetWedgeChannel(int32_t handle, uint8_t* value, uint8_t* status);
/* 0x63 */
QVL_API int32_t FENO_SetWedgeChip(int32_t handle, int32_t value, uint8_t* status);
QVL_API int32_t FENO_GetWedgeChip(int32_t handle, uint8_t* value, uint8_t* status);
/* 0x64 [A][B] select the setting: [0x64][A][B][value] sets, [0x64][A][B] reads data 0. */
QVL_API int32_t FENO_SetWedgeChipSettings(int32_t handle, int32_t selectorA, int32_t selectorB, int32_t value,
                                          uint8_t* status);
QVL_API int32_t FENO_GetWedgeChipSettings(int32_t handle, int32_t selectorA, int32_t selectorB, uint8_t* value,
                                          uint8_t* status);
/* 0x65 */
QVL_API int32_t FENO_SetWedgeBandFilter(int32_t handle, int32_t on, uint8_t* status);
QVL_API int32_t FENO_GetWedgeBandFilter(int32_t handle, int32_t* on, uint8_t* status);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* QUORVEL_FENO_READER_H */
