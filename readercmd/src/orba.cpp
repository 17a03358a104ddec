// ORBA readers: ISO 15693 requests built here and carried to the tags by the
// reader's ISO carrier command; the tags' answers come back as records.

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <span>
#include <vector>

#include "exchange.h"
#include "quorvel_orba.h"

namespace quorvel::orba {

namespace {

constexpr std::uint8_t kRfOnCommand = 0x0C;
constexpr std::uint8_t kRfOffCommand = 0x0D;
constexpr std::uint8_t kCarrierCommand = 0x28;
constexpr std::uint8_t kUplinkCommand = 0x29;
constexpr std::uint8_t kTimingCommand = 0x2A;

// The reader's answer buffer that block lists are walked in.
constexpr std::int32_t kBlockListBuffer = 1024;
// Carrier data: the control byte and the request, in one frame.
constexpr std::size_t kMaxRequest = 254;
constexpr std::size_t kUidSize = 8;

// ISO 15693 request flags and command codes.
constexpr std::uint8_t kFlagInventory = 0x04;
constexpr std::uint8_t kFlagSelect = 0x10; // inventory: AFI present
constexpr std::uint8_t kFlagAddress = 0x20; // inventory: one slot
constexpr std::uint8_t kFlagOption = 0x40;

enum IsoCommand : std::uint8_t {
    kInventory = 0x01,
    kStayQuiet = 0x02,
    kReadBlock = 0x20,
    kWriteBlock = 0x21,
    kLockBlock = 0x22,
    kSelect = 0x25,
    kResetToReady = 0x26,
    kWriteAfi = 0x27,
    kLockAfi = 0x28,
    kWriteDsfid = 0x29,
    kLockDsfid = 0x2A,
    kSystemInfo = 0x2B,
    kBlockStatus = 0x2C,
};

using Bytes = std::vector<std::uint8_t>;

template <typename T>
void put(T* out, T value)
{
    if (out)
        *out = value;
}

// Where the carrier puts its records: the caller's arrays, or the internal
// area of the single-answer commands.
struct RecordArea {
    std::uint8_t* count;
    std::uint8_t* lengths;
    std::uint8_t* slots;
    std::size_t capacity; // slots
};

// The internal record area of a tag command: 16 slots.
struct OwnRecords {
    static constexpr std::size_t kSlots = 16;
    std::uint8_t count = 0;
    std::array<std::uint8_t, kSlots> lengths{};
    std::array<std::uint8_t, kSlots * ORBA_RECORD_SLOT_SIZE> slots{};
    RecordArea area() { return {&count, lengths.data(), slots.data(), kSlots}; }
};

// Sends nothing and stores the library's own refusal, after the handle check
// that every command makes first.
std::int32_t refuse(std::int32_t handle, std::uint8_t* readerStatus)
{
    if (const std::int32_t valid = LVRM_IsHandleValid(handle); valid != 0)
        return valid;
    put<std::uint8_t>(readerStatus, ORBA_STATUS_BAD_ARGUMENT);
    return 0;
}

// A command whose answer is the status byte alone (or read by the caller).
std::int32_t simpleCommand(std::int32_t handle, std::uint8_t command, std::span<const std::uint8_t> data,
                           std::uint8_t* readerStatus, Answer* answerOut = nullptr)
{
    Answer local;
    Answer& answer = answerOut ? *answerOut : local;
    const std::int32_t code = exchange(handle, command, data, answer);
    if (code == 0)
        put(readerStatus, answer.status);
    return code;
}

// The carrier command: one exchange, the answer split into records.
std::int32_t carry(std::int32_t handle, std::uint8_t control, std::span<const std::uint8_t> request,
                   const RecordArea& out, std::uint8_t* readerStatus)
{
    if (request.size() > kMaxRequest)
        return refuse(handle, readerStatus);
    Bytes data{control};
    data.insert(data.end(), request.begin(), request.end());
    Answer answer;
    if (const std::int32_t code = exchange(handle, kCarrierCommand, data, answer); code != 0)
        return code;

    if (!answer.isBlockList()) {
        put(readerStatus, answer.status);
        put(out.count, std::uint8_t{1});
        put(out.lengths, answer.length);
        if (out.slots)
            std::memcpy(out.slots, answer.data.data(), answer.length);
        return 0;
    }
    const std::int32_t blocks = answer.blockCount(kBlockListBuffer);
    if (blocks < 0)
        return LVRM_ERR_WRONG_BLOCK_FORMAT;
    const auto kept = static_cast<std::uint8_t>(std::min<std::size_t>(static_cast<std::size_t>(blocks), out.capacity));
    put(readerStatus, answer.status);
    put(out.count, kept);
    std::array<std::uint8_t, 254> block;
    for (std::uint8_t i = 0; i < kept; ++i) {
        // The list was checked whole above, so every counted block is there.
        std::uint32_t size = 0;
        if (!answer.block(i, kBlockListBuffer, block.data(), size))
            size = 0;
        const auto length = static_cast<std::uint8_t>(std::min<std::uint32_t>(size, ORBA_RECORD_SLOT_SIZE));
        if (out.lengths)
            out.lengths[i] = length;
        if (out.slots)
            std::memcpy(out.slots + std::size_t{i} * ORBA_RECORD_SLOT_SIZE, block.data(), length);
    }
    return 0;
}

std::uint8_t controlByte(bool writeAlike, bool raw, bool flag4, bool flag5, bool flag6)
{
    std::uint8_t control = (writeAlike ? 0x01 : 0x00) | (raw ? 0x02 : 0x00);
    if (!raw)
        control |= (flag4 ? 0x10 : 0x00) | (flag5 ? 0x20 : 0x00) | (flag6 ? 0x40 : 0x00);
    return control;
}

// Flags 0x01 and 0x02 from the link's request options.
std::uint8_t linkFlags(std::int32_t handle)
{
    const LinkSettings* settings = linkSettings(handle);
    if (!settings)
        return 0;
    return (settings->orbaRequestOptionA == 1 ? 0x01 : 0x00) | (settings->orbaRequestOptionB == 1 ? 0x02 : 0x00);
}

void appendReversed(Bytes& out, const std::uint8_t* bytes, std::size_t count)
{
    for (std::size_t i = count; i > 0; --i)
        out.push_back(bytes[i - 1]);
}

// One ISO 15693 tag command (all but the inventory).
struct TagCommand {
    std::uint8_t code;
    bool writeAlike = false;
    bool alwaysAddressed = false;
};

struct TagArguments {
    std::int32_t mode = 0;
    const std::uint8_t* uid = nullptr;
    std::int32_t option = 0;
    Bytes params;
    const std::uint8_t* data = nullptr; // written reversed after the parameters
    std::size_t dataCount = 0;
};

// The request, or nothing when the arguments cannot make one.
std::optional<Bytes> tagRequest(std::int32_t handle, const TagCommand& command, const TagArguments& args)
{
    std::uint8_t flags = linkFlags(handle);
    if (command.alwaysAddressed || args.mode == 2)
        flags |= kFlagAddress;
    else if (args.mode == 1)
        flags |= kFlagSelect;
    if (command.writeAlike && args.option == 1)
        flags |= kFlagOption;
    Bytes request{flags, command.code};
    if (flags & kFlagAddress) {
        if (!args.uid)
            return std::nullopt;
        appendReversed(request, args.uid, kUidSize);
    }
    request.insert(request.end(), args.params.begin(), args.params.end());
    if (args.dataCount > 0 && !args.data)
        return std::nullopt;
    appendReversed(request, args.data, args.dataCount);
    if (request.size() > kMaxRequest)
        return std::nullopt;
    return request;
}

// Runs a tag command and hands back record 0 as its single answer.
std::int32_t tagCommand(std::int32_t handle, const TagCommand& command, const TagArguments& args,
                        std::uint8_t* length, std::uint8_t* data, std::uint8_t* readerStatus)
{
    if (const std::int32_t valid = LVRM_IsHandleValid(handle); valid != 0)
        return valid;
    const auto request = tagRequest(handle, command, args);
    if (!request)
        return refuse(handle, readerStatus);
    OwnRecords records;
    std::uint8_t status = 0;
    const std::uint8_t control = controlByte(command.writeAlike, true, false, false, false);
    if (const std::int32_t code = carry(handle, control, *request, records.area(), &status); code != 0)
        return code;
    put(readerStatus, status);
    if (status & 0x80)
        return 0;
    const std::uint8_t size = records.lengths[0];
    put(length, size);
    if (data && size > 0)
        std::memcpy(data, records.slots.data(), size);
    return 0;
}

std::uint8_t low(std::int32_t value)
{
    return static_cast<std::uint8_t>(value & 0xFF);
}

} // namespace

} // namespace quorvel::orba

