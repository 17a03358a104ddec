// The FENO reader family: high-level ISO 15693 commands, as table rows over
// the command engine (tables.h). Each function builds the reader's parameter
// record and hands back the status alone, the raw answer, or the answer cut
// into inventory entries (entry rule A). h is the link handle, s the reader
// status byte output.
#include <cstddef>
#include <cstdint>

#include "exchange.h"
#include "iso15693.h"
#include "quorvel_feno.h"
#include "tables.h"

using namespace quorvel;
using namespace quorvel::tables;

namespace {

// Each entry is at least six bytes: a 255-byte answer never holds more entries than the caller's array.
static_assert(FENO_MAX_ENTRIES * 6 >= kMaxAnswerBytes);
static_assert(FENO_ENTRY_SIZE == kEntrySize && FENO_MAX_ENTRIES == kMaxEntries);

// The addressing mode byte, followed by the UID in mode 2 only.
Request& target(Request& r, std::uint8_t mode, const std::uint8_t* uid)
{
    return r.byte(mode).bytesIf(mode == FENO_MODE_ADDRESSED, uid, ISO15693_UID_SIZE);
}

// The parameter records shared by several commands.
Request inventoryRequest(std::int32_t option1, std::int32_t option2, std::int32_t option3, std::int32_t afiFlag,
                         std::int32_t afi, std::int32_t maskLength, const std::uint8_t* mask, std::uint16_t time)
{
    const std::uint8_t bits = static_cast<std::uint8_t>(maskLength);
    Request r;
    r.byte(option1).byte(option2).byte(option3).byte(afiFlag).byte(afi).word(time).byte(bits);
    r.bytes(mask, bits == 0 ? std::size_t{0} : (bits - 1u) / 8u + 1u);
    return r;
}

Request genericRequest(std::int32_t option1, std::int32_t option2, std::int32_t option3, std::int32_t requestLength,
                       const std::uint8_t* request, std::int32_t answerLength, std::uint16_t time)
{
    Request r;
    r.byte(option1).byte(option2).byte(option3).word(time).byte(countLessOne(answerLength)).counted(request, requestLength);
    return r;
}

// [value][option 1][option 2][option 3][time][mode] + UID, and the same without the leading value.
Request valueRequest(std::int32_t value, std::int32_t option1, std::int32_t option2, std::int32_t option3,
                     std::uint8_t mode, const std::uint8_t* uid, std::uint16_t time)
{
    Request r;
    target(r.byte(value).byte(option1).byte(option2).byte(option3).word(time), mode, uid);
    return r;
}

Request optionsRequest(std::int32_t option1, std::int32_t option2, std::int32_t option3, std::uint8_t mode,
                       const std::uint8_t* uid, std::uint16_t time)
{
    Request r;
    target(r.byte(option1).byte(option2).byte(option3).word(time), mode, uid);
    return r;
}

// [option][time][mode] + UID.
Request optionRequest(std::int32_t option, std::uint8_t mode, const std::uint8_t* uid, std::uint16_t time)
{
    Request r;
    target(r.byte(option).word(time), mode, uid);
    return r;
}

enum Command : std::uint8_t {
    kRestoreDefaults = 0x07,
    kSetPower = 0x0F,
    kSetRf = 0x13,
    kSetTiming = 0x1F,
    kSetUplink = 0x20,
    kSetDownlink = 0x21,
    kSetMemoryMap = 0x22,
    kStayQuiet = 0x23,
    kInventory = 0x24,
    kGeneric = 0x25,
    kReadBlock = 0x26,
    kWriteBlock = 0x27,
    kLockBlock = 0x28,
    kBlockStatus = 0x29,
    kSystemInfo = 0x2A,
    kSelect = 0x2B,
    kResetToReady = 0x2C,
    kWriteAfi = 0x2D,
    kLockAfi = 0x2E,
    kWriteDsfid = 0x2F,
    kLockDsfid = 0x30,
    kProgramEas = 0x42,
    kCheckEas = 0x43,
};

} // namespace

