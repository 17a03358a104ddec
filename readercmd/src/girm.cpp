// The GIRM family, security-gate readers, as table rows (see tables.h): the
// FENO reader commands under their gate names, and the gate's own commands in
// three patterns: set, get and flag. h is the link handle, s the reader
// status byte output.
#include "quorvel_girm.h"
#include "tables.h"

using namespace quorvel::tables;

namespace {

// One 16-bit value, high byte first; status only.
std::int32_t setValue(std::int32_t h, std::uint8_t command, std::uint16_t value, std::uint8_t* s)
{
    return status(h, command, Request().word(value), s);
}

// The 16-bit value of data 0-1, kept unless the status is good and the answer has both bytes.
std::int32_t getValue(std::int32_t h, std::uint8_t command, std::uint16_t* value, std::uint8_t* s)
{
    return get(h, command, {}, s, Fill::KeptUnlessOk, [=](const Fields& f) { f.word(value, 0); });
}

// 1 when data 0 is non-zero, kept unless the status is good and the answer has a byte.
std::int32_t getFlag(std::int32_t h, std::uint8_t command, std::int32_t* on, std::uint8_t* s)
{
    return get(h, command, {}, s, Fill::KeptUnlessOk, [=](const Fields& f) { f.flag(on, 0); });
}

} // namespace

extern "C" {

// --- FENO commands under their gate names ---------------------------------------------------------------------

QVL_API int32_t GIRM_SetReaderSpeed(int32_t h, int32_t speed, uint8_t* s)
{
    return FENO_SetReaderSpeed(h, speed, s);
}

QVL_API int32_t GIRM_SetReaderMode(int32_t h, int32_t mode, uint8_t* s)
{
    return FENO_SetReaderMode(h, mode, s);
}

QVL_API int32_t GIRM_SetReaderAddress(int32_t h, int32_t address, uint8_t* s)
{
    return FENO_SetReaderAddress(h, address, s);
}

QVL_API int32_t GIRM_GetReaderAddress(int32_t h, uint8_t* address, uint8_t* s)
{
    return FENO_GetReaderAddress(h, address, s);
}

QVL_API int32_t GIRM_GetZPXVersion(int32_t h, uint8_t* major, uint8_t* minor, uint8_t* s)
{
    return FENO_GetZPXVersion(h, major, minor, s);
}

QVL_API int32_t GIRM_GetRPUVersion(int32_t h, char* text, uint8_t* byteA, uint8_t* byteB, uint8_t* s)
{
    return FENO_GetRPUVersion(h, text, byteA, byteB, s);
}

QVL_API int32_t GIRM_Beep(int32_t h, uint32_t durationMs, uint32_t value, uint8_t* s)
{
    return FENO_Beep(h, durationMs, value, s);
}

QVL_API int32_t GIRM_SetRTC(int32_t h, int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute,
                            int32_t second, uint8_t* s)
{
    return FENO_SetRTC(h, year, month, day, hour, minute, second, s);
}

QVL_API int32_t GIRM_GetRTC(int32_t h, uint8_t* year, uint8_t* month, uint8_t* day, uint8_t* hour, uint8_t* minute,
                            uint8_t* second, uint8_t* s)
{
    return FENO_GetRTC(h, year, month, day, hour, minute, second, s);
}

QVL_API int32_t GIRM_RestoreDefaults(int32_t h, uint8_t* s)
{
    return FENO_RestoreDefaults(h, s);
}

// --- EAS surveillance -----------------------------------------------------------------------------------------

QVL_API int32_t GIRM_StartEAS(int32_t h, uint8_t* s)
{
    return status(h, 0x10, {}, s);
}

QVL_API int32_t GIRM_StopEAS(int32_t h, uint8_t* s)
{
    return status(h, 0x11, {}, s);
}

QVL_API int32_t GIRM_IsScanningEAS(int32_t h, int32_t* scanning, uint8_t* s)
{
    return getFlag(h, 0x12, scanning, s);
}

QVL_API int32_t GIRM_IsEASAlarmed(int32_t h, int32_t* alarmed, uint8_t* s)
{
    return getFlag(h, 0x13, alarmed, s);
}

// --- Gate settings --------------------------------------------------------------------------------------------

// One setting: GIRM_Set<name> with the set pattern and GIRM_Get<name> with the get pattern.
#define GATE_SETTING(name, setCommand, getCommand)                         \
    QVL_API int32_t GIRM_Set##name(int32_t h, uint16_t value, uint8_t* s)  \
    {                                                                      \
        return setValue(h, setCommand, value, s);                          \
    }                                                                      \
    QVL_API int32_t GIRM_Get##name(int32_t h, uint16_t* value, uint8_t* s) \
    {                                                                      \
        return getValue(h, getCommand, value, s);                          \
    }

GATE_SETTING(Chips, 0x14, 0x15)
GATE_SETTING(SynchroSlot, 0x16, 0x17)
GATE_SETTING(AlarmDuration, 0x18, 0x19)
GATE_SETTING(Power, 0x1A, 0x1B)
GATE_SETTING(SynchroIdentifier, 0x1C, 0x1D)
GATE_SETTING(SynchroAntenna, 0x1E, 0x1F)
GATE_SETTING(SynchroThreshold, 0x20, 0x21)
GATE_SETTING(MuxSequence, 0x26, 0x27)
GATE_SETTING(SortingNbRounds, 0x28, 0x29)
GATE_SETTING(ReadID, 0x2A, 0x2B)
GATE_SETTING(MaxPedestals, 0x2F, 0x30)

#undef GATE_SETTING

// --- Presence sensor ------------------------------------------------------------------------------------------

QVL_API int32_t GIRM_GetPIRPresence(int32_t h, int32_t* presence, uint8_t* s)
{
    return getFlag(h, 0x22, presence, s);
}

QVL_API int32_t GIRM_GetPIRState(int32_t h, int32_t* state, uint8_t* s)
{
    return getFlag(h, 0x23, state, s);
}

QVL_API int32_t GIRM_SetPIRUse(int32_t h, int32_t use, uint8_t* s)
{
    return status(h, 0x24, Request().flag(use), s);
}

QVL_API int32_t GIRM_GetPIRUse(int32_t h, int32_t* use, uint8_t* s)
{
    return getFlag(h, 0x25, use, s);
}

// --- Database -------------------------------------------------------------------------------------------------

QVL_API int32_t GIRM_ClearDatabase(int32_t h, uint8_t* s)
{
    return status(h, 0x2C, {}, s);
}

QVL_API int32_t GIRM_GetDatabaseInfo(int32_t h, uint16_t* entryCount, int32_t* flag, uint8_t* s)
{
    return get(h, 0x2D, {}, s, Fill::KeptUnlessOk, [=](const Fields& f) {
        f.word(entryCount, 0, 3);
        f.flag(flag, 2, 3);
    });
}

QVL_API int32_t GIRM_GetDatabaseEntry(int32_t h, uint16_t index, uint8_t* entry, uint8_t* s)
{
    return get(h, 0x2E, Request().word(index), s, Fill::ClearedIfOk, [=](const Fields& f) {
        f.bytes(entry, 0, 8);
        f.bytes(entry ? entry + 8 : nullptr, 8, 32);
    });
}

} // extern "C"
