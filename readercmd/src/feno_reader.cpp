// The FENO family's further commands as table rows: reader set-up, clock,
// buzzer, I/O lines, continuous reading, other chip types and the
// keyboard-wedge settings. Each function is one row: command byte, request
// layout, answer pattern (see tables.h). h is the link handle, s the reader
// status byte output.
#include <algorithm>

#include "quorvel_feno_reader.h"
#include "tables.h"

using namespace quorvel::tables;
namespace tables = quorvel::tables;

namespace {

constexpr ParameterCommands kWedge{0x5F, 0x5E, Fill::Cleared};
constexpr std::uint8_t kRestoreWedgeDefaults = 0x53;
constexpr std::uint8_t kWedgeMux = 0x61;
constexpr std::uint8_t kWedgeChipSettings = 0x64;

// The kinds of wedge values: the set argument and read output, how each
// travels. A flag, byte or word goes after the identifier as the request
// builder `add` puts it and is read from the answer's first bytes by `take`.
template <typename Value, typename Output, auto add, auto take>
struct WedgeValue {
    using In = Value;
    using Out = Output*;
    static std::int32_t set(std::int32_t h, std::uint8_t id, In value, std::uint8_t* s)
    {
        return status(h, kWedge.set, (Request().byte(id).*add)(value), s);
    }
    static std::int32_t get(std::int32_t h, std::uint8_t id, Out value, std::uint8_t* s)
    {
        return tables::get(h, kWedge.read, Request().byte(id), s, kWedge.rule,
                           [=](const Fields& f) { (f.*take)(value, 0, 0); });
    }
};

using WedgeFlag = WedgeValue<std::int32_t, std::int32_t, &Request::flag, &Fields::flag>;
using WedgeByte = WedgeValue<std::int32_t, std::uint8_t, &Request::byte, &Fields::byte>;
// 16 bits, high byte first.
using WedgeWord = WedgeValue<std::uint16_t, std::uint16_t, &Request::word, &Fields::word>;

struct WedgeText {
    using In = const char*;
    using Out = char*;
    static std::int32_t set(std::int32_t h, std::uint8_t id, In text, std::uint8_t* s)
    {
        return setText(h, kWedge, id, text, s);
    }
    static std::int32_t get(std::int32_t h, std::uint8_t id, Out text, std::uint8_t* s)
    {
        return getText(h, kWedge, id, text, s);
    }
};

// [A][B] then the items, all 16-bit.
Request muxSequence(Request r, std::uint16_t a, std::uint16_t b, std::uint16_t count, const std::uint16_t* items)
{
    r.word(a).word(b).words(items, count);
    return r;
}

void readFeatures(const Fields& f, FENO_Features* out)
{
    constexpr std::size_t kNeed = 17;     // more than 16 bytes
    constexpr std::size_t kNeedMore = 20; // the last three flags
    FENO_Features r{};
    f.word(&r.word1, 0, kNeed);
    f.bytes(r.bytes1, 2, 3, kNeed);
    for (std::size_t i = 0; i < 3; ++i)
        f.flag(&r.flags1[i], 5 + i, kNeed);
    f.bytes(r.bytes2, 8, 3, kNeed);
    f.word(&r.word2, 11, kNeed);
    for (std::size_t i = 0; i < 4; ++i)
        f.flag(&r.flags2[i], 13 + i, kNeed);
    for (std::size_t i = 0; i < 3; ++i)
        f.flag(&r.flags3[i], 17 + i, kNeedMore);
    Fields::put(out, r);
}

void readMux(const Fields& f, std::uint16_t* a, std::uint16_t* b, std::uint16_t* count, std::uint16_t* items)
{
    f.word(a, 0);
    f.word(b, 2);
    const std::size_t n = f.size() > 4 ? std::min<std::size_t>((f.size() - 4) / 2, FENO_MAX_MUX_ITEMS) : 0;
    for (std::size_t i = 0; i < n && items; ++i)
        f.word(items + i, 4 + 2 * i);
    Fields::put(count, static_cast<std::uint16_t>(n));
}

} // namespace

