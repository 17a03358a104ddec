/*
 * Quorvel: the commands of TALU readers for ISO/IEC 15693 tags.
 *
 * A TALU reader offers an automatic inventory (command 0x20: it runs the
 * anticollision itself and gives one record per tag) and an ISO carrier
 * (command 0x21: it forwards a raw ISO 15693 request built here and hands the
 * tag's response back). Every tag command below builds the request flags
 * byte, the command code, the UID and its parameters and sends them through
 * the carrier.
 *
 * Conventions of every function:
 * - handle: a link handle from QVL_SerialOpen / QVL_TCPOpenEx; status (last):
 *   out reader status byte, bit 7 set when the reader refused or failed.
 * - Result: 0 when the exchange completed (then look at the status), else
 *   QVL_ERR_TIMEOUT or the transport's code (LVRM_ERR_*), outputs untouched.
 *   A malformed block list in the answer gives LVRM_ERR_WRONG_BLOCK_FORMAT.
 * - With status bit 7 set nothing else is written (except by TALU_CheckEasCHM).
 * - Addressing mode: 0 non-addressed, 1 selected, 2 addressed (then uid is
 *   required). UIDs are given most significant byte first (E0 first) and
 *   sent least significant first, as on the air; so are data bytes to write
 *   (most significant first here) and inventory mask bytes.
 * - Single-tag commands copy the tag's response (flags byte first, as on the
 *   air) to data, which must hold TALU_ANSWER_SIZE bytes; no length comes back.
 * - Multi-tag commands give a record count and fill records, which must hold
 *   TALU_MAX_RECORDS slots of TALU_RECORD_SIZE bytes; each record is cut to
 *   its slot and the rest of a used slot is cleared. An inventory record is
 *   the tag's inventory response: flags, DSFID, then the UID least
 *   significant byte first (record bytes 2 to 9).
 * - Arguments that cannot make a request (a missing UID in mode 2, a missing
 *   mask or data buffer, a request longer than a frame) send nothing: the
 *   result is 0 with status TALU_STATUS_BAD_ARGUMENT.
 */
#ifndef QUORVEL_TALU_H
#define QUORVEL_TALU_H

