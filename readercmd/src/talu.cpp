// TALU readers: the automatic inventory, the ISO carrier and the ISO 15693
// tag commands built on it, as table rows over the command engine (tables.h):
// the records of many tags under kTaluRecords, one tag's response under
// kTaluAnswer. h is the link handle, s the reader status byte output.
//
// A tag command is an ISO 15693 request as the air carries it (iso::header);
// the carrier puts a control byte before it and sometimes an extra byte after it.

#include "exchange.h"
#include "iso15693.h"
#include "quorvel_talu.h"
#include "tables.h"

using namespace quorvel;
using namespace quorvel::tables;

namespace {

// Reader commands.
constexpr std::uint8_t kRfOn = 0x0C;
constexpr std::uint8_t kRfOff = 0x0D;
constexpr std::uint8_t kAutoInventory = 0x20;
constexpr std::uint8_t kCarrier = 0x21;
constexpr std::uint8_t kFeatures = 0x61;

// Extra bytes the carrier gets: for write-alike requests with the option
// flag, and for the plain inventory.
constexpr std::uint8_t kExtraWriteAlike = 63;
constexpr std::uint8_t kExtraInventory = 10;

static_assert(kTaluRecords.slotSize == TALU_RECORD_SIZE && kTaluAnswer.slotSize == TALU_ANSWER_SIZE);
static_assert(TALU_STATUS_BAD_ARGUMENT == QVL_STATUS_BAD_ARGUMENT && TALU_STATUS_NO_TAG == QVL_STATUS_NO_TAG);

// The four carrier flag arguments: control bits 0x80, 0x04, 0x40, 0x08.
struct CarrierFlags {
    bool flag1 = false;
    bool flag2 = false;
    bool flag3 = false;
    bool flag4 = false;
};

// How a tag command goes through the carrier.
//                                 flag 1  flag 2  flag 3  flag 4
constexpr CarrierFlags kAnswered{  false,  true,   false,  false}; // the reader waits for the tag's answer
constexpr CarrierFlags kWritten{   false,  true,   false,  true};  // write-alike: extra byte 63 after an option
constexpr CarrierFlags kUnanswered{false,  false,  false,  false}; // stay quiet, which no tag answers

// One ISO 15693 (or CHM) tag command through the carrier.
struct TagCommand {
    std::uint8_t code;
    bool custom;          // a CHM command: the manufacturer code follows the command code
    CarrierFlags carried; // kWritten: the option sets flag 0x40
};

//                                        ISO command code          custom  carried
constexpr TagCommand kStayQuiet{          ISO15693_STAY_QUIET,      false,  kUnanswered};
constexpr TagCommand kReadBlock{          ISO15693_READ_BLOCK,      false,  kAnswered};
constexpr TagCommand kWriteBlock{         ISO15693_WRITE_BLOCK,     false,  kWritten};
constexpr TagCommand kLockBlock{          ISO15693_LOCK_BLOCK,      false,  kWritten};
constexpr TagCommand kSelect{             ISO15693_SELECT,          false,  kAnswered};
constexpr TagCommand kResetToReady{       ISO15693_RESET_TO_READY,  false,  kAnswered};
constexpr TagCommand kWriteAfi{           ISO15693_WRITE_AFI,       false,  kWritten};
constexpr TagCommand kLockAfi{            ISO15693_LOCK_AFI,        false,  kWritten};
constexpr TagCommand kWriteDsfid{         ISO15693_WRITE_DSFID,     false,  kWritten};
constexpr TagCommand kLockDsfid{          ISO15693_LOCK_DSFID,      false,  kWritten};
constexpr TagCommand kSystemInfo{         ISO15693_SYSTEM_INFO,     false,  kAnswered};
constexpr TagCommand kBlockSecurity{      ISO15693_BLOCK_SECURITY,  false,  kAnswered};
constexpr TagCommand kSetEas{             ISO15693_CHM_SET_EAS,     true,   kWritten};
constexpr TagCommand kResetEas{           ISO15693_CHM_RESET_EAS,   true,   kWritten};
constexpr TagCommand kLockEas{            ISO15693_CHM_LOCK_EAS,    true,   kWritten};
constexpr TagCommand kEasAlarm{           ISO15693_CHM_EAS_ALARM,   true,   kAnswered};

constexpr std::int32_t kAddressed = 2; // the addressing mode of the commands that always address their tag

// Control bits 0x01 and 0x02: the link's uplink values.
std::uint8_t uplinkBits(const LinkSettings& link)
{
    return (link.taluUplink[0] != 0 ? 0x01 : 0x00) | (link.taluUplink[1] != 0 ? 0x02 : 0x00);
}

// Request flag 0x02 (high data rate) while the link's downlink value is 1.
std::uint8_t dataRateFlag(const LinkSettings* link)
{
    return link && link->taluDownlink == 1 ? ISO15693_FLAG_HIGH_RATE : 0;
}

// The carrier's data: [control][request][the extra byte when its rule
// applies]. Without a link nothing can be built: the handle check answers.
Request carrierData(const LinkSettings* link, CarrierFlags flags, std::uint8_t extra, const Request& request)
{
    Request r;
    if (!link)
        return r.require(false);
    const std::uint8_t control = uplinkBits(*link) | (flags.flag1 ? 0x80 : 0x00) | (flags.flag3 ? 0x40 : 0x00) |
                                 (flags.flag4 ? 0x08 : 0x00) | (flags.flag2 ? 0x04 : 0x00);
    const std::uint8_t requestFlags = request.data().empty() ? 0 : request.data()[0];
    const bool inventory = requestFlags & ISO15693_FLAG_INVENTORY;
    const bool withExtra = flags.flag4 ? !inventory && (requestFlags & ISO15693_FLAG_OPTION)
                                       : inventory && (link->taluUplink[0] == 1 || link->taluUplink[1] == 1);
    return r.byte(control).then(request).byteIf(withExtra, extra);
}

// A tag command's carrier data: request flags from the link's downlink, the
// addressing mode and (write-alike commands) a non-zero option.
Request tag(std::int32_t h, const TagCommand& command, std::int32_t mode, const std::uint8_t* uid,
            const Request& params = {}, std::int32_t option = 0)
{
    const LinkSettings* link = linkSettings(h);
    const bool written = command.carried.flag4;
    const std::uint8_t flags =
        dataRateFlag(link) | iso::modeFlag(mode) | (written && option != 0 ? ISO15693_FLAG_OPTION : 0);
    Request request;
    iso::header(request, flags, command.code, command.custom, uid).then(params);
    return carrierData(link, command.carried, kExtraWriteAlike, request);
}

// Inventory requests: [flags, with the AFI, one-slot and option bits][code]
// [manufacturer code][AFI][mask length][mask reversed].
Request inventory(const LinkSettings* link, std::uint8_t code, bool custom, bool oneSlot, bool afiFlag,
                  std::int32_t afi, std::int32_t maskLength, const std::uint8_t* mask, bool option = false)
{
    const std::uint8_t flags = dataRateFlag(link) | ISO15693_FLAG_INVENTORY | (afiFlag ? ISO15693_FLAG_AFI : 0) |
                               (oneSlot ? ISO15693_FLAG_ONE_SLOT : 0) | (option ? ISO15693_FLAG_OPTION : 0);
    Request r;
    r.byte(flags).byte(code).byteIf(custom, ISO15693_CHM_MANUFACTURER).byteIf(afiFlag, afi);
    return iso::mask(r.require(maskLength >= 0 && maskLength <= 255), static_cast<std::uint8_t>(maskLength), mask);
}

// The control byte of the automatic inventories: the link's values and the AFI flag.
std::uint8_t autoControl(const LinkSettings& link, bool afiFlag)
{
    return uplinkBits(link) | (link.taluDownlink != 0 ? 0x04 : 0x00) | (afiFlag ? 0x10 : 0x00);
}

// [control][parameter][AFI]: the automatic inventories' data up to their own parameters.
Request autoInventory(const LinkSettings* link, std::uint8_t control, std::int32_t afiFlag, std::int32_t afi,
                      std::int32_t parameter)
{
    Request r;
    if (!link)
        return r.require(false);
    return r.byte(autoControl(*link, afiFlag != 0) | control).byte(parameter).byteIf(afiFlag != 0, afi);
}

// The records of many tags, or one tag's response.
std::int32_t many(std::int32_t h, std::uint8_t command, const Request& data, std::uint8_t* count,
                  std::uint8_t* records, std::uint8_t* s)
{
    return tables::records(h, command, data, kTaluRecords, {count, nullptr, records, TALU_MAX_RECORDS}, s);
}

std::int32_t single(std::int32_t h, const Request& data, std::uint8_t* out, std::uint8_t* s)
{
    return response(h, kCarrier, data, kTaluAnswer, nullptr, out, s);
}

} // namespace