extern "C" {

// --- Reader set-up --------------------------------------------------------------------------------------------

QVL_API int32_t FENO_SetReaderSpeed(int32_t h, int32_t speed, uint8_t* s)
{
    return status(h, 0x01, Request().byte(speed), s);
}

QVL_API int32_t FENO_SetReaderMode(int32_t h, int32_t mode, uint8_t* s)
{
    return status(h, 0x02, Request().byte(mode), s);
}

QVL_API int32_t FENO_SetReaderAddress(int32_t h, int32_t address, uint8_t* s)
{
    return status(h, 0x03, Request().byte(address), s);
}

QVL_API int32_t FENO_GetReaderAddress(int32_t h, uint8_t* address, uint8_t* s)
{
    return get(h, 0x04, {}, s, Fill::Cleared, [=](const Fields& f) { f.byte(address, 0); });
}

QVL_API int32_t FENO_GetZPXVersion(int32_t h, uint8_t* major, uint8_t* minor, uint8_t* s)
{
    return get(h, 0x05, {}, s, Fill::Cleared, [=](const Fields& f) {
        f.byte(major, 0, 2);
        f.byte(minor, 1, 2);
    });
}

QVL_API int32_t FENO_GetRPUVersion(int32_t h, char* text, uint8_t* byteA, uint8_t* byteB, uint8_t* s)
{
    return get(h, 0x06, {}, s, Fill::Cleared, [=](const Fields& f) {
        f.byte(byteA, 0, 2);
        f.byte(byteB, 1, 2);
        f.text(text, 2);
    });
}

QVL_API int32_t FENO_Beep(int32_t h, uint32_t durationMs, uint32_t value, uint8_t* s)
{
    const auto tenths = static_cast<int32_t>(durationMs / 100 & 0xFF);
    return status(h, 0x08, Request().byte(tenths).byte(static_cast<int32_t>(value / 50 & 0xFF)), s);
}

QVL_API int32_t FENO_SetRTC(int32_t h, int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute,
                            int32_t second, uint8_t* s)
{
    return status(h, 0x09, Request().byte(year).byte(month).byte(day).byte(hour).byte(minute).byte(second), s);
}

QVL_API int32_t FENO_GetRTC(int32_t h, uint8_t* year, uint8_t* month, uint8_t* day, uint8_t* hour, uint8_t* minute,
                            uint8_t* second, uint8_t* s)
{
    return get(h, 0x0A, {}, s, Fill::Cleared, [=](const Fields& f) {
        uint8_t* outs[] = {year, month, day, hour, minute, second};
        for (std::size_t i = 0; i < 6; ++i)
            f.byte(outs[i], i, 6);
    });
}

QVL_API int32_t FENO_SetIODir(int32_t h, int32_t port, int32_t value, uint8_t* s)
{
    return status(h, 0x0B, Request().byte(port).byte(value), s);
}

QVL_API int32_t FENO_SetIO(int32_t h, int32_t port, int32_t value, uint8_t* s)
{
    return status(h, 0x0D, Request().byte(port).byte(value), s);
}

QVL_API int32_t FENO_GetIODir(int32_t h, int32_t port, uint8_t* value, uint8_t* s)
{
    return get(h, 0x0C, Request().byte(port), s, Fill::Cleared, [=](const Fields& f) { f.byte(value, 0); });
}

QVL_API int32_t FENO_GetIO(int32_t h, int32_t port, uint8_t* value, uint8_t* s)
{
    return get(h, 0x0E, Request().byte(port), s, Fill::Cleared, [=](const Fields& f) { f.byte(value, 0); });
}

QVL_API int32_t FENO_SetBandFilter(int32_t h, int32_t value, uint8_t* s)
{
    return status(h, 0x38, Request().byte(value), s);
}

QVL_API int32_t FENO_GetRPUFeatures(int32_t h, FENO_Features* features, uint8_t* s)
{
    return get(h, 0x39, {}, s, Fill::Cleared, [=](const Fields& f) { readFeatures(f, features); });
}

// --- Continuous reading ---------------------------------------------------------------------------------------

QVL_API int32_t FENO_SetCont(int32_t h, int32_t value, uint8_t* s)
{
    return status(h, 0x10, Request().byte(value), s);
}

QVL_API int32_t FENO_SetSort(int32_t h, int32_t value, uint8_t* s)
{
    return status(h, 0x11, Request().byte(value), s);
}

QVL_API int32_t FENO_SetBufLen(int32_t h, int32_t value, uint8_t* s)
{
    return status(h, 0x12, Request().byte(value), s);
}

QVL_API int32_t FENO_SetMux(int32_t h, uint16_t valueA, uint16_t valueB, uint16_t itemCount, const uint16_t* items,
                            uint8_t* s)
{
    return status(h, 0x14, muxSequence({}, valueA, valueB, itemCount, items), s);
}

QVL_API int32_t FENO_SetTrig(int32_t h, int32_t valueA, uint16_t valueB, uint8_t* s)
{
    return status(h, 0x15, Request().byte(valueA).word(valueB), s);
}

QVL_API int32_t FENO_StartRead(int32_t h, int32_t value, uint8_t* s)
{
    return status(h, 0x16, Request().byte(value), s);
}

QVL_API int32_t FENO_StartReadEx(int32_t h, int32_t value, int32_t option1, int32_t option2, int32_t option3,
                                 int32_t option4, int32_t option5, uint8_t* s)
{
    Request r;
    r.byte(value).optional(option1).optional(option2).optional(option3).optional(option4).optional(option5);
    return status(h, 0x16, r, s);
}

QVL_API int32_t FENO_StopRead(int32_t h, uint8_t* s)
{
    return status(h, 0x17, {}, s);
}

QVL_API int32_t FENO_GetTag(int32_t h, int32_t value, uint8_t* length, uint8_t* data, uint8_t* s)
{
    return raw(h, 0x18, Request().byte(value), length, data, s);
}

QVL_API int32_t FENO_GetTagEx(int32_t h, int32_t extended, int32_t* entryCount, uint8_t* entries, uint8_t* s)
{
    return tables::entries(h, 0x18, Request().byte(extended != 0 ? 3 : 2), EntryRule::B, entryCount, entries, s);
}

QVL_API int32_t FENO_CheckOvfl(int32_t h, uint8_t* s)
{
    return status(h, 0x19, {}, s);
}

// --- Other chip types -----------------------------------------------------------------------------------------

QVL_API int32_t FENO_WriteCHB(int32_t h, const uint8_t* valueA, const uint8_t* valueB, uint16_t valueC, int32_t valueD,
                              uint16_t valueE, uint8_t* s)
{
    return status(h, 0x1A, Request().bytes(valueA, 6).bytes(valueB, 6).word(valueC).word(valueE).byte(valueD), s);
}

QVL_API int32_t FENO_EASWriteCHB(int32_t h, int32_t value1, int32_t value2, int32_t value3, uint8_t* s)
{
    return status(h, 0x31, Request().byte(value1).byte(value2).byte(value3), s);
}

QVL_API int32_t FENO_QuietCHB(int32_t h, uint8_t* s)
{
    return status(h, 0x44, {}, s);
}

QVL_API int32_t FENO_CheckPasswordCHD(int32_t h, int32_t selector, const uint8_t* password, int32_t valueA,
                                      uint16_t valueB, uint8_t* s)
{
    return status(h, selector != 0 ? 0x1C : 0x1B, Request().bytes(password, 8).word(valueB).byte(valueA), s);
}

QVL_API int32_t FENO_ReadBlockCHD(int32_t h, int32_t valueA, uint16_t valueB, uint8_t* length, uint8_t* data,
                                  uint8_t* s)
{
    return raw(h, 0x1D, Request().byte(valueA).word(valueB), length, data, s);
}

QVL_API int32_t FENO_WritePageCHD(int32_t h, int32_t valueA, int32_t valueB, const uint8_t* page, int32_t valueC,
                                  uint16_t valueD, uint8_t* s)
{
    return status(h, 0x1E, Request().byte(valueA).byte(valueB).bytes(page, 8).word(valueD).byte(valueC), s);
}

QVL_API int32_t FENO_SetConfigRegCHG(int32_t h, int32_t value, int32_t flag, uint8_t* s)
{
    return status(h, 0x32, Request().byte(value).flag(flag), s);
}

QVL_API int32_t FENO_SetCustomRegCHG(int32_t h, int32_t valueA, int32_t valueB, uint8_t* s)
{
    return status(h, 0x33, Request().byte(valueA).byte(valueB), s);
}

QVL_API int32_t FENO_ResetQuietBitCHG(int32_t h, uint16_t value, uint8_t* s)
{
    return status(h, 0x34, Request().word(value), s);
}

QVL_API int32_t FENO_HaltCHG(int32_t h, int32_t valueA, uint16_t valueB, int32_t* entryCount, uint8_t* entries,
                             uint8_t* s)
{
    return tables::entries(h, 0x35, Request().byte(valueA).word(valueB), EntryRule::C, entryCount, entries, s);
}

QVL_API int32_t FENO_SelectedWriteCHG(int32_t h, int32_t valueA, int32_t valueB, const uint8_t* data, uint16_t valueC,
                                      int32_t* entryCount, uint8_t* entries, uint8_t* s)
{
    return tables::entries(h, 0x36, Request().byte(valueA).byte(valueB).bytes(data, 4).word(valueC), EntryRule::C,
                           entryCount, entries, s);
}

QVL_API int32_t FENO_SelectedReadCHG(int32_t h, int32_t valueA, int32_t valueB, uint16_t valueC, int32_t* entryCount,
                                     uint8_t* entries, uint8_t* s)
{
    return tables::entries(h, 0x37, Request().byte(valueA).byte(valueB).word(valueC), EntryRule::C, entryCount,
                           entries, s);
}

QVL_API int32_t FENO_SetConfigRegEPC(int32_t h, int32_t value, uint8_t* s)
{
    return status(h, 0x3A, Request().byte(value), s);
}

QVL_API int32_t FENO_SetCodeLengthEPC(int32_t h, int32_t value, uint8_t* s)
{
    return status(h, 0x3B, Request().byte(value), s);
}

QVL_API int32_t FENO_WriteBlockEPC(int32_t h, int32_t valueA, int32_t valueB, int32_t flag, uint16_t valueC, uint8_t* s)
{
    return status(h, 0x3C, Request().byte(valueA).byte(valueB).flag(flag).word(valueC), s);
}

QVL_API int32_t FENO_WriteAllBlocksEPC(int32_t h, int32_t byteCount, const uint8_t* data, int32_t flag, uint16_t valueC,
                                       uint8_t* s)
{
    return status(h, 0x3D, Request().counted(data, byteCount).flag(flag).word(valueC), s);
}

QVL_API int32_t FENO_WritePageCHJ(int32_t h, int32_t page, uint16_t valueA, int32_t flag, uint16_t valueB, uint8_t* s)
{
    return status(h, 0x3E, Request().byte(page).word(valueA).flag(flag).word(valueB), s);
}

QVL_API int32_t FENO_WriteMultiPageCHJ(int32_t h, int32_t firstPage, int32_t itemCount, const uint16_t* items,
                                       int32_t flag, uint16_t valueC, uint8_t* s)
{
    return status(h, 0x3F, layout::pages(firstPage, itemCount, items).flag(flag).word(valueC), s);
}

QVL_API int32_t FENO_WriteEASCHJ(int32_t h, int32_t flag1, int32_t flag2, uint16_t valueC, uint8_t* s)
{
    return status(h, 0x40, Request().flag(flag1).flag(flag2).word(valueC), s);
}

QVL_API int32_t FENO_WritePageSecurityCHJ(int32_t h, uint16_t valueA, int32_t flag, uint16_t valueB, uint8_t* s)
{
    return status(h, 0x41, Request().word(valueA).flag(flag).word(valueB), s);
}

// --- Keyboard-wedge settings ----------------------------------------------------------------------------------

QVL_API int32_t FENO_RestoreWedgeDefaults(int32_t h, uint8_t* s)
{
    return status(h, kWedge.set, Request().byte(kRestoreWedgeDefaults), s);
}

// One setting: FENO_SetWedge<name> and FENO_GetWedge<name>, its identifier and the kind of its value.
#define WEDGE_SETTING(id, name, Kind)                                           \
    QVL_API int32_t FENO_SetWedge##name(int32_t h, Kind::In value, uint8_t* s)  \
    {                                                                           \
        return Kind::set(h, id, value, s);                                      \
    }                                                                           \
    QVL_API int32_t FENO_GetWedge##name(int32_t h, Kind::Out value, uint8_t* s) \
    {                                                                           \
        return Kind::get(h, id, value, s);                                      \
    }

WEDGE_SETTING(0x01, SendHeader, WedgeFlag)
WEDGE_SETTING(0x02, Header, WedgeText)
WEDGE_SETTING(0x03, SendAntenna, WedgeFlag)
WEDGE_SETTING(0x04, PostAntenna, WedgeText)
WEDGE_SETTING(0x05, SendTagID, WedgeFlag)
WEDGE_SETTING(0x06, TagIDLen, WedgeByte)
WEDGE_SETTING(0x07, SendCS, WedgeFlag)
WEDGE_SETTING(0x08, SendTrailer, WedgeFlag)
WEDGE_SETTING(0x09, Trailer, WedgeText)
WEDGE_SETTING(0x10, SortDepth, WedgeByte)
WEDGE_SETTING(0x11, SortTimeout, WedgeByte)
WEDGE_SETTING(0x12, SortIgnoreAntenna, WedgeFlag)
WEDGE_SETTING(0x20, TriggerMode, WedgeByte)
WEDGE_SETTING(0x21, TriggerSendAfter, WedgeFlag)
WEDGE_SETTING(0x22, TriggerSendNoTag, WedgeFlag)
WEDGE_SETTING(0x23, TriggerNoTagChar, WedgeByte)
WEDGE_SETTING(0x24, TriggerTagOutputDelay, WedgeByte)
WEDGE_SETTING(0x25, TriggerNoTagOutputDelay, WedgeByte)
WEDGE_SETTING(0x26, TriggerClearSort, WedgeFlag)
WEDGE_SETTING(0x30, Baudrate, WedgeByte)
WEDGE_SETTING(0x40, WatchdogDelay, WedgeByte)
WEDGE_SETTING(0x41, Watchdog, WedgeText)
WEDGE_SETTING(0x50, Activation, WedgeByte)
WEDGE_SETTING(0x60, Power, WedgeWord)
WEDGE_SETTING(0x62, Channel, WedgeByte)
WEDGE_SETTING(0x63, Chip, WedgeByte)
WEDGE_SETTING(0x65, BandFilter, WedgeFlag)

#undef WEDGE_SETTING

QVL_API int32_t FENO_SetWedgeMux(int32_t h, uint16_t valueA, uint16_t valueB, uint16_t itemCount, const uint16_t* items,
                                 uint8_t* s)
{
    return status(h, kWedge.set, muxSequence(Request().byte(kWedgeMux), valueA, valueB, itemCount, items), s);
}

QVL_API int32_t FENO_GetWedgeMux(int32_t h, uint16_t* valueA, uint16_t* valueB, uint16_t* itemCount, uint16_t* items,
                                 uint8_t* s)
{
    return get(h, kWedge.read, Request().byte(kWedgeMux), s, kWedge.rule,
               [=](const Fields& f) { readMux(f, valueA, valueB, itemCount, items); });
}

QVL_API int32_t FENO_SetWedgeChipSettings(int32_t h, int32_t selectorA, int32_t selectorB, int32_t value, uint8_t* s)
{
    return status(h, kWedge.set, Request().byte(kWedgeChipSettings).byte(selectorA).byte(selectorB).byte(value), s);
}

QVL_API int32_t FENO_GetWedgeChipSettings(int32_t h, int32_t selectorA, int32_t selectorB, uint8_t* value, uint8_t* s)
{
    return get(h, kWedge.read, Request().byte(kWedgeChipSettings).byte(selectorA).byte(selectorB), s, kWedge.rule,
               [=](const Fields& f) { f.byte(value, 0); });
}

} // extern "C"