#include <stddef.h>
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
#define TALU_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
extern "C" {
#else
#define TALU_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

#define TALU_RECORD_SIZE 128
#define TALU_MAX_RECORDS 255
#define TALU_ANSWER_SIZE 255

/* Reader status stored without sending anything, for arguments that cannot make a request. */
#define TALU_STATUS_BAD_ARGUMENT QVL_STATUS_BAD_ARGUMENT
/* The status of a tag that did not answer or refused; TALU_CheckEasCHM reads it as "EAS off". */
#define TALU_STATUS_NO_TAG QVL_STATUS_NO_TAG

/* What TALU_GetFeatures reports: two bytes, then eight flags, flag i = 1 when
   the reader offers feature i (flag 4: ISO 15693, flag 7: CHM commands). */
typedef struct TALU_Features {
    uint8_t byte0;
    uint8_t byte1;
    uint8_t reserved[2];
    int32_t flags[8];
} TALU_Features;

TALU_STATIC_ASSERT(sizeof(TALU_Features) == 36, "TALU_Features size");
TALU_STATIC_ASSERT(offsetof(TALU_Features, byte1) == 1, "TALU_Features.byte1");
TALU_STATIC_ASSERT(offsetof(TALU_Features, flags) == 4, "TALU_Features.flags");

/*
 * Link values of the TALU commands, kept per link handle (defaults: uplink 1
 * and 0, downlink 1, back at every open). Uplink value 1 / 2 non-zero set
 * carrier control bits 0x01 / 0x02; downlink 1 makes the tag requests ask for
 * the high data rate. They only store or return; 0 or the handle check's code.
 */
QVL_API int32_t TALU_SetUplinkISO15693(int32_t handle, int32_t value1, int32_t value2);
QVL_API int32_t TALU_GetUplinkISO15693(int32_t handle, int32_t* value1, int32_t* value2);
QVL_API int32_t TALU_SetDownlinkISO15693(int32_t handle, int32_t value);
QVL_API int32_t TALU_GetDownlinkISO15693(int32_t handle, int32_t* value);

/*
 * The ISO carrier: [control][request][extra byte]. Control: 0x80 flag1,
 * 0x40 flag3, 0x08 flag4, 0x04 flag2, 0x02 / 0x01 the link's uplink values.
 * The extra byte (low 8 bits) follows when flag4 is set and the request is a
 * non-inventory request with the option flag 0x40, or when flag4 is clear,
 * the request is an inventory (flag 0x04) and an uplink value equals 1.
 * Answer: a block list gives one record per block, a plain answer one record.
 */
QVL_API int32_t TALU_GenericCommandISO15693(int32_t handle, int32_t flag1, int32_t flag2, int32_t flag3,
                                            int32_t flag4, int32_t extraByte, uint8_t requestLength,
                                            const uint8_t* request, uint8_t* recordCount, uint8_t* records,
                                            uint8_t* status);

/* Automatic inventory (command 0x20): data [control][parameter][AFI when afiFlag]. */
QVL_API int32_t TALU_AutoInventoryISO15693(int32_t handle, int32_t flagA, int32_t afiFlag, int32_t afi,
                                           int32_t parameter, uint8_t* recordCount, uint8_t* records,
                                           uint8_t* status);
/* Its CHM form: [control][parameter][AFI when afiFlag][first block][blocks - 1]. */
QVL_API int32_t TALU_AutoInventoryCHM(int32_t handle, int32_t flagA, int32_t option, int32_t afiFlag, int32_t afi,
                                      int32_t firstBlock, int32_t blockCount, int32_t parameter,
                                      uint8_t* recordCount, uint8_t* records, uint8_t* status);

/* RF field on (command 0x0C) when on is non-zero, off (0x0D) otherwise. */
QVL_API int32_t TALU_SetRf(int32_t handle, int32_t on, uint8_t* status);

/* Features (command 0x61); the record is filled only from a successful answer of 3 bytes or more. */
QVL_API int32_t TALU_GetFeatures(int32_t handle, TALU_Features* features, uint8_t* status);

/* ISO 15693 inventory through the carrier; maskLength 0..255 bits, mask given most significant byte first. */
QVL_API int32_t TALU_InventoryISO15693(int32_t handle, int32_t oneSlot, int32_t afiFlag, int32_t afi,
                                       int32_t maskLength, const uint8_t* mask, uint8_t* recordCount,
                                       uint8_t* records, uint8_t* status);
/* CHM inventory read (0xA0, or 0xA1 when fast): records as the chips answer. */
QVL_API int32_t TALU_InventoryCHM(int32_t handle, int32_t fast, int32_t oneSlot, int32_t afiFlag, int32_t afi,
                                  int32_t firstBlock, int32_t blockCount, int32_t option, int32_t maskLength,
                                  const uint8_t* mask, uint8_t* recordCount, uint8_t* records, uint8_t* status);

/* Tag commands; option non-zero sets the request's option flag on the write-alike ones. */
QVL_API int32_t TALU_StayQuietISO15693(int32_t handle, const uint8_t* uid, uint8_t* status);
QVL_API int32_t TALU_ReadBlockISO15693(int32_t handle, int32_t block, int32_t mode, const uint8_t* uid,
                                       uint8_t* data, uint8_t* status);
QVL_API int32_t TALU_WriteBlockISO15693(int32_t handle, int32_t block, int32_t byteCount, const uint8_t* bytes,
                                        int32_t option, int32_t mode, const uint8_t* uid, uint8_t* data,
                                        uint8_t* status);
QVL_API int32_t TALU_LockBlockISO15693(int32_t handle, int32_t block, int32_t option, int32_t mode,
                                       const uint8_t* uid, uint8_t* data, uint8_t* status);
QVL_API int32_t TALU_SelectISO15693(int32_t handle, const uint8_t* uid, uint8_t* data, uint8_t* status);
QVL_API int32_t TALU_RTReadyISO15693(int32_t handle, int32_t mode, const uint8_t* uid, uint8_t* data,
                                     uint8_t* status);
QVL_API int32_t TALU_WriteAfiISO15693(int32_t handle, int32_t afi, int32_t option, int32_t mode, const uint8_t* uid,
                                      uint8_t* data, uint8_t* status);
QVL_API int32_t TALU_LockAfiISO15693(int32_t handle, int32_t option, int32_t mode, const uint8_t* uid,
                                     uint8_t* data, uint8_t* status);
QVL_API int32_t TALU_WriteDsfidISO15693(int32_t handle, int32_t dsfid, int32_t option, int32_t mode,
                                        const uint8_t* uid, uint8_t* data, uint8_t* status);
QVL_API int32_t TALU_LockDsfidISO15693(int32_t handle, int32_t option, int32_t mode, const uint8_t* uid,
                                       uint8_t* data, uint8_t* status);
QVL_API int32_t TALU_SystemInfoISO15693(int32_t handle, int32_t mode, const uint8_t* uid, uint8_t* data,
                                        uint8_t* status);
/* Security status of blockCount blocks from firstBlock: data byte 1 + i for block firstBlock + i. */
QVL_API int32_t TALU_BlockStatusISO15693(int32_t handle, int32_t firstBlock, int32_t blockCount, int32_t mode,
                                         const uint8_t* uid, uint8_t* data, uint8_t* status);

/* EAS custom commands (manufacturer code 0x04): action 1 sets the EAS bit, 0 resets it, 2 locks it. */
QVL_API int32_t TALU_WriteEasCHM(int32_t handle, int32_t action, int32_t mode, const uint8_t* uid, uint8_t* data,
                                 uint8_t* status);
/* EAS alarm: *easFlag 1 when the tag answers; a status of TALU_STATUS_NO_TAG becomes 0 with *easFlag 0;
   another refusal leaves *easFlag alone and hands the status over. */
QVL_API int32_t TALU_CheckEasCHM(int32_t handle, int32_t mode, const uint8_t* uid, int32_t* easFlag,
                                 uint8_t* status);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* QUORVEL_TALU_H */