extern "C" {

// --- Link values kept here: nothing is sent --------------------------------------------------------------------

QVL_API int32_t TALU_SetUplinkISO15693(int32_t h, int32_t value1, int32_t value2)
{
    return keptSetting(h, [=](LinkSettings& link) { link.taluUplink = {value1, value2}; });
}

QVL_API int32_t TALU_GetUplinkISO15693(int32_t h, int32_t* value1, int32_t* value2)
{
    return keptSetting(h, [=](const LinkSettings& link) {
        Fields::put(value1, link.taluUplink[0]);
        Fields::put(value2, link.taluUplink[1]);
    });
}

QVL_API int32_t TALU_SetDownlinkISO15693(int32_t h, int32_t value)
{
    return keptSetting(h, [=](LinkSettings& link) { link.taluDownlink = value; });
}

QVL_API int32_t TALU_GetDownlinkISO15693(int32_t h, int32_t* value)
{
    return keptSetting(h, [=](const LinkSettings& link) { Fields::put(value, link.taluDownlink); });
}

// --- Reader commands ------------------------------------------------------------------------------------------

QVL_API int32_t TALU_GenericCommandISO15693(int32_t h, int32_t flag1, int32_t flag2, int32_t flag3, int32_t flag4,
                                            int32_t extraByte, uint8_t requestLength, const uint8_t* request,
                                            uint8_t* recordCount, uint8_t* records, uint8_t* s)
{
    const CarrierFlags flags{flag1 != 0, flag2 != 0, flag3 != 0, flag4 != 0};
    return many(h, kCarrier,
                carrierData(linkSettings(h), flags, static_cast<std::uint8_t>(extraByte),
                            Request().bytes(request, requestLength)),
                recordCount, records, s);
}

QVL_API int32_t TALU_AutoInventoryISO15693(int32_t h, int32_t flagA, int32_t afiFlag, int32_t afi, int32_t parameter,
                                           uint8_t* recordCount, uint8_t* records, uint8_t* s)
{
    const std::uint8_t control = flagA != 0 ? 0x80 : 0x00;
    return many(h, kAutoInventory, autoInventory(linkSettings(h), control, afiFlag, afi, parameter), recordCount,
                records, s);
}

QVL_API int32_t TALU_AutoInventoryCHM(int32_t h, int32_t flagA, int32_t option, int32_t afiFlag, int32_t afi,
                                      int32_t firstBlock, int32_t blockCount, int32_t parameter, uint8_t* recordCount,
                                      uint8_t* records, uint8_t* s)
{
    const std::uint8_t control = (flagA != 0 ? 0xA0 : 0x20) | (option != 0 ? 0x40 : 0x00);
    return many(h, kAutoInventory,
                autoInventory(linkSettings(h), control, afiFlag, afi, parameter)
                    .byte(firstBlock)
                    .byte(countLessOne(blockCount)),
                recordCount, records, s);
}

QVL_API int32_t TALU_SetRf(int32_t h, int32_t on, uint8_t* s)
{
    return status(h, on != 0 ? kRfOn : kRfOff, {}, s);
}

QVL_API int32_t TALU_GetFeatures(int32_t h, TALU_Features* features, uint8_t* s)
{
    return getPlain(h, kFeatures, {}, s, Fill::ClearedIfOk, [=](const Fields& f) {
        if (!features || !f.has(3))
            return;
        const auto bytes = f.data();
        features->byte0 = bytes[0];
        features->byte1 = bytes[1];
        // The reader reports its features active low.
        for (int i = 0; i < 8; ++i)
            features->flags[i] = (bytes[2] >> i) & 1 ? 0 : 1;
    });
}

// --- Inventories through the carrier --------------------------------------------------------------------------

QVL_API int32_t TALU_InventoryISO15693(int32_t h, int32_t oneSlot, int32_t afiFlag, int32_t afi, int32_t maskLength,
                                       const uint8_t* mask, uint8_t* recordCount, uint8_t* records, uint8_t* s)
{
    const LinkSettings* link = linkSettings(h);
    const Request request =
        inventory(link, ISO15693_INVENTORY, false, oneSlot != 0, afiFlag != 0, afi, maskLength, mask);
    return many(h, kCarrier, carrierData(link, kAnswered, kExtraInventory, request), recordCount, records, s);
}

QVL_API int32_t TALU_InventoryCHM(int32_t h, int32_t fast, int32_t oneSlot, int32_t afiFlag, int32_t afi,
                                  int32_t firstBlock, int32_t blockCount, int32_t option, int32_t maskLength,
                                  const uint8_t* mask, uint8_t* recordCount, uint8_t* records, uint8_t* s)
{
    const LinkSettings* link = linkSettings(h);
    const std::uint8_t code = fast != 0 ? ISO15693_CHM_FAST_INVENTORY_READ : ISO15693_CHM_INVENTORY_READ;
    Request request = inventory(link, code, true, oneSlot != 0, afiFlag != 0, afi, maskLength, mask, option != 0);
    request.byte(firstBlock).byte(countLessOne(blockCount));
    // The expected length of each tag's answer: flags, [UID], the blocks
    // (modulo 256 whatever the caller's count, as the byte goes out).
    const auto blocks = static_cast<std::uint32_t>(blockCount);
    const auto extra = static_cast<std::uint8_t>((option != 0 ? 8u : 0u) + 4u * blocks + 1u);
    const CarrierFlags flags{false, true, fast != 0, false};
    return many(h, kCarrier, carrierData(link, flags, extra, request), recordCount, records, s);
}

// --- Tag commands: one tag's response -------------------------------------------------------------------------

QVL_API int32_t TALU_StayQuietISO15693(int32_t h, const uint8_t* uid, uint8_t* s)
{
    // The tag never answers a stay quiet: the carrier does not wait for it.
    return status(h, kCarrier, tag(h, kStayQuiet, kAddressed, uid), s);
}

QVL_API int32_t TALU_ReadBlockISO15693(int32_t h, int32_t block, int32_t mode, const uint8_t* uid, uint8_t* data,
                                       uint8_t* s)
{
    return single(h, tag(h, kReadBlock, mode, uid, Request().byte(block)), data, s);
}

QVL_API int32_t TALU_WriteBlockISO15693(int32_t h, int32_t block, int32_t byteCount, const uint8_t* bytes,
                                        int32_t option, int32_t mode, const uint8_t* uid, uint8_t* data, uint8_t* s)
{
    return single(h, tag(h, kWriteBlock, mode, uid, Request().byte(block).reversed(bytes, byteCount), option), data,
                  s);
}

QVL_API int32_t TALU_LockBlockISO15693(int32_t h, int32_t block, int32_t option, int32_t mode, const uint8_t* uid,
                                       uint8_t* data, uint8_t* s)
{
    return single(h, tag(h, kLockBlock, mode, uid, Request().byte(block), option), data, s);
}

QVL_API int32_t TALU_SelectISO15693(int32_t h, const uint8_t* uid, uint8_t* data, uint8_t* s)
{
    return single(h, tag(h, kSelect, kAddressed, uid), data, s);
}

QVL_API int32_t TALU_RTReadyISO15693(int32_t h, int32_t mode, const uint8_t* uid, uint8_t* data, uint8_t* s)
{
    return single(h, tag(h, kResetToReady, mode, uid), data, s);
}

QVL_API int32_t TALU_WriteAfiISO15693(int32_t h, int32_t afi, int32_t option, int32_t mode, const uint8_t* uid,
                                      uint8_t* data, uint8_t* s)
{
    return single(h, tag(h, kWriteAfi, mode, uid, Request().byte(afi), option), data, s);
}

QVL_API int32_t TALU_LockAfiISO15693(int32_t h, int32_t option, int32_t mode, const uint8_t* uid, uint8_t* data,
                                     uint8_t* s)
{
    return single(h, tag(h, kLockAfi, mode, uid, {}, option), data, s);
}

QVL_API int32_t TALU_WriteDsfidISO15693(int32_t h, int32_t dsfid, int32_t option, int32_t mode, const uint8_t* uid,
                                        uint8_t* data, uint8_t* s)
{
    return single(h, tag(h, kWriteDsfid, mode, uid, Request().byte(dsfid), option), data, s);
}

QVL_API int32_t TALU_LockDsfidISO15693(int32_t h, int32_t option, int32_t mode, const uint8_t* uid, uint8_t* data,
                                       uint8_t* s)
{
    return single(h, tag(h, kLockDsfid, mode, uid, {}, option), data, s);
}

QVL_API int32_t TALU_SystemInfoISO15693(int32_t h, int32_t mode, const uint8_t* uid, uint8_t* data, uint8_t* s)
{
    return single(h, tag(h, kSystemInfo, mode, uid), data, s);
}

QVL_API int32_t TALU_BlockStatusISO15693(int32_t h, int32_t firstBlock, int32_t blockCount, int32_t mode,
                                         const uint8_t* uid, uint8_t* data, uint8_t* s)
{
    return single(h, tag(h, kBlockSecurity, mode, uid, Request().byte(firstBlock).byte(countLessOne(blockCount))),
                  data, s);
}

QVL_API int32_t TALU_WriteEasCHM(int32_t h, int32_t action, int32_t mode, const uint8_t* uid, uint8_t* data,
                                 uint8_t* s)
{
    return single(h, tag(h, action == 0 ? kResetEas : action == 2 ? kLockEas : kSetEas, mode, uid), data, s);
}

QVL_API int32_t TALU_CheckEasCHM(int32_t h, int32_t mode, const uint8_t* uid, int32_t* easFlag, uint8_t* s)
{
    // The alarm answer itself only tells that the tag answered.
    std::uint8_t scratch[TALU_ANSWER_SIZE];
    std::uint8_t got = 0;
    if (const std::int32_t result = single(h, tag(h, kEasAlarm, mode, uid), scratch, &got); result != 0)
        return result;
    if (!(got & QVL_STATUS_FAILED_BIT)) {
        Fields::put<std::int32_t>(easFlag, 1);
    } else if (got == QVL_STATUS_NO_TAG) {
        // No answer to the alarm: the tag's EAS bit is off.
        got = 0;
        Fields::put<std::int32_t>(easFlag, 0);
    }
    Fields::put(s, got);
    return 0;
}

} // extern "C"
