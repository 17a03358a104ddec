// ORBA readers: ISO 15693 requests built here and carried to the tags by the
// reader's ISO carrier command; the tags' answers come back as records
// (kOrbaRecords). Table rows over the command engine (tables.h); h is the
// link handle, s the reader status byte output.

#include "exchange.h"
#include "iso15693.h"
#include "quorvel_orba.h"
#include "tables.h"

using namespace quorvel;
using namespace quorvel::tables;

namespace {

// Reader commands.
constexpr std::uint8_t kRfOn = 0x0C;
constexpr std::uint8_t kRfOff = 0x0D;
constexpr std::uint8_t kCarrier = 0x28;
constexpr std::uint8_t kUplink = 0x29;
constexpr std::uint8_t kTiming = 0x2A;

// Carrier control byte.
constexpr std::uint8_t kWriteAlike = 0x01; // the tag programs its memory before answering
constexpr std::uint8_t kRaw = 0x02;        // the request is complete from its flags byte on

static_assert(kOrbaRecords.slotSize == ORBA_RECORD_SLOT_SIZE);
static_assert(ORBA_STATUS_BAD_ARGUMENT == QVL_STATUS_BAD_ARGUMENT);

std::uint8_t controlByte(bool writeAlike, bool raw, bool flag4, bool flag5, bool flag6)
{
    std::uint8_t control = (writeAlike ? kWriteAlike : 0x00) | (raw ? kRaw : 0x00);
    if (!raw)
        control |= (flag4 ? 0x10 : 0x00) | (flag5 ? 0x20 : 0x00) | (flag6 ? 0x40 : 0x00);
    return control;
}

// Request flags 0x01 and 0x02 from the link's request options A and B.
std::uint8_t linkFlags(std::int32_t h)
{
    const LinkSettings* link = linkSettings(h);
    if (!link)
        return 0;
    return (link->orbaRequestOptionA == 1 ? ISO15693_FLAG_SUBCARRIER : 0) |
           (link->orbaRequestOptionB == 1 ? ISO15693_FLAG_HIGH_RATE : 0);
}

// The carrier data of a tag command up to its parameters: [control][flags]
// [code][UID reversed when addressed]. Plain commands take the addressing
// mode's flag; write-alike ones also the option flag for an option of 1.
Request tag(std::int32_t h, std::uint8_t code, std::int32_t mode, const std::uint8_t* uid)
{
    Request r;
    r.byte(kRaw);
    return iso::header(r, linkFlags(h) | iso::modeFlag(mode), code, false, uid);
}

Request written(std::int32_t h, std::uint8_t code, std::int32_t option, std::int32_t mode, const std::uint8_t* uid)
{
    const std::uint8_t flags = linkFlags(h) | iso::modeFlag(mode) | (option == 1 ? ISO15693_FLAG_OPTION : 0);
    Request r;
    r.byte(kRaw | kWriteAlike);
    return iso::header(r, flags, code, false, uid);
}

// A command that always addresses its tag.
Request addressed(std::int32_t h, std::uint8_t code, const std::uint8_t* uid)
{
    return tag(h, code, 2, uid);
}

// The carrier with all its records, or with record 0 as a single answer.
std::int32_t carried(std::int32_t h, const Request& data, std::uint8_t* count, std::uint8_t* lengths,
                     std::uint8_t* slots, std::uint8_t* s)
{
    return records(h, kCarrier, data, kOrbaRecords, {count, lengths, slots, ORBA_MAX_RECORDS}, s);
}

std::int32_t single(std::int32_t h, const Request& data, std::uint8_t* length, std::uint8_t* out, std::uint8_t* s)
{
    return response(h, kCarrier, data, kOrbaRecords, length, out, s);
}

} // namespace

