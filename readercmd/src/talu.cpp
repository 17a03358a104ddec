// TALU readers: the automatic inventory, the ISO carrier and the ISO 15693
// tag commands built on it.
//
// A tag command is an ISO 15693 request as the air carries it: request flags,
// command code, [manufacturer code 0x04 for the custom CHM commands], [the
// UID least significant byte first when addressed], parameters. The carrier
// puts a control byte before it and sometimes an extra byte after it.

#include <algorithm>
#include <cstring>
#include <span>
#include <vector>

#include "exchange.h"
#include "quorvel_talu.h"

namespace quorvel {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Reader commands.
constexpr std::uint8_t kCmdRfOn = 0x0C;
constexpr std::uint8_t kCmdRfOff = 0x0D;
constexpr std::uint8_t kCmdAutoInventory = 0x20;
constexpr std::uint8_t kCmdCarrier = 0x21;
constexpr std::uint8_t kCmdFeatures = 0x61;

// ISO 15693 request flags.
constexpr std::uint8_t kFlagHighDataRate = 0x02;
constexpr std::uint8_t kFlagInventory = 0x04;
constexpr std::uint8_t kFlagSelected = 0x10; // inventories: AFI present
constexpr std::uint8_t kFlagAddressed = 0x20; // inventories: one slot
constexpr std::uint8_t kFlagOption = 0x40;

// ISO 15693 command codes.
constexpr std::uint8_t kIsoInventory = 0x01;
constexpr std::uint8_t kIsoStayQuiet = 0x02;
constexpr std::uint8_t kIsoReadBlock = 0x20;
constexpr std::uint8_t kIsoWriteBlock = 0x21;
constexpr std::uint8_t kIsoLockBlock = 0x22;
constexpr std::uint8_t kIsoSelect = 0x25;
constexpr std::uint8_t kIsoResetToReady = 0x26;
constexpr std::uint8_t kIsoWriteAfi = 0x27;
constexpr std::uint8_t kIsoLockAfi = 0x28;
constexpr std::uint8_t kIsoWriteDsfid = 0x29;
constexpr std::uint8_t kIsoLockDsfid = 0x2A;
constexpr std::uint8_t kIsoSystemInfo = 0x2B;
constexpr std::uint8_t kIsoBlockStatus = 0x2C;
constexpr std::uint8_t kChmInventoryRead = 0xA0;
constexpr std::uint8_t kChmFastInventoryRead = 0xA1;
constexpr std::uint8_t kChmSetEas = 0xA2;
constexpr std::uint8_t kChmResetEas = 0xA3;
constexpr std::uint8_t kChmLockEas = 0xA4;
constexpr std::uint8_t kChmEasAlarm = 0xA5;
constexpr std::uint8_t kManufacturerCode = 0x04;

// Extra bytes the carrier gets: for write-alike requests with the option
// flag, and for the plain inventory.
constexpr std::uint8_t kExtraWriteAlike = 63;
constexpr std::uint8_t kExtraInventory = 10;

// Block lists of TALU answers are walked within this many bytes.
constexpr std::int32_t kBlockListArea = 2048;

constexpr std::uint8_t kStatusFailed = 0x80;

// Addressing modes of the tag commands (0: non-addressed).
constexpr std::int32_t kModeSelected = 1;
constexpr std::int32_t kModeAddressed = 2;

// The four carrier flag arguments.
struct CarrierFlags {
    bool flag1 = false;
    bool flag2 = false;
    bool flag3 = false;
    bool flag4 = false;
};

constexpr CarrierFlags kTagCommand{false, true, false, false};
constexpr CarrierFlags kTagWrite{false, true, false, true};

void storeStatus(std::uint8_t* out, std::uint8_t status)
{
    if (out)
        *out = status;
}

// Arguments that cannot make a request: the reader is not asked. The handle
// comes first: a command on no link is the transport's code whatever its arguments.
std::int32_t badArgument(std::int32_t handle, std::uint8_t* status)
{
    if (const std::int32_t valid = LVRM_IsHandleValid(handle); valid != 0)
        return valid;
    storeStatus(status, TALU_STATUS_BAD_ARGUMENT);
    return 0;
}

// Bytes given most significant first, in the order they go on the air.
void appendReversed(Bytes& out, const std::uint8_t* bytes, std::size_t count)
{
    for (std::size_t i = count; i-- > 0;)
        out.push_back(bytes[i]);
}

// Number of mask bytes for a mask of the given length in bits.
std::size_t maskBytes(std::int32_t maskLength)
{
    return maskLength == 0 ? 0 : static_cast<std::size_t>((maskLength - 1) / 8 + 1);
}

// Control bits 0x01 and 0x02: the link's uplink values.
std::uint8_t uplinkBits(const LinkSettings& link)
{
    std::uint8_t control = 0;
    if (link.taluUplink[0] != 0)
        control |= 0x01;
    if (link.taluUplink[1] != 0)
        control |= 0x02;
    return control;
}

std::uint8_t dataRateFlag(const LinkSettings& link)
{
    return link.taluDownlink == 1 ? kFlagHighDataRate : 0;
}

// The carrier's data: control byte, request, and the extra byte when its rule applies.
Bytes carrierData(const LinkSettings& link, CarrierFlags flags, std::uint8_t extra,
                  std::span<const std::uint8_t> request)
{
    std::uint8_t control = uplinkBits(link);
    if (flags.flag1)
        control |= 0x80;
    if (flags.flag3)
        control |= 0x40;
    if (flags.flag4)
        control |= 0x08;
    if (flags.flag2)
        control |= 0x04;
    Bytes data{control};
    data.insert(data.end(), request.begin(), request.end());
    const std::uint8_t requestFlags = request.empty() ? 0 : request[0];
    const bool inventory = requestFlags & kFlagInventory;
    bool withExtra;
    if (flags.flag4)
        withExtra = !inventory && (requestFlags & kFlagOption);
    else
        withExtra = inventory && (link.taluUplink[0] == 1 || link.taluUplink[1] == 1);
    if (withExtra)
        data.push_back(extra);
    return data;
}

// Copies the records of an answer into the caller's slots.
std::int32_t takeRecords(const Answer& answer, std::uint8_t* recordCount, std::uint8_t* records)
{
    if (recordCount)
        *recordCount = 0;
    const auto fill = [&](std::size_t slot, const std::uint8_t* bytes, std::size_t length) {
        if (!records)
            return;
        std::uint8_t* dest = records + slot * TALU_RECORD_SIZE;
        const std::size_t n = std::min<std::size_t>(length, TALU_RECORD_SIZE);
        std::memcpy(dest, bytes, n);
        std::memset(dest + n, 0, TALU_RECORD_SIZE - n);
    };
    if (!answer.isBlockList()) {
        fill(0, answer.data.data(), answer.length);
        if (recordCount)
            *recordCount = 1;
        return 0;
    }
    const std::int32_t blocks = answer.blockCount(kBlockListArea);
    if (blocks < 0)
        return blocks;
    const std::int32_t taken = std::min<std::int32_t>(blocks, TALU_MAX_RECORDS);
    std::uint8_t block[256];
    for (std::int32_t i = 0; i < taken; ++i) {
        std::uint32_t length = 0;
        if (!answer.block(i, kBlockListArea, block, length))
            return LVRM_ERR_WRONG_BLOCK_FORMAT;
        fill(static_cast<std::size_t>(i), block, length);
    }
    if (recordCount)
        *recordCount = static_cast<std::uint8_t>(taken);
    return 0;
}

// Copies a single tag's response (a plain answer, or the first block of a list).
std::int32_t takeResponse(const Answer& answer, std::uint8_t* data)
{
    if (!answer.isBlockList()) {
        if (data)
            std::memcpy(data, answer.data.data(), answer.length);
        return 0;
    }
    const std::int32_t blocks = answer.blockCount(kBlockListArea);
    if (blocks < 0)
        return blocks;
    std::uint8_t block[256];
    std::uint32_t length = 0;
    if (blocks > 0 && answer.block(0, kBlockListArea, block, length) && data)
        std::memcpy(data, block, std::min<std::uint32_t>(length, TALU_ANSWER_SIZE));
    return 0;
}

enum class Records { Single, Many, None };

// One command whose answer carries tag records or a tag's response.
struct Outputs {
    Records kind = Records::None;
    std::uint8_t* data = nullptr;        // Single
    std::uint8_t* recordCount = nullptr; // Many
    std::uint8_t* records = nullptr;     // Many
    std::uint8_t* status = nullptr;
};

std::int32_t run(std::int32_t handle, std::uint8_t command, std::span<const std::uint8_t> data, const Outputs& out)
{
    if (data.size() > 255)
        return badArgument(handle, out.status);
    Answer answer;
    if (const std::int32_t result = exchange(handle, command, data, answer); result != 0)
        return result;
    storeStatus(out.status, answer.status);
    if (answer.status & kStatusFailed)
        return 0;
    switch (out.kind) {
    case Records::Single:
        return takeResponse(answer, out.data);
    case Records::Many:
        return takeRecords(answer, out.recordCount, out.records);
    case Records::None:
        break;
    }
    return 0;
}

// The link entry of an open link, or the handle check's code.
std::int32_t openLink(std::int32_t handle, LinkSettings*& link)
{
    if (const std::int32_t valid = LVRM_IsHandleValid(handle); valid != 0)
        return valid;
    link = linkSettings(handle);
    return link ? 0 : LVRM_ERR_INVALID_HANDLE;
}

std::int32_t carrier(std::int32_t handle, CarrierFlags flags, std::uint8_t extra, std::span<const std::uint8_t> request,
                     const Outputs& out)
{
    LinkSettings* link = nullptr;
    if (const std::int32_t result = openLink(handle, link); result != 0)
        return result;
    return run(handle, kCmdCarrier, carrierData(*link, flags, extra, request), out);
}

// One ISO 15693 (or CHM) tag command through the carrier.
struct TagCommand {
    std::uint8_t code;
    bool custom = false;     // a CHM command: the manufacturer code follows the command code
    bool writeAlike = false; // the option sets flag 0x40; carrier flag 4 with extra byte 63
};

std::int32_t tagCommand(std::int32_t handle, TagCommand command, std::int32_t option, std::int32_t mode,
                        const std::uint8_t* uid, std::span<const std::uint8_t> params, const Outputs& out,
                        std::uint8_t fixedAddressing = 0, CarrierFlags flags = kTagCommand)
{
    LinkSettings* link = nullptr;
    if (const std::int32_t result = openLink(handle, link); result != 0)
        return result;
    std::uint8_t requestFlags = dataRateFlag(*link) | fixedAddressing;
    if (mode == kModeSelected)
        requestFlags |= kFlagSelected;
    else if (mode == kModeAddressed)
        requestFlags |= kFlagAddressed;
    if (command.writeAlike && option != 0)
        requestFlags |= kFlagOption;
    const bool addressed = requestFlags & kFlagAddressed;
    if (addressed && !uid)
        return badArgument(handle, out.status);

    Bytes request{requestFlags, command.code};
    if (command.custom)
        request.push_back(kManufacturerCode);
    if (addressed)
        appendReversed(request, uid, 8);
    request.insert(request.end(), params.begin(), params.end());
    if (command.writeAlike)
        flags = kTagWrite;
    return run(handle, kCmdCarrier, carrierData(*link, flags, kExtraWriteAlike, request), out);
}

Outputs single(std::uint8_t* data, std::uint8_t* status)
{
    return {Records::Single, data, nullptr, nullptr, status};
}

Outputs many(std::uint8_t* recordCount, std::uint8_t* records, std::uint8_t* status)
{
    return {Records::Many, nullptr, recordCount, records, status};
}

std::uint8_t byte(std::int32_t value)
{
    return static_cast<std::uint8_t>(value);
}

// The control byte of the automatic inventories: the link's values and the AFI flag.
std::uint8_t autoControl(const LinkSettings& link, bool afiFlag)
{
    std::uint8_t control = uplinkBits(link);
    if (link.taluDownlink != 0)
        control |= 0x04;
    if (afiFlag)
        control |= 0x10;
    return control;
}

// Inventory requests: flags (with AFI and one-slot bits), code, [manufacturer
// code], [AFI], mask length, mask bytes reversed.
bool inventoryRequest(Bytes& request, const LinkSettings& link, std::uint8_t code, bool custom, bool oneSlot,
                      bool afiFlag, std::int32_t afi, std::int32_t maskLength, const std::uint8_t* mask)
{
    if (maskLength < 0 || maskLength > 255 || (maskLength > 0 && !mask))
        return false;
    std::uint8_t flags = dataRateFlag(link) | kFlagInventory;
    if (afiFlag)
        flags |= kFlagSelected;
    if (oneSlot)
        flags |= kFlagAddressed;
    request = {flags, code};
    if (custom)
        request.push_back(kManufacturerCode);
    if (afiFlag)
        request.push_back(byte(afi));
    request.push_back(byte(maskLength));
    appendReversed(request, mask, maskBytes(maskLength));
    return true;
}

} // namespace
} // namespace quorvel