extern "C" {

// --- Reader set-up --------------------------------------------------------------------------------------------

QVL_API int32_t FENO_SetRf(int32_t h, uint8_t on, uint8_t* s)
{
    return status(h, kSetRf, Request().byte(on), s);
}

QVL_API int32_t FENO_SetPower(int32_t h, uint8_t power, uint8_t* s)
{
    return status(h, kSetPower, Request().byte(power), s);
}

QVL_API int32_t FENO_SetPowerEx(int32_t h, uint16_t power, uint8_t* s)
{
    return status(h, kSetPower, Request().word(power), s);
}

QVL_API int32_t FENO_RestoreDefaults(int32_t h, uint8_t* s)
{
    return status(h, kRestoreDefaults, {}, s);
}

QVL_API int32_t FENO_SetTimingISO15693(int32_t h, uint8_t valueA, uint16_t valueB, uint8_t* s)
{
    return status(h, kSetTiming, Request().byte(valueA).word(valueB), s);
}

QVL_API int32_t FENO_SetUplinkISO15693(int32_t h, int32_t valueA, int32_t valueB, uint8_t* s)
{
    return status(h, kSetUplink, Request().byte(valueA).byte(valueB), s);
}

QVL_API int32_t FENO_SetDownlinkISO15693(int32_t h, int32_t valueA, int32_t valueB, uint8_t* s)
{
    return status(h, kSetDownlink, Request().byte(valueA).byte(valueB), s);
}

QVL_API int32_t FENO_SetMemoryMapISO15693(int32_t h, int32_t valueA, int32_t valueB, uint8_t* s)
{
    return status(h, kSetMemoryMap, Request().byte(countLessOne(valueA)).byte(countLessOne(valueB)), s);
}

// --- Inventory and transparent requests -----------------------------------------------------------------------

QVL_API int32_t FENO_InventoryISO15693Ex(int32_t h, int32_t option1, int32_t option2, int32_t option3,
                                         int32_t afiFlag, int32_t afi, int32_t maskLength, const uint8_t* mask,
                                         uint16_t time, int32_t* entryCount, uint8_t* entries, uint8_t* s)
{
    return tables::entries(h, kInventory,
                           inventoryRequest(option1, option2, option3, afiFlag, afi, maskLength, mask, time),
                           EntryRule::A, entryCount, entries, s);
}

QVL_API int32_t FENO_InventoryISO15693(int32_t h, int32_t option1, int32_t option2, int32_t option3, int32_t afiFlag,
                                       int32_t afi, int32_t maskLength, const uint8_t* mask, uint16_t time,
                                       uint8_t* length, uint8_t* data, uint8_t* s)
{
    return raw(h, kInventory, inventoryRequest(option1, option2, option3, afiFlag, afi, maskLength, mask, time),
               length, data, s);
}

QVL_API int32_t FENO_StayQuietISO15693(int32_t h, const uint8_t* uid, uint16_t time, uint8_t* s)
{
    return status(h, kStayQuiet, Request().bytes(uid, ISO15693_UID_SIZE).word(time), s);
}

QVL_API int32_t FENO_GenericCommandISO15693(int32_t h, int32_t option1, int32_t option2, int32_t option3,
                                            int32_t requestLength, const uint8_t* request, int32_t answerLength,
                                            uint16_t time, uint8_t* length, uint8_t* data, uint8_t* s)
{
    return raw(h, kGeneric, genericRequest(option1, option2, option3, requestLength, request, answerLength, time),
               length, data, s);
}

QVL_API int32_t FENO_GenericCommandISO15693Ex(int32_t h, int32_t option1, int32_t option2, int32_t option3,
                                              int32_t requestLength, const uint8_t* request, int32_t answerLength,
                                              uint16_t time, int32_t* entryCount, uint8_t* entries, uint8_t* s)
{
    return tables::entries(h, kGeneric,
                           genericRequest(option1, option2, option3, requestLength, request, answerLength, time),
                           EntryRule::A, entryCount, entries, s);
}

// --- Tag commands ---------------------------------------------------------------------------------------------

QVL_API int32_t FENO_ReadBlockISO15693(int32_t h, int32_t block, int32_t option, uint8_t mode, const uint8_t* uid,
                                       uint16_t time, uint8_t* length, uint8_t* data, uint8_t* s)
{
    Request r;
    return raw(h, kReadBlock, target(r.byte(block).byte(option).word(time), mode, uid), length, data, s);
}

QVL_API int32_t FENO_WriteBlockISO15693(int32_t h, int32_t block, int32_t byteCount, const uint8_t* bytes,
                                        int32_t option1, int32_t option2, int32_t option3, uint8_t mode,
                                        const uint8_t* uid, uint16_t time, uint8_t* length, uint8_t* data,
                                        uint8_t* s)
{
    Request r = valueRequest(block, option1, option2, option3, mode, uid, time);
    return raw(h, kWriteBlock, r.counted(bytes, byteCount), length, data, s);
}

QVL_API int32_t FENO_LockBlockISO15693(int32_t h, int32_t block, int32_t option1, int32_t option2, int32_t option3,
                                       uint8_t mode, const uint8_t* uid, uint16_t time, uint8_t* length,
                                       uint8_t* data, uint8_t* s)
{
    return raw(h, kLockBlock, valueRequest(block, option1, option2, option3, mode, uid, time), length, data, s);
}

QVL_API int32_t FENO_BlockStatusISO15693(int32_t h, int32_t firstBlock, int32_t blockCount, int32_t option,
                                         uint8_t mode, const uint8_t* uid, uint16_t time, uint8_t* length,
                                         uint8_t* data, uint8_t* s)
{
    Request r;
    r.byte(firstBlock).byte(countLessOne(blockCount)).byte(option).word(time);
    return raw(h, kBlockStatus, target(r, mode, uid), length, data, s);
}

QVL_API int32_t FENO_SystemInfoISO15693(int32_t h, int32_t option, uint8_t mode, const uint8_t* uid, uint16_t time,
                                        uint8_t* length, uint8_t* data, uint8_t* s)
{
    return raw(h, kSystemInfo, optionRequest(option, mode, uid, time), length, data, s);
}

QVL_API int32_t FENO_SelectISO15693(int32_t h, int32_t option, const uint8_t* uid, uint16_t time, uint8_t* length,
                                    uint8_t* data, uint8_t* s)
{
    return raw(h, kSelect, Request().byte(option).word(time).bytes(uid, ISO15693_UID_SIZE), length, data, s);
}

QVL_API int32_t FENO_RTReadyISO15693(int32_t h, int32_t option, uint8_t mode, const uint8_t* uid, uint16_t time,
                                     uint8_t* length, uint8_t* data, uint8_t* s)
{
    return raw(h, kResetToReady, optionRequest(option, mode, uid, time), length, data, s);
}

QVL_API int32_t FENO_WriteAfiISO15693(int32_t h, int32_t afi, int32_t option1, int32_t option2, int32_t option3,
                                      uint8_t mode, const uint8_t* uid, uint16_t time, uint8_t* length,
                                      uint8_t* data, uint8_t* s)
{
    return raw(h, kWriteAfi, valueRequest(afi, option1, option2, option3, mode, uid, time), length, data, s);
}

QVL_API int32_t FENO_LockAfiISO15693(int32_t h, int32_t option1, int32_t option2, int32_t option3, uint8_t mode,
                                     const uint8_t* uid, uint16_t time, uint8_t* length, uint8_t* data, uint8_t* s)
{
    return raw(h, kLockAfi, optionsRequest(option1, option2, option3, mode, uid, time), length, data, s);
}

QVL_API int32_t FENO_WriteDsfidISO15693(int32_t h, int32_t dsfid, int32_t option1, int32_t option2, int32_t option3,
                                        uint8_t mode, const uint8_t* uid, uint16_t time, uint8_t* length,
                                        uint8_t* data, uint8_t* s)
{
    return raw(h, kWriteDsfid, valueRequest(dsfid, option1, option2, option3, mode, uid, time), length, data, s);
}

QVL_API int32_t FENO_LockDsfidISO15693(int32_t h, int32_t option1, int32_t option2, int32_t option3, uint8_t mode,
                                       const uint8_t* uid, uint16_t time, uint8_t* length, uint8_t* data,
                                       uint8_t* s)
{
    return raw(h, kLockDsfid, optionsRequest(option1, option2, option3, mode, uid, time), length, data, s);
}

// --- EAS of CHM chips -----------------------------------------------------------------------------------------

QVL_API int32_t FENO_ProgramEASCHMISO15693(int32_t h, int32_t option, uint8_t mode, const uint8_t* uid, int32_t eas,
                                           uint16_t time, uint8_t* length, uint8_t* data, uint8_t* s)
{
    Request r;
    return raw(h, kProgramEas, target(r.byte(option).byte(eas).word(time), mode, uid), length, data, s);
}

QVL_API int32_t FENO_CheckEASCHMISO15693(int32_t h, int32_t option1, uint8_t mode, const uint8_t* uid,
                                         int32_t option2, int32_t option3, uint16_t time, int32_t* easFlag,
                                         uint8_t* s)
{
    return get(h, kCheckEas, optionsRequest(option1, option2, option3, mode, uid, time), s, Fill::Cleared,
               [=](const Fields& f) { f.flag(easFlag, 0); });
}

} // extern "C"
