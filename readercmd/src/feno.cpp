// The FENO reader family: high-level ISO 15693 commands. Each function builds
// the reader's parameter record, runs one command exchange and reads what it
// needs from the answer: the status alone, the raw answer, or the answer cut
// into inventory entries.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "exchange.h"
#include "quorvel_feno.h"
#include "tables.h"

namespace {

using quorvel::Answer;
using quorvel::countLessOne;

using quorvel::tables::answerBytes;
using quorvel::tables::kStatusBadArgument;
using quorvel::tables::Request;

constexpr std::size_t kUidSize = 8;
constexpr std::uint8_t kModeAddressed = FENO_MODE_ADDRESSED;

// Each entry is at least six bytes: a 255-byte answer never holds more entries than the caller's array.
static_assert(FENO_MAX_ENTRIES * 6 >= quorvel::tables::kMaxAnswerBytes);

template <typename T>
void put(T* out, T value)
{
    if (out)
        *out = value;
}

// Runs the exchange for a usable request; an unusable one stores the
// bad-argument status and sends nothing. The handle is checked first, as
// every family does: a command on no link is -8 whatever its arguments.
std::int32_t run(std::int32_t handle, std::uint8_t command, const Request& request, Answer& answer,
                 std::uint8_t* status, bool& answered)
{
    answered = false;
    if (const std::int32_t valid = LVRM_IsHandleValid(handle); valid != 0)
        return valid;
    if (!request.usable()) {
        put(status, kStatusBadArgument);
        return 0;
    }
    const std::int32_t rc = quorvel::exchange(handle, command, request.data(), answer);
    answered = rc == 0;
    return rc;
}

std::int32_t statusOnly(std::int32_t handle, std::uint8_t command, const Request& request, std::uint8_t* status)
{
    Answer answer;
    bool answered = false;
    const std::int32_t rc = run(handle, command, request, answer, status, answered);
    if (answered)
        put(status, answer.status);
    return rc;
}

std::int32_t rawAnswer(std::int32_t handle, std::uint8_t command, const Request& request, std::uint8_t* length,
                       std::uint8_t* data, std::uint8_t* status)
{
    Answer answer;
    bool answered = false;
    const std::int32_t rc = run(handle, command, request, answer, status, answered);
    if (!answered)
        return rc;
    put(length, answer.length);
    const auto bytes = answerBytes(answer);
    if (data)
        std::copy(bytes.begin(), bytes.end(), data);
    put(status, answer.status);
    return 0;
}

// Cuts the answer into entries of (second byte + 6) bytes, one per 256-byte
// slot. At most a slot's worth of an entry is kept; an entry whose length
// byte is missing or that runs past the end of the answer is dropped.
std::int32_t splitEntries(std::span<const std::uint8_t> answer, std::uint8_t* entries)
{
    std::int32_t count = 0;
    std::size_t at = 0;
    while (at + 1 < answer.size()) {
        const std::size_t length = std::size_t{answer[at + 1]} + 6;
        if (length > answer.size() - at)
            break;
        if (entries) {
            const auto entry = answer.subspan(at, std::min<std::size_t>(length, FENO_ENTRY_SIZE));
            std::copy(entry.begin(), entry.end(), entries + static_cast<std::size_t>(count) * FENO_ENTRY_SIZE);
        }
        ++count;
        at += length;
    }
    return count;
}

std::int32_t entryAnswer(std::int32_t handle, std::uint8_t command, const Request& request, std::int32_t* count,
                         std::uint8_t* entries, std::uint8_t* status)
{
    Answer answer;
    bool answered = false;
    const std::int32_t rc = run(handle, command, request, answer, status, answered);
    if (!answered)
        return rc;
    put(count, splitEntries(answerBytes(answer), entries));
    put(status, answer.status);
    return 0;
}

// The addressing mode byte, followed by the UID in mode 2 only.
Request& target(Request& r, std::uint8_t mode, const std::uint8_t* uid)
{
    return r.byte(mode).bytesIf(mode == kModeAddressed, uid, kUidSize);
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

QVL_API std::int32_t FENO_SetRf(std::int32_t handle, std::uint8_t on, std::uint8_t* status)
{
    return statusOnly(handle, kSetRf, Request().byte(on), status);
}

QVL_API std::int32_t FENO_SetPower(std::int32_t handle, std::uint8_t power, std::uint8_t* status)
{
    return statusOnly(handle, kSetPower, Request().byte(power), status);
}

QVL_API std::int32_t FENO_SetPowerEx(std::int32_t handle, std::uint16_t power, std::uint8_t* status)
{
    return statusOnly(handle, kSetPower, Request().word(power), status);
}

QVL_API std::int32_t FENO_RestoreDefaults(std::int32_t handle, std::uint8_t* status)
{
    return statusOnly(handle, kRestoreDefaults, Request(), status);
}

QVL_API std::int32_t FENO_SetTimingISO15693(std::int32_t handle, std::uint8_t valueA, std::uint16_t valueB,
                                            std::uint8_t* status)
{
    return statusOnly(handle, kSetTiming, Request().byte(valueA).word(valueB), status);
}

QVL_API std::int32_t FENO_SetUplinkISO15693(std::int32_t handle, std::int32_t valueA, std::int32_t valueB,
                                            std::uint8_t* status)
{
    return statusOnly(handle, kSetUplink, Request().byte(valueA).byte(valueB), status);
}

QVL_API std::int32_t FENO_SetDownlinkISO15693(std::int32_t handle, std::int32_t valueA, std::int32_t valueB,
                                              std::uint8_t* status)
{
    return statusOnly(handle, kSetDownlink, Request().byte(valueA).byte(valueB), status);
}

QVL_API std::int32_t FENO_SetMemoryMapISO15693(std::int32_t handle, std::int32_t valueA, std::int32_t valueB,
                                               std::uint8_t* status)
{
    return statusOnly(handle, kSetMemoryMap, Request().byte(countLessOne(valueA)).byte(countLessOne(valueB)), status);
}

QVL_API std::int32_t FENO_InventoryISO15693Ex(std::int32_t handle, std::int32_t option1, std::int32_t option2,
                                              std::int32_t option3, std::int32_t afiFlag, std::int32_t afi,
                                              std::int32_t maskLength, const std::uint8_t* mask, std::uint16_t time,
                                              std::int32_t* entryCount, std::uint8_t* entries, std::uint8_t* status)
{
    return entryAnswer(handle, kInventory,
                       inventoryRequest(option1, option2, option3, afiFlag, afi, maskLength, mask, time), entryCount,
                       entries, status);
}

QVL_API std::int32_t FENO_InventoryISO15693(std::int32_t handle, std::int32_t option1, std::int32_t option2,
                                            std::int32_t option3, std::int32_t afiFlag, std::int32_t afi,
                                            std::int32_t maskLength, const std::uint8_t* mask, std::uint16_t time,
                                            std::uint8_t* length, std::uint8_t* data, std::uint8_t* status)
{
    return rawAnswer(handle, kInventory,
                     inventoryRequest(option1, option2, option3, afiFlag, afi, maskLength, mask, time), length, data,
                     status);
}

QVL_API std::int32_t FENO_StayQuietISO15693(std::int32_t handle, const std::uint8_t* uid, std::uint16_t time,
                                            std::uint8_t* status)
{
    return statusOnly(handle, kStayQuiet, Request().bytes(uid, kUidSize).word(time), status);
}

QVL_API std::int32_t FENO_GenericCommandISO15693(std::int32_t handle, std::int32_t option1, std::int32_t option2,
                                                 std::int32_t option3, std::int32_t requestLength,
                                                 const std::uint8_t* request, std::int32_t answerLength,
                                                 std::uint16_t time, std::uint8_t* length, std::uint8_t* data,
                                                 std::uint8_t* status)
{
    return rawAnswer(handle, kGeneric,
                     genericRequest(option1, option2, option3, requestLength, request, answerLength, time), length,
                     data, status);
}

QVL_API std::int32_t FENO_GenericCommandISO15693Ex(std::int32_t handle, std::int32_t option1, std::int32_t option2,
                                                   std::int32_t option3, std::int32_t requestLength,
                                                   const std::uint8_t* request, std::int32_t answerLength,
                                                   std::uint16_t time, std::int32_t* entryCount,
                                                   std::uint8_t* entries, std::uint8_t* status)
{
    return entryAnswer(handle, kGeneric,
                       genericRequest(option1, option2, option3, requestLength, request, answerLength, time),
                       entryCount, entries, status);
}

QVL_API std::int32_t FENO_ReadBlockISO15693(std::int32_t handle, std::int32_t block, std::int32_t option,
                                            std::uint8_t mode, const std::uint8_t* uid, std::uint16_t time,
                                            std::uint8_t* length, std::uint8_t* data, std::uint8_t* status)
{
    Request r;
    target(r.byte(block).byte(option).word(time), mode, uid);
    return rawAnswer(handle, kReadBlock, r, length, data, status);
}

QVL_API std::int32_t FENO_WriteBlockISO15693(std::int32_t handle, std::int32_t block, std::int32_t byteCount,
                                             const std::uint8_t* bytes, std::int32_t option1, std::int32_t option2,
                                             std::int32_t option3, std::uint8_t mode, const std::uint8_t* uid,
                                             std::uint16_t time, std::uint8_t* length, std::uint8_t* data,
                                             std::uint8_t* status)
{
    Request r = valueRequest(block, option1, option2, option3, mode, uid, time);
    r.counted(bytes, byteCount);
    return rawAnswer(handle, kWriteBlock, r, length, data, status);
}

QVL_API std::int32_t FENO_LockBlockISO15693(std::int32_t handle, std::int32_t block, std::int32_t option1,
                                            std::int32_t option2, std::int32_t option3, std::uint8_t mode,
                                            const std::uint8_t* uid, std::uint16_t time, std::uint8_t* length,
                                            std::uint8_t* data, std::uint8_t* status)
{
    return rawAnswer(handle, kLockBlock, valueRequest(block, option1, option2, option3, mode, uid, time), length,
                     data, status);
}

QVL_API std::int32_t FENO_BlockStatusISO15693(std::int32_t handle, std::int32_t firstBlock, std::int32_t blockCount,
                                              std::int32_t option, std::uint8_t mode, const std::uint8_t* uid,
                                              std::uint16_t time, std::uint8_t* length, std::uint8_t* data,
                                              std::uint8_t* status)
{
    Request r;
    target(r.byte(firstBlock).byte(countLessOne(blockCount)).byte(option).word(time), mode, uid);
    return rawAnswer(handle, kBlockStatus, r, length, data, status);
}

QVL_API std::int32_t FENO_SystemInfoISO15693(std::int32_t handle, std::int32_t option, std::uint8_t mode,
                                             const std::uint8_t* uid, std::uint16_t time, std::uint8_t* length,
                                             std::uint8_t* data, std::uint8_t* status)
{
    return rawAnswer(handle, kSystemInfo, optionRequest(option, mode, uid, time), length, data, status);
}

QVL_API std::int32_t FENO_SelectISO15693(std::int32_t handle, std::int32_t option, const std::uint8_t* uid,
                                         std::uint16_t time, std::uint8_t* length, std::uint8_t* data,
                                         std::uint8_t* status)
{
    return rawAnswer(handle, kSelect, Request().byte(option).word(time).bytes(uid, kUidSize), length, data, status);
}

QVL_API std::int32_t FENO_RTReadyISO15693(std::int32_t handle, std::int32_t option, std::uint8_t mode,
                                          const std::uint8_t* uid, std::uint16_t time, std::uint8_t* length,
                                          std::uint8_t* data, std::uint8_t* status)
{
    return rawAnswer(handle, kResetToReady, optionRequest(option, mode, uid, time), length, data, status);
}

QVL_API std::int32_t FENO_WriteAfiISO15693(std::int32_t handle, std::int32_t afi, std::int32_t option1,
                                           std::int32_t option2, std::int32_t option3, std::uint8_t mode,
                                           const std::uint8_t* uid, std::uint16_t time, std::uint8_t* length,
                                           std::uint8_t* data, std::uint8_t* status)
{
    return rawAnswer(handle, kWriteAfi, valueRequest(afi, option1, option2, option3, mode, uid, time), length, data,
                     status);
}

QVL_API std::int32_t FENO_LockAfiISO15693(std::int32_t handle, std::int32_t option1, std::int32_t option2,
                                          std::int32_t option3, std::uint8_t mode, const std::uint8_t* uid,
                                          std::uint16_t time, std::uint8_t* length, std::uint8_t* data,
                                          std::uint8_t* status)
{
    return rawAnswer(handle, kLockAfi, optionsRequest(option1, option2, option3, mode, uid, time), length, data,
                     status);
}

QVL_API std::int32_t FENO_WriteDsfidISO15693(std::int32_t handle, std::int32_t dsfid, std::int32_t option1,
                                             std::int32_t option2, std::int32_t option3, std::uint8_t mode,
                                             const std::uint8_t* uid, std::uint16_t time, std::uint8_t* length,
                                             std::uint8_t* data, std::uint8_t* status)
{
    return rawAnswer(handle, kWriteDsfid, valueRequest(dsfid, option1, option2, option3, mode, uid, time), length,
                     data, status);
}

QVL_API std::int32_t FENO_LockDsfidISO15693(std::int32_t handle, std::int32_t option1, std::int32_t option2,
                                            std::int32_t option3, std::uint8_t mode, const std::uint8_t* uid,
                                            std::uint16_t time, std::uint8_t* length, std::uint8_t* data,
                                            std::uint8_t* status)
{
    return rawAnswer(handle, kLockDsfid, optionsRequest(option1, option2, option3, mode, uid, time), length, data,
                     status);
}

QVL_API std::int32_t FENO_ProgramEASCHMISO15693(std::int32_t handle, std::int32_t option, std::uint8_t mode,
                                                const std::uint8_t* uid, std::int32_t eas, std::uint16_t time,
                                                std::uint8_t* length, std::uint8_t* data, std::uint8_t* status)
{
    Request r;
    target(r.byte(option).byte(eas).word(time), mode, uid);
    return rawAnswer(handle, kProgramEas, r, length, data, status);
}

QVL_API std::int32_t FENO_CheckEASCHMISO15693(std::int32_t handle, std::int32_t option1, std::uint8_t mode,
                                              const std::uint8_t* uid, std::int32_t option2, std::int32_t option3,
                                              std::uint16_t time, std::int32_t* easFlag, std::uint8_t* status)
{
    Answer answer;
    bool answered = false;
    const std::int32_t rc =
        run(handle, kCheckEas, optionsRequest(option1, option2, option3, mode, uid, time), answer, status, answered);
    if (!answered)
        return rc;
    const auto bytes = answerBytes(answer);
    put(easFlag, std::int32_t{!bytes.empty() && bytes[0] != 0});
    put(status, answer.status);
    return 0;
}

} // extern "C"
