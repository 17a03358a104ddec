/*
 * Quorvel: the GIRM family, security-gate readers: EAS surveillance, gate
 * settings, presence sensing and the gate's database of tags seen.
 *
 * Ten reader commands are the FENO ones under a second name, with the same
 * command codes and behaviour (see quorvel_feno_reader.h and quorvel_feno.h).
 * The others follow three patterns:
 * - set:  one 16-bit value, sent high byte first; status only;
 * - get:  no request data; the 16-bit value from data 0-1 (high first);
 * - flag: no request data; 1 when data 0 is non-zero, else 0.
 * A get or flag output is stored only when bit 7 of the status byte is clear
 * and the answer reaches it; otherwise it keeps its value.
 *
 * Every function takes the link handle first and the reader status byte
 * last; it returns 0 when the exchange completed, QVL_ERR_TIMEOUT or the
 * transport's code (outputs untouched then).
 */
#ifndef QUORVEL_GIRM_H
#define QUORVEL_GIRM_H

#include <stdint.h>

#include "quorvel_feno_reader.h"

#ifdef __cplusplus
extern "C" {
#endif

/* One entry of the gate's database. */
#define GIRM_DATABASE_ENTRY_SIZE 40

/* The FENO commands under their gate names. */
QVL_API int32_t GIRM_SetReaderSpeed(int32_t handle, int32_t speed, uint8_t* status);
QVL_API int32_t GIRM_SetReaderMode(int32_t handle, int32_t mode, uint8_t* status);
QVL_API int32_t GIRM_SetReaderAddress(int32_t handle, int32_t address, uint8_t* status);
QVL_API int32_t GIRM_GetReaderAddress(int32_t handle, uint8_t* address, uint8_t* status);
QVL_API int32_t GIRM_GetZPXVersion(int32_t handle, uint8_t* major, uint8_t* minor, uint8_t* status);
QVL_API int32_t GIRM_GetRPUVersion(int32_t handle, char* text, uint8_t* byteA, uint8_t* byteB, uint8_t* status);
QVL_API int32_t GIRM_Beep(int32_t handle, uint32_t durationMs, uint32_t value, uint8_t* status);
QVL_API int32_t GIRM_SetRTC(int32_t handle, int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute,
                            int32_t second, uint8_t* status);
QVL_API int32_t GIRM_GetRTC(int32_t handle, uint8_t* year, uint8_t* month, uint8_t* day, uint8_t* hour,
                            uint8_t* minute, uint8_t* second, uint8_t* status);
QVL_API int32_t GIRM_RestoreDefaults(int32_t handle, uint8_t* status);

/* EAS surveillance. */
QVL_API int32_t GIRM_StartEAS(int32_t handle, uint8_t* status);                          /* 0x10 */
QVL_API int32_t GIRM_StopEAS(int32_t handle, uint8_t* status);                           /* 0x11 */
QVL_API int32_t GIRM_IsScanningEAS(int32_t handle, int32_t* scanning, uint8_t* status);  /* 0x12 flag */
QVL_API int32_t GIRM_IsEASAlarmed(int32_t handle, int32_t* alarmed, uint8_t* status);    /* 0x13 flag */

/* Gate settings (set / get). */
QVL_API int32_t GIRM_SetChips(int32_t handle, uint16_t value, uint8_t* status);                /* 0x14 */
QVL_API int32_t GIRM_GetChips(int32_t handle, uint16_t* value, uint8_t* status);               /* 0x15 */
QVL_API int32_t GIRM_SetSynchroSlot(int32_t handle, uint16_t value, uint8_t* status);          /* 0x16 */
QVL_API int32_t GIRM_GetSynchroSlot(int32_t handle, uint16_t* value, uint8_t* status);         /* 0x17 */
QVL_API int32_t GIRM_SetAlarmDuration(int32_t handle, uint16_t value, uint8_t* status);        /* 0x18 */
QVL_API int32_t GIRM_GetAlarmDuration(int32_t handle, uint16_t* value, uint8_t* status);       /* 0x19 */
QVL_API int32_t GIRM_SetPower(int32_t handle, uint16_t value, uint8_t* status);                /* 0x1A */
QVL_API int32_t GIRM_GetPower(int32_t handle, uint16_t* value, uint8_t* status);               /* 0x1B */
QVL_API int32_t GIRM_SetSynchroIdentifier(int32_t handle, uint16_t value, uint8_t* status);    /* 0x1C */
QVL_API int32_t GIRM_GetSynchroIdentifier(int32_t handle, uint16_t* value, uint8_t* status);   /* 0x1D */
QVL_API int32_t GIRM_SetSynchroAntenna(int32_t handle, uint16_t value, uint8_t* status);       /* 0x1E */
QVL_API int32_t GIRM_GetSynchroAntenna(int32_t handle, uint16_t* value, uint8_t* status);      /* 0x1F */
QVL_API int32_t GIRM_SetSynchroThreshold(int32_t handle, uint16_t value, uint8_t* status);     /* 0x20 */
QVL_API int32_t GIRM_GetSynchroThreshold(int32_t handle, uint16_t* value, uint8_t* status);    /* 0x21 */
QVL_API int32_t GIRM_SetMuxSequence(int32_t handle, uint16_t value, uint8_t* status);          /* 0x26 */
QVL_API int32_t GIRM_GetMuxSequence(int32_t handle, uint16_t* value, uint8_t* status);         /* 0x27 */
QVL_API int32_t GIRM_SetSortingNbRounds(int32_t handle, uint16_t value, uint8_t* status);      /* 0x28 */
QVL_API int32_t GIRM_GetSortingNbRounds(int32_t handle, uint16_t* value, uint8_t* status);     /* 0x29 */
QVL_API int32_t GIRM_SetReadID(int32_t handle, uint16_t value, uint8_t* status);               /* 0x2A */
QVL_API int32_t GIRM_GetReadID(int32_t handle, uint16_t* value, uint8_t* status);              /* 0x2B */
QVL_API int32_t GIRM_SetMaxPedestals(int32_t handle, uint16_t value, uint8_t* status);         /* 0x2F */
QVL_API int32_t GIRM_GetMaxPedestals(int32_t handle, uint16_t* value, uint8_t* status);        /* 0x30 */

/* Presence sensor. */
QVL_API int32_t GIRM_GetPIRPresence(int32_t handle, int32_t* presence, uint8_t* status);       /* 0x22 flag */
QVL_API int32_t GIRM_GetPIRState(int32_t handle, int32_t* state, uint8_t* status);             /* 0x23 flag */
QVL_API int32_t GIRM_SetPIRUse(int32_t handle, int32_t use, uint8_t* status);                  /* 0x24 [0/1] */
QVL_API int32_t GIRM_GetPIRUse(int32_t handle, int32_t* use, uint8_t* status);                 /* 0x25 flag */

/* The gate's database. */
QVL_API int32_t GIRM_ClearDatabase(int32_t handle, uint8_t* status);                           /* 0x2C */
/* 0x2D: the entry count from data 0-1 and the flag from data 2, both only when bit 7 of the
   status byte is clear and the answer has at least 3 bytes. */
QVL_API int32_t GIRM_GetDatabaseInfo(int32_t handle, uint16_t* entryCount, int32_t* flag, uint8_t* status);
/* 0x2E [index high][index low]: the entry (GIRM_DATABASE_ENTRY_SIZE bytes) is cleared, then,
   when bit 7 of the status byte is clear, bytes 0-7 come from data 0-7 when the answer has at
   least 8 bytes and bytes 8-39 from data 8-39 when it has at least 40. */
QVL_API int32_t GIRM_GetDatabaseEntry(int32_t handle, uint16_t index, uint8_t* entry, uint8_t* status);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* QUORVEL_GIRM_H */