using namespace quorvel;

extern "C" {

QVL_API int32_t TALU_SetUplinkISO15693(int32_t handle, int32_t value1, int32_t value2)
{
    LinkSettings* link = nullptr;
    if (const std::int32_t result = openLink(handle, link); result != 0)
        return result;
    link->taluUplink = {value1, value2};
    return 0;
}

QVL_API int32_t TALU_GetUplinkISO15693(int32_t handle, int32_t* value1, int32_t* value2)
{
    LinkSettings* link = nullptr;
    if (const std::int32_t result = openLink(handle, link); result != 0)
        return result;
    if (value1)
        *value1 = link->taluUplink[0];
    if (value2)
        *value2 = link->taluUplink[1];
    return 0;
}

QVL_API int32_t TALU_SetDownlinkISO15693(int32_t handle, int32_t value)
{
    LinkSettings* link = nullptr;
    if (const std::int32_t result = openLink(handle, link); result != 0)
        return result;
    link->taluDownlink = value;
    return 0;
}

QVL_API int32_t TALU_GetDownlinkISO15693(int32_t handle, int32_t* value)
{
    LinkSettings* link = nullptr;
    if (const std::int32_t result = openLink(handle, link); result != 0)
        return result;
    if (value)
        *value = link->taluDownlink;
    return 0;
}

QVL_API int32_t TALU_GenericCommandISO15693(int32_t handle, int32_t flag1, int32_t flag2, int32_t flag3,
                                            int32_t flag4, int32_t extraByte, uint8_t requestLength,
                                            const uint8_t* request, uint8_t* recordCount, uint8_t* records,
                                            uint8_t* status)
{
    if (requestLength > 0 && !request)
        return badArgument(handle, status);
    const CarrierFlags flags{flag1 != 0, flag2 != 0, flag3 != 0, flag4 != 0};
    return carrier(handle, flags, byte(extraByte), {request, requestLength}, many(recordCount, records, status));
}

QVL_API int32_t TALU_AutoInventoryISO15693(int32_t handle, int32_t flagA, int32_t afiFlag, int32_t afi,
                                           int32_t parameter, uint8_t* recordCount, uint8_t* records,
                                           uint8_t* status)
{
    LinkSettings* link = nullptr;
    if (const std::int32_t result = openLink(handle, link); result != 0)
        return result;
    std::uint8_t control = autoControl(*link, afiFlag != 0);
    if (flagA != 0)
        control |= 0x80;
    Bytes data{control, byte(parameter)};
    if (afiFlag != 0)
        data.push_back(byte(afi));
    return run(handle, kCmdAutoInventory, data, many(recordCount, records, status));
}

QVL_API int32_t TALU_AutoInventoryCHM(int32_t handle, int32_t flagA, int32_t option, int32_t afiFlag, int32_t afi,
                                      int32_t firstBlock, int32_t blockCount, int32_t parameter,
                                      uint8_t* recordCount, uint8_t* records, uint8_t* status)
{
    LinkSettings* link = nullptr;
    if (const std::int32_t result = openLink(handle, link); result != 0)
        return result;
    std::uint8_t control = autoControl(*link, afiFlag != 0) | (flagA != 0 ? 0xA0 : 0x20);
    if (option != 0)
        control |= 0x40;
    Bytes data{control, byte(parameter)};
    if (afiFlag != 0)
        data.push_back(byte(afi));
    data.push_back(byte(firstBlock));
    data.push_back(countLessOne(blockCount));
    return run(handle, kCmdAutoInventory, data, many(recordCount, records, status));
}

QVL_API int32_t TALU_SetRf(int32_t handle, int32_t on, uint8_t* status)
{
    return run(handle, on != 0 ? kCmdRfOn : kCmdRfOff, {}, {Records::None, nullptr, nullptr, nullptr, status});
}

QVL_API int32_t TALU_GetFeatures(int32_t handle, TALU_Features* features, uint8_t* status)
{
    Answer answer;
    if (const std::int32_t result = exchange(handle, kCmdFeatures, {}, answer); result != 0)
        return result;
    storeStatus(status, answer.status);
    const auto bytes = answer.bytes();
    if ((answer.status & kStatusFailed) || bytes.size() < 3 || !features)
        return 0;
    features->byte0 = bytes[0];
    features->byte1 = bytes[1];
    // The reader reports its features active low.
    for (int i = 0; i < 8; ++i)
        features->flags[i] = (bytes[2] >> i) & 1 ? 0 : 1;
    return 0;
}

QVL_API int32_t TALU_InventoryISO15693(int32_t handle, int32_t oneSlot, int32_t afiFlag, int32_t afi,
                                       int32_t maskLength, const uint8_t* mask, uint8_t* recordCount,
                                       uint8_t* records, uint8_t* status)
{
    LinkSettings* link = nullptr;
    if (const std::int32_t result = openLink(handle, link); result != 0)
        return result;
    Bytes request;
    if (!inventoryRequest(request, *link, kIsoInventory, false, oneSlot != 0, afiFlag != 0, afi, maskLength, mask))
        return badArgument(handle, status);
    return carrier(handle, kTagCommand, kExtraInventory, request, many(recordCount, records, status));
}

QVL_API int32_t TALU_InventoryCHM(int32_t handle, int32_t fast, int32_t oneSlot, int32_t afiFlag, int32_t afi,
                                  int32_t firstBlock, int32_t blockCount, int32_t option, int32_t maskLength,
                                  const uint8_t* mask, uint8_t* recordCount, uint8_t* records, uint8_t* status)
{
    LinkSettings* link = nullptr;
    if (const std::int32_t result = openLink(handle, link); result != 0)
        return result;
    Bytes request;
    if (!inventoryRequest(request, *link, fast != 0 ? kChmFastInventoryRead : kChmInventoryRead, true, oneSlot != 0,
                          afiFlag != 0, afi, maskLength, mask))
        return badArgument(handle, status);
    if (option != 0)
        request[0] |= kFlagOption;
    request.push_back(byte(firstBlock));
    request.push_back(countLessOne(blockCount));
    // The expected length of each tag's answer: flags, [UID], the blocks
    // (modulo 256 whatever the caller's count, as the byte goes out).
    const auto blocks = static_cast<std::uint32_t>(blockCount);
    const auto extra = static_cast<std::uint8_t>((option != 0 ? 8u : 0u) + 4u * blocks + 1u);
    const CarrierFlags flags{false, true, fast != 0, false};
    return carrier(handle, flags, extra, request, many(recordCount, records, status));
}

QVL_API int32_t TALU_StayQuietISO15693(int32_t handle, const uint8_t* uid, uint8_t* status)
{
    // The tag never answers a stay quiet: the carrier does not wait for it.
    return tagCommand(handle, {kIsoStayQuiet}, 0, 0, uid, {}, {Records::None, nullptr, nullptr, nullptr, status},
                      kFlagAddressed, CarrierFlags{});
}

QVL_API int32_t TALU_ReadBlockISO15693(int32_t handle, int32_t block, int32_t mode, const uint8_t* uid,
                                       uint8_t* data, uint8_t* status)
{
    const std::uint8_t params[] = {byte(block)};
    return tagCommand(handle, {kIsoReadBlock}, 0, mode, uid, params, single(data, status));
}

QVL_API int32_t TALU_WriteBlockISO15693(int32_t handle, int32_t block, int32_t byteCount, const uint8_t* bytes,
                                        int32_t option, int32_t mode, const uint8_t* uid, uint8_t* data,
                                        uint8_t* status)
{
    if (byteCount < 0 || byteCount > 255 || (byteCount > 0 && !bytes))
        return badArgument(handle, status);
    Bytes params{byte(block)};
    appendReversed(params, bytes, static_cast<std::size_t>(byteCount));
    return tagCommand(handle, {kIsoWriteBlock, false, true}, option, mode, uid, params, single(data, status));
}

QVL_API int32_t TALU_LockBlockISO15693(int32_t handle, int32_t block, int32_t option, int32_t mode,
                                       const uint8_t* uid, uint8_t* data, uint8_t* status)
{
    const std::uint8_t params[] = {byte(block)};
    return tagCommand(handle, {kIsoLockBlock, false, true}, option, mode, uid, params, single(data, status));
}

QVL_API int32_t TALU_SelectISO15693(int32_t handle, const uint8_t* uid, uint8_t* data, uint8_t* status)
{
    return tagCommand(handle, {kIsoSelect}, 0, 0, uid, {}, single(data, status), kFlagAddressed);
}

QVL_API int32_t TALU_RTReadyISO15693(int32_t handle, int32_t mode, const uint8_t* uid, uint8_t* data,
                                     uint8_t* status)
{
    return tagCommand(handle, {kIsoResetToReady}, 0, mode, uid, {}, single(data, status));
}

QVL_API int32_t TALU_WriteAfiISO15693(int32_t handle, int32_t afi, int32_t option, int32_t mode, const uint8_t* uid,
                                      uint8_t* data, uint8_t* status)
{
    const std::uint8_t params[] = {byte(afi)};
    return tagCommand(handle, {kIsoWriteAfi, false, true}, option, mode, uid, params, single(data, status));
}

QVL_API int32_t TALU_LockAfiISO15693(int32_t handle, int32_t option, int32_t mode, const uint8_t* uid,
                                     uint8_t* data, uint8_t* status)
{
    return tagCommand(handle, {kIsoLockAfi, false, true}, option, mode, uid, {}, single(data, status));
}

QVL_API int32_t TALU_WriteDsfidISO15693(int32_t handle, int32_t dsfid, int32_t option, int32_t mode,
                                        const uint8_t* uid, uint8_t* data, uint8_t* status)
{
    const std::uint8_t params[] = {byte(dsfid)};
    return tagCommand(handle, {kIsoWriteDsfid, false, true}, option, mode, uid, params, single(data, status));
}

QVL_API int32_t TALU_LockDsfidISO15693(int32_t handle, int32_t option, int32_t mode, const uint8_t* uid,
                                       uint8_t* data, uint8_t* status)
{
    return tagCommand(handle, {kIsoLockDsfid, false, true}, option, mode, uid, {}, single(data, status));
}

QVL_API int32_t TALU_SystemInfoISO15693(int32_t handle, int32_t mode, const uint8_t* uid, uint8_t* data,
                                        uint8_t* status)
{
    return tagCommand(handle, {kIsoSystemInfo}, 0, mode, uid, {}, single(data, status));
}

QVL_API int32_t TALU_BlockStatusISO15693(int32_t handle, int32_t firstBlock, int32_t blockCount, int32_t mode,
                                         const uint8_t* uid, uint8_t* data, uint8_t* status)
{
    const std::uint8_t params[] = {byte(firstBlock), countLessOne(blockCount)};
    return tagCommand(handle, {kIsoBlockStatus}, 0, mode, uid, params, single(data, status));
}

QVL_API int32_t TALU_WriteEasCHM(int32_t handle, int32_t action, int32_t mode, const uint8_t* uid, uint8_t* data,
                                 uint8_t* status)
{
    const std::uint8_t code = action == 0 ? kChmResetEas : action == 2 ? kChmLockEas : kChmSetEas;
    return tagCommand(handle, {code, true, true}, 0, mode, uid, {}, single(data, status));
}

QVL_API int32_t TALU_CheckEasCHM(int32_t handle, int32_t mode, const uint8_t* uid, int32_t* easFlag,
                                 uint8_t* status)
{
    // The alarm answer itself only tells that the tag answered.
    std::uint8_t scratch[TALU_ANSWER_SIZE];
    std::uint8_t got = 0;
    const std::int32_t result =
        tagCommand(handle, {kChmEasAlarm, true}, 0, mode, uid, {}, single(scratch, &got));
    if (result != 0)
        return result;
    if (!(got & kStatusFailed)) {
        if (easFlag)
            *easFlag = 1;
    } else if (got == TALU_STATUS_NO_TAG) {
        // No answer to the alarm: the tag's EAS bit is off.
        got = 0;
        if (easFlag)
            *easFlag = 0;
    }
    storeStatus(status, got);
    return 0;
}

} // extern "C"