using namespace quorvel;
using namespace quorvel::orba;

extern "C" {

QVL_API int32_t ORBA_GenericCommandISO15693(int32_t handle, int32_t writeAlike, int32_t rawRequest, int32_t flag4,
                                            int32_t flag5, int32_t flag6, uint8_t requestLength,
                                            const uint8_t* request, uint8_t* recordCount, uint8_t* recordLengths,
                                            uint8_t* records, uint8_t* readerStatus)
{
    if (requestLength > 0 && !request)
        return refuse(handle, readerStatus);
    const std::uint8_t control = controlByte(writeAlike != 0, rawRequest != 0, flag4 != 0, flag5 != 0, flag6 != 0);
    return carry(handle, control, std::span<const std::uint8_t>(request, requestLength),
                 {recordCount, recordLengths, records, ORBA_MAX_RECORDS}, readerStatus);
}

QVL_API int32_t ORBA_InventoryISO15693(int32_t handle, int32_t oneSlot, int32_t afiFlag, int32_t afi,
                                       int32_t maskLength, const uint8_t* mask, uint8_t* recordCount,
                                       uint8_t* recordLengths, uint8_t* records, uint8_t* readerStatus)
{
    if (const std::int32_t valid = LVRM_IsHandleValid(handle); valid != 0)
        return valid;
    std::uint8_t flags = linkFlags(handle) | kFlagInventory;
    if (afiFlag != 0)
        flags |= kFlagSelect;
    if (oneSlot == 1)
        flags |= kFlagAddress;
    Bytes request{flags, kInventory};
    if (afiFlag != 0)
        request.push_back(low(afi));
    const std::uint8_t bits = low(maskLength);
    request.push_back(bits);
    if (bits > 0) {
        if (!mask)
            return refuse(handle, readerStatus);
        appendReversed(request, mask, (bits - 1u) / 8 + 1);
    }
    return carry(handle, controlByte(false, true, false, false, false), request,
                 {recordCount, recordLengths, records, ORBA_MAX_RECORDS}, readerStatus);
}

QVL_API int32_t ORBA_StayQuietISO15693(int32_t handle, const uint8_t* uid, uint8_t* readerStatus)
{
    TagArguments args;
    args.uid = uid;
    return tagCommand(handle, {kStayQuiet, false, true}, args, nullptr, nullptr, readerStatus);
}

QVL_API int32_t ORBA_ReadBlockISO15693(int32_t handle, int32_t block, int32_t mode, const uint8_t* uid,
                                       uint8_t* length, uint8_t* data, uint8_t* readerStatus)
{
    TagArguments args{mode, uid};
    args.params = {low(block)};
    return tagCommand(handle, {kReadBlock}, args, length, data, readerStatus);
}

QVL_API int32_t ORBA_WriteBlockISO15693(int32_t handle, int32_t block, int32_t byteCount, const uint8_t* bytes,
                                        int32_t option, int32_t mode, const uint8_t* uid, uint8_t* length,
                                        uint8_t* data, uint8_t* readerStatus)
{
    if (byteCount < 0 || static_cast<std::uint32_t>(byteCount) > kMaxRequest)
        return refuse(handle, readerStatus);
    TagArguments args{mode, uid, option};
    args.params = {low(block)};
    args.data = bytes;
    args.dataCount = static_cast<std::size_t>(byteCount);
    return tagCommand(handle, {kWriteBlock, true}, args, length, data, readerStatus);
}

QVL_API int32_t ORBA_LockBlockISO15693(int32_t handle, int32_t block, int32_t option, int32_t mode,
                                       const uint8_t* uid, uint8_t* length, uint8_t* data, uint8_t* readerStatus)
{
    TagArguments args{mode, uid, option};
    args.params = {low(block)};
    return tagCommand(handle, {kLockBlock, true}, args, length, data, readerStatus);
}

QVL_API int32_t ORBA_SelectISO15693(int32_t handle, const uint8_t* uid, uint8_t* length, uint8_t* data,
                                    uint8_t* readerStatus)
{
    TagArguments args;
    args.uid = uid;
    return tagCommand(handle, {kSelect, false, true}, args, length, data, readerStatus);
}

QVL_API int32_t ORBA_RTReadyISO15693(int32_t handle, int32_t mode, const uint8_t* uid, uint8_t* length,
                                     uint8_t* data, uint8_t* readerStatus)
{
    return tagCommand(handle, {kResetToReady}, {mode, uid}, length, data, readerStatus);
}

QVL_API int32_t ORBA_WriteAfiISO15693(int32_t handle, int32_t afi, int32_t option, int32_t mode,
                                      const uint8_t* uid, uint8_t* length, uint8_t* data, uint8_t* readerStatus)
{
    TagArguments args{mode, uid, option};
    args.params = {low(afi)};
    return tagCommand(handle, {kWriteAfi, true}, args, length, data, readerStatus);
}

QVL_API int32_t ORBA_LockAfiISO15693(int32_t handle, int32_t option, int32_t mode, const uint8_t* uid,
                                     uint8_t* length, uint8_t* data, uint8_t* readerStatus)
{
    return tagCommand(handle, {kLockAfi, true}, {mode, uid, option}, length, data, readerStatus);
}

QVL_API int32_t ORBA_WriteDsfidISO15693(int32_t handle, int32_t dsfid, int32_t option, int32_t mode,
                                        const uint8_t* uid, uint8_t* length, uint8_t* data, uint8_t* readerStatus)
{
    TagArguments args{mode, uid, option};
    args.params = {low(dsfid)};
    return tagCommand(handle, {kWriteDsfid, true}, args, length, data, readerStatus);
}

QVL_API int32_t ORBA_LockDsfidISO15693(int32_t handle, int32_t option, int32_t mode, const uint8_t* uid,
                                       uint8_t* length, uint8_t* data, uint8_t* readerStatus)
{
    return tagCommand(handle, {kLockDsfid, true}, {mode, uid, option}, length, data, readerStatus);
}

QVL_API int32_t ORBA_SystemInfoISO15693(int32_t handle, int32_t mode, const uint8_t* uid, uint8_t* length,
                                        uint8_t* data, uint8_t* readerStatus)
{
    return tagCommand(handle, {kSystemInfo}, {mode, uid}, length, data, readerStatus);
}

QVL_API int32_t ORBA_BlockStatusISO15693(int32_t handle, int32_t firstBlock, int32_t blockCount, int32_t mode,
                                         const uint8_t* uid, uint8_t* length, uint8_t* data, uint8_t* readerStatus)
{
    TagArguments args{mode, uid};
    args.params = {low(firstBlock), countLessOne(blockCount)};
    return tagCommand(handle, {kBlockStatus}, args, length, data, readerStatus);
}

QVL_API int32_t ORBA_SetDownlinkISO15693(int32_t handle, int32_t optionA, int32_t optionB, uint8_t* readerStatus)
{
    if (const std::int32_t valid = LVRM_IsHandleValid(handle); valid != 0)
        return valid;
    LinkSettings& settings = *linkSettings(handle);
    settings.orbaRequestOptionA = optionA;
    settings.orbaRequestOptionB = optionB;
    put<std::uint8_t>(readerStatus, 0);
    return 0;
}

QVL_API int32_t ORBA_GetDownlinkISO15693(int32_t handle, int32_t* optionA, int32_t* optionB, uint8_t* readerStatus)
{
    if (const std::int32_t valid = LVRM_IsHandleValid(handle); valid != 0)
        return valid;
    const LinkSettings& settings = *linkSettings(handle);
    put(optionA, settings.orbaRequestOptionA);
    put(optionB, settings.orbaRequestOptionB);
    put<std::uint8_t>(readerStatus, 0);
    return 0;
}

QVL_API int32_t ORBA_SetMemoryMapISO15693(int32_t handle, uint16_t valueA, uint16_t valueB, uint8_t* readerStatus)
{
    if (const std::int32_t valid = LVRM_IsHandleValid(handle); valid != 0)
        return valid;
    linkSettings(handle)->orbaMemoryMap = {valueA, valueB};
    put<std::uint8_t>(readerStatus, 0);
    return 0;
}

QVL_API int32_t ORBA_GetMemoryMapISO15693(int32_t handle, uint16_t* valueA, uint16_t* valueB, uint8_t* readerStatus)
{
    if (const std::int32_t valid = LVRM_IsHandleValid(handle); valid != 0)
        return valid;
    const auto& map = linkSettings(handle)->orbaMemoryMap;
    put(valueA, map[0]);
    put(valueB, map[1]);
    put<std::uint8_t>(readerStatus, 0);
    return 0;
}

QVL_API int32_t ORBA_SetUplinkISO15693(int32_t handle, int32_t flag1, int32_t flag2, int32_t flag3,
                                       uint8_t* readerStatus)
{
    const std::uint8_t bits = (flag1 != 0 ? 0x01 : 0x00) | (flag2 != 0 ? 0x02 : 0x00) | (flag3 != 0 ? 0x04 : 0x00);
    return simpleCommand(handle, kUplinkCommand, std::span(&bits, 1), readerStatus);
}

QVL_API int32_t ORBA_GetUplinkISO15693(int32_t handle, int32_t* flag1, int32_t* flag2, int32_t* flag3,
                                       uint8_t* readerStatus)
{
    Answer answer;
    const std::int32_t code = simpleCommand(handle, kUplinkCommand, {}, readerStatus, &answer);
    if (code != 0)
        return code;
    const auto data = answer.bytes();
    const std::uint8_t bits = data.empty() ? 0 : data[0];
    put<std::int32_t>(flag1, (bits & 0x01) ? 1 : 0);
    put<std::int32_t>(flag2, (bits & 0x02) ? 1 : 0);
    put<std::int32_t>(flag3, (bits & 0x04) ? 1 : 0);
    return 0;
}

QVL_API int32_t ORBA_SetTimingISO15693(int32_t handle, int32_t valueA, int32_t valueB, uint8_t* readerStatus)
{
    const std::array<std::uint8_t, 2> data{low(valueA), low(valueB)};
    return simpleCommand(handle, kTimingCommand, data, readerStatus);
}

QVL_API int32_t ORBA_GetTimingISO15693(int32_t handle, uint8_t* valueA, uint8_t* valueB, uint8_t* readerStatus)
{
    Answer answer;
    const std::int32_t code = simpleCommand(handle, kTimingCommand, {}, readerStatus, &answer);
    if (code != 0)
        return code;
    const auto data = answer.bytes();
    put<std::uint8_t>(valueA, data.size() >= 1 ? data[0] : 0);
    put<std::uint8_t>(valueB, data.size() >= 2 ? data[1] : 0);
    return 0;
}

QVL_API int32_t ORBA_RfOn(int32_t handle, uint8_t* readerStatus)
{
    return simpleCommand(handle, kRfOnCommand, {}, readerStatus);
}

QVL_API int32_t ORBA_RfOff(int32_t handle, uint8_t* readerStatus)
{
    return simpleCommand(handle, kRfOffCommand, {}, readerStatus);
}

} // extern "C"