extern "C" {

// --- The carrier and the inventory ----------------------------------------------------------------------------

QVL_API int32_t ORBA_GenericCommandISO15693(int32_t h, int32_t writeAlike, int32_t rawRequest, int32_t flag4,
                                            int32_t flag5, int32_t flag6, uint8_t requestLength,
                                            const uint8_t* request, uint8_t* recordCount, uint8_t* recordLengths,
                                            uint8_t* records, uint8_t* s)
{
    const std::uint8_t control = controlByte(writeAlike != 0, rawRequest != 0, flag4 != 0, flag5 != 0, flag6 != 0);
    return carried(h, Request().byte(control).bytes(request, requestLength), recordCount, recordLengths, records, s);
}

QVL_API int32_t ORBA_InventoryISO15693(int32_t h, int32_t oneSlot, int32_t afiFlag, int32_t afi, int32_t maskLength,
                                       const uint8_t* mask, uint8_t* recordCount, uint8_t* recordLengths,
                                       uint8_t* records, uint8_t* s)
{
    const std::uint8_t flags = linkFlags(h) | ISO15693_FLAG_INVENTORY | (afiFlag != 0 ? ISO15693_FLAG_AFI : 0) |
                               (oneSlot == 1 ? ISO15693_FLAG_ONE_SLOT : 0);
    Request r;
    r.byte(kRaw).byte(flags).byte(ISO15693_INVENTORY).byteIf(afiFlag != 0, afi);
    return carried(h, iso::mask(r, static_cast<std::uint8_t>(maskLength), mask), recordCount, recordLengths,
                   records, s);
}

// --- Tag commands: record 0 as the single answer --------------------------------------------------------------

QVL_API int32_t ORBA_StayQuietISO15693(int32_t h, const uint8_t* uid, uint8_t* s)
{
    return single(h, addressed(h, ISO15693_STAY_QUIET, uid), nullptr, nullptr, s);
}

QVL_API int32_t ORBA_ReadBlockISO15693(int32_t h, int32_t block, int32_t mode, const uint8_t* uid, uint8_t* length,
                                       uint8_t* data, uint8_t* s)
{
    return single(h, tag(h, ISO15693_READ_BLOCK, mode, uid).byte(block), length, data, s);
}

QVL_API int32_t ORBA_WriteBlockISO15693(int32_t h, int32_t block, int32_t byteCount, const uint8_t* bytes,
                                        int32_t option, int32_t mode, const uint8_t* uid, uint8_t* length,
                                        uint8_t* data, uint8_t* s)
{
    return single(h, written(h, ISO15693_WRITE_BLOCK, option, mode, uid).byte(block).reversed(bytes, byteCount),
                  length, data, s);
}

QVL_API int32_t ORBA_LockBlockISO15693(int32_t h, int32_t block, int32_t option, int32_t mode, const uint8_t* uid,
                                       uint8_t* length, uint8_t* data, uint8_t* s)
{
    return single(h, written(h, ISO15693_LOCK_BLOCK, option, mode, uid).byte(block), length, data, s);
}

QVL_API int32_t ORBA_SelectISO15693(int32_t h, const uint8_t* uid, uint8_t* length, uint8_t* data, uint8_t* s)
{
    return single(h, addressed(h, ISO15693_SELECT, uid), length, data, s);
}

QVL_API int32_t ORBA_RTReadyISO15693(int32_t h, int32_t mode, const uint8_t* uid, uint8_t* length, uint8_t* data,
                                     uint8_t* s)
{
    return single(h, tag(h, ISO15693_RESET_TO_READY, mode, uid), length, data, s);
}

QVL_API int32_t ORBA_WriteAfiISO15693(int32_t h, int32_t afi, int32_t option, int32_t mode, const uint8_t* uid,
                                      uint8_t* length, uint8_t* data, uint8_t* s)
{
    return single(h, written(h, ISO15693_WRITE_AFI, option, mode, uid).byte(afi), length, data, s);
}

QVL_API int32_t ORBA_LockAfiISO15693(int32_t h, int32_t option, int32_t mode, const uint8_t* uid, uint8_t* length,
                                     uint8_t* data, uint8_t* s)
{
    return single(h, written(h, ISO15693_LOCK_AFI, option, mode, uid), length, data, s);
}

QVL_API int32_t ORBA_WriteDsfidISO15693(int32_t h, int32_t dsfid, int32_t option, int32_t mode, const uint8_t* uid,
                                        uint8_t* length, uint8_t* data, uint8_t* s)
{
    return single(h, written(h, ISO15693_WRITE_DSFID, option, mode, uid).byte(dsfid), length, data, s);
}

QVL_API int32_t ORBA_LockDsfidISO15693(int32_t h, int32_t option, int32_t mode, const uint8_t* uid, uint8_t* length,
                                       uint8_t* data, uint8_t* s)
{
    return single(h, written(h, ISO15693_LOCK_DSFID, option, mode, uid), length, data, s);
}

QVL_API int32_t ORBA_SystemInfoISO15693(int32_t h, int32_t mode, const uint8_t* uid, uint8_t* length, uint8_t* data,
                                        uint8_t* s)
{
    return single(h, tag(h, ISO15693_SYSTEM_INFO, mode, uid), length, data, s);
}

QVL_API int32_t ORBA_BlockStatusISO15693(int32_t h, int32_t firstBlock, int32_t blockCount, int32_t mode,
                                         const uint8_t* uid, uint8_t* length, uint8_t* data, uint8_t* s)
{
    return single(h, tag(h, ISO15693_BLOCK_SECURITY, mode, uid).byte(firstBlock).byte(countLessOne(blockCount)),
                  length, data, s);
}

// --- Link settings kept here: nothing is sent, the status is 0 ------------------------------------------------

QVL_API int32_t ORBA_SetDownlinkISO15693(int32_t h, int32_t optionA, int32_t optionB, uint8_t* s)
{
    return keptSetting(h, [=](LinkSettings& link) {
        link.orbaRequestOptionA = optionA;
        link.orbaRequestOptionB = optionB;
        Fields::put<std::uint8_t>(s, 0);
    });
}

QVL_API int32_t ORBA_GetDownlinkISO15693(int32_t h, int32_t* optionA, int32_t* optionB, uint8_t* s)
{
    return keptSetting(h, [=](const LinkSettings& link) {
        Fields::put(optionA, link.orbaRequestOptionA);
        Fields::put(optionB, link.orbaRequestOptionB);
        Fields::put<std::uint8_t>(s, 0);
    });
}

QVL_API int32_t ORBA_SetMemoryMapISO15693(int32_t h, uint16_t valueA, uint16_t valueB, uint8_t* s)
{
    return keptSetting(h, [=](LinkSettings& link) {
        link.orbaMemoryMap = {valueA, valueB};
        Fields::put<std::uint8_t>(s, 0);
    });
}

QVL_API int32_t ORBA_GetMemoryMapISO15693(int32_t h, uint16_t* valueA, uint16_t* valueB, uint8_t* s)
{
    return keptSetting(h, [=](const LinkSettings& link) {
        Fields::put(valueA, link.orbaMemoryMap[0]);
        Fields::put(valueB, link.orbaMemoryMap[1]);
        Fields::put<std::uint8_t>(s, 0);
    });
}

// --- Reader settings ------------------------------------------------------------------------------------------

QVL_API int32_t ORBA_SetUplinkISO15693(int32_t h, int32_t flag1, int32_t flag2, int32_t flag3, uint8_t* s)
{
    const std::uint8_t bits = (flag1 != 0 ? 0x01 : 0x00) | (flag2 != 0 ? 0x02 : 0x00) | (flag3 != 0 ? 0x04 : 0x00);
    return status(h, kUplink, Request().byte(bits), s);
}

QVL_API int32_t ORBA_GetUplinkISO15693(int32_t h, int32_t* flag1, int32_t* flag2, int32_t* flag3, uint8_t* s)
{
    return getPlain(h, kUplink, {}, s, Fill::Cleared, [=](const Fields& f) {
        f.bit(flag1, 0, 0x01);
        f.bit(flag2, 0, 0x02);
        f.bit(flag3, 0, 0x04);
    });
}

QVL_API int32_t ORBA_SetTimingISO15693(int32_t h, int32_t valueA, int32_t valueB, uint8_t* s)
{
    return status(h, kTiming, Request().byte(valueA).byte(valueB), s);
}

QVL_API int32_t ORBA_GetTimingISO15693(int32_t h, uint8_t* valueA, uint8_t* valueB, uint8_t* s)
{
    return getPlain(h, kTiming, {}, s, Fill::Cleared, [=](const Fields& f) {
        f.byte(valueA, 0);
        f.byte(valueB, 1);
    });
}

QVL_API int32_t ORBA_RfOn(int32_t h, uint8_t* s)
{
    return status(h, kRfOn, {}, s);
}

QVL_API int32_t ORBA_RfOff(int32_t h, uint8_t* s)
{
    return status(h, kRfOff, {}, s);
}

} // extern "C"
