// The FENO family's further commands against a scripted reader: the request
// bytes of every row, and how getters, raw answers and entries read answers.
#include <array>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "quorvel.h"
#include "scripted_reader.h"

using namespace tables_test;

namespace {

class FenoReaderCommands : public ScriptedReader {};

const Bytes kPassword = counting(8, 0xA0);
const Bytes kPage = counting(8, 0xB0);
const Bytes kFour = {0xD1, 0xD2, 0xD3, 0xD4};
const std::uint16_t kItems[] = {0x1111, 0x2222, 0xABCD};

TEST_F(FenoReaderCommands, ReaderAndReadingRowsSendTheirRequests)
{
    expectRequests({
        {"speed", [](auto h, auto s) { return FENO_SetReaderSpeed(h, 5, s); }, 0x01, {0x05}},
        {"mode, low 8 bits", [](auto h, auto s) { return FENO_SetReaderMode(h, 0x102, s); }, 0x02, {0x02}},
        {"address", [](auto h, auto s) { return FENO_SetReaderAddress(h, 7, s); }, 0x03, {0x07}},
        {"get address", [](auto h, auto s) { return FENO_GetReaderAddress(h, nullptr, s); }, 0x04, {}},
        {"ZPX version", [](auto h, auto s) { return FENO_GetZPXVersion(h, nullptr, nullptr, s); }, 0x05, {}},
        {"RPU version", [](auto h, auto s) { return FENO_GetRPUVersion(h, nullptr, nullptr, nullptr, s); }, 0x06, {}},
        {"beep 250, 120 sends 2, 2", [](auto h, auto s) { return FENO_Beep(h, 250, 120, s); }, 0x08, {0x02, 0x02}},
        {"beep 25600 ms: low 8 bits of 256", [](auto h, auto s) { return FENO_Beep(h, 25600, 49, s); }, 0x08,
         {0x00, 0x00}},
        {"set clock in argument order", [](auto h, auto s) { return FENO_SetRTC(h, 24, 5, 17, 13, 45, 30, s); },
         0x09, {24, 5, 17, 13, 45, 30}},
        {"get clock",
         [](auto h, auto s) { return FENO_GetRTC(h, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, s); },
         0x0A, {}},
        {"I/O direction", [](auto h, auto s) { return FENO_SetIODir(h, 1, 0xF0, s); }, 0x0B, {0x01, 0xF0}},
        {"get I/O direction", [](auto h, auto s) { return FENO_GetIODir(h, 1, nullptr, s); }, 0x0C, {0x01}},
        {"I/O", [](auto h, auto s) { return FENO_SetIO(h, 2, 0x0F, s); }, 0x0D, {0x02, 0x0F}},
        {"get I/O", [](auto h, auto s) { return FENO_GetIO(h, 2, nullptr, s); }, 0x0E, {0x02}},
        {"continuous", [](auto h, auto s) { return FENO_SetCont(h, 1, s); }, 0x10, {0x01}},
        {"sort", [](auto h, auto s) { return FENO_SetSort(h, 3, s); }, 0x11, {0x03}},
        {"buffer length", [](auto h, auto s) { return FENO_SetBufLen(h, 80, s); }, 0x12, {80}},
        {"mux: A, B and items high byte first",
         [](auto h, auto s) { return FENO_SetMux(h, 0x0102, 0x0304, 3, kItems, s); }, 0x14,
         {0x01, 0x02, 0x03, 0x04, 0x11, 0x11, 0x22, 0x22, 0xAB, 0xCD}},
        {"mux without items", [](auto h, auto s) { return FENO_SetMux(h, 0x0102, 0x0304, 0, nullptr, s); }, 0x14,
         {0x01, 0x02, 0x03, 0x04}},
        {"trigger", [](auto h, auto s) { return FENO_SetTrig(h, 5, 0x1234, s); }, 0x15, {0x05, 0x12, 0x34}},
        {"start read", [](auto h, auto s) { return FENO_StartRead(h, 4, s); }, 0x16, {0x04}},
        {"start read: 5 with 1, -1, 2, -1, -1 sends 5, 1, 2",
         [](auto h, auto s) { return FENO_StartReadEx(h, 5, 1, -1, 2, -1, -1, s); }, 0x16, {0x05, 0x01, 0x02}},
        {"start read without optional values",
         [](auto h, auto s) { return FENO_StartReadEx(h, 5, -1, -1, -1, -1, -1, s); }, 0x16, {0x05}},
        {"start read with every optional value",
         [](auto h, auto s) { return FENO_StartReadEx(h, 5, 1, 2, 3, 0, 0x1FF, s); }, 0x16,
         {0x05, 0x01, 0x02, 0x03, 0x00, 0xFF}},
        {"stop read", [](auto h, auto s) { return FENO_StopRead(h, s); }, 0x17, {}},
        {"get tag", [](auto h, auto s) { return FENO_GetTag(h, 7, nullptr, nullptr, s); }, 0x18, {0x07}},
        {"get tag, extended", [](auto h, auto s) { return FENO_GetTagEx(h, 9, nullptr, nullptr, s); }, 0x18, {0x03}},
        {"get tag, plain", [](auto h, auto s) { return FENO_GetTagEx(h, 0, nullptr, nullptr, s); }, 0x18, {0x02}},
        {"overflow", [](auto h, auto s) { return FENO_CheckOvfl(h, s); }, 0x19, {}},
        {"band filter", [](auto h, auto s) { return FENO_SetBandFilter(h, 1, s); }, 0x38, {0x01}},
        {"features", [](auto h, auto s) { return FENO_GetRPUFeatures(h, nullptr, s); }, 0x39, {}},
    });
}

TEST_F(FenoReaderCommands, ChipRowsSendTheirRequests)
{
    const Bytes a = counting(6, 0x01);
    const Bytes b = counting(6, 0x11);
    const std::uint16_t pages[] = {0xAABB, 0xCCDD};
    expectRequests({
        {"CHB write: [A][B][C][E][D]",
         [&](auto h, auto s) { return FENO_WriteCHB(h, a.data(), b.data(), 0x2122, 0x33, 0x4445, s); }, 0x1A,
         cat({a, b, {0x21, 0x22, 0x44, 0x45, 0x33}})},
        {"CHB EAS", [](auto h, auto s) { return FENO_EASWriteCHB(h, 1, 2, 0x103, s); }, 0x31, {0x01, 0x02, 0x03}},
        {"CHB quiet", [](auto h, auto s) { return FENO_QuietCHB(h, s); }, 0x44, {}},
        {"CHD password, selector 1: [password][B][A]",
         [](auto h, auto s) { return FENO_CheckPasswordCHD(h, 1, kPassword.data(), 0x55, 0x6677, s); }, 0x1C,
         cat({kPassword, {0x66, 0x77, 0x55}})},
        {"CHD password, selector 0",
         [](auto h, auto s) { return FENO_CheckPasswordCHD(h, 0, kPassword.data(), 0x55, 0x6677, s); }, 0x1B,
         cat({kPassword, {0x66, 0x77, 0x55}})},
        {"CHD read", [](auto h, auto s) { return FENO_ReadBlockCHD(h, 0x12, 0x3456, nullptr, nullptr, s); }, 0x1D,
         {0x12, 0x34, 0x56}},
        {"CHD write page: [A][B][page][D][C]",
         [](auto h, auto s) { return FENO_WritePageCHD(h, 1, 2, kPage.data(), 0x33, 0x4455, s); }, 0x1E,
         cat({{0x01, 0x02}, kPage, {0x44, 0x55, 0x33}})},
        {"CHG config register", [](auto h, auto s) { return FENO_SetConfigRegCHG(h, 0x12, 5, s); }, 0x32,
         {0x12, 0x01}},
        {"CHG custom register", [](auto h, auto s) { return FENO_SetCustomRegCHG(h, 1, 2, s); }, 0x33, {0x01, 0x02}},
        {"CHG reset quiet bit", [](auto h, auto s) { return FENO_ResetQuietBitCHG(h, 0xBEEF, s); }, 0x34,
         {0xBE, 0xEF}},
        {"CHG halt", [](auto h, auto s) { return FENO_HaltCHG(h, 1, 0x0203, nullptr, nullptr, s); }, 0x35,
         {0x01, 0x02, 0x03}},
        {"CHG selected write",
         [](auto h, auto s) { return FENO_SelectedWriteCHG(h, 1, 2, kFour.data(), 0x0A0B, nullptr, nullptr, s); },
         0x36, cat({{0x01, 0x02}, kFour, {0x0A, 0x0B}})},
        {"CHG selected read", [](auto h, auto s) { return FENO_SelectedReadCHG(h, 1, 2, 0x0304, nullptr, nullptr, s); },
         0x37, {0x01, 0x02, 0x03, 0x04}},
        {"EPC config register", [](auto h, auto s) { return FENO_SetConfigRegEPC(h, 9, s); }, 0x3A, {0x09}},
        {"EPC code length", [](auto h, auto s) { return FENO_SetCodeLengthEPC(h, 96, s); }, 0x3B, {96}},
        {"EPC write block", [](auto h, auto s) { return FENO_WriteBlockEPC(h, 1, 2, 7, 0x0304, s); }, 0x3C,
         {0x01, 0x02, 0x01, 0x03, 0x04}},
        {"EPC write all blocks: n + 3 bytes",
         [](auto h, auto s) { return FENO_WriteAllBlocksEPC(h, 4, kFour.data(), 0, 0x0506, s); }, 0x3D,
         cat({kFour, {0x00, 0x05, 0x06}})},
        {"CHJ write page", [](auto h, auto s) { return FENO_WritePageCHJ(h, 3, 0x1122, 1, 0x3344, s); }, 0x3E,
         {0x03, 0x11, 0x22, 0x01, 0x33, 0x44}},
        {"CHJ write pages",
         [&](auto h, auto s) { return FENO_WriteMultiPageCHJ(h, 2, 2, pages, 0, 0x0102, s); }, 0x3F,
         {0x02, 0xAA, 0xBB, 0xCC, 0xDD, 0x00, 0x01, 0x02}},
        {"CHJ EAS", [](auto h, auto s) { return FENO_WriteEASCHJ(h, 1, 0, 0x0506, s); }, 0x40,
         {0x01, 0x00, 0x05, 0x06}},
        {"CHJ page security", [](auto h, auto s) { return FENO_WritePageSecurityCHJ(h, 0x0102, 9, 0x0304, s); }, 0x41,
         {0x01, 0x02, 0x01, 0x03, 0x04}},
    });
}

using SetFlag = std::int32_t (*)(std::int32_t, std::int32_t, std::uint8_t*);
using GetFlag = std::int32_t (*)(std::int32_t, std::int32_t*, std::uint8_t*);
using SetByte = std::int32_t (*)(std::int32_t, std::int32_t, std::uint8_t*);
using GetByte = std::int32_t (*)(std::int32_t, std::uint8_t*, std::uint8_t*);
using SetText = std::int32_t (*)(std::int32_t, const char*, std::uint8_t*);
using GetText = std::int32_t (*)(std::int32_t, char*, std::uint8_t*);

template <typename Set, typename Get>
struct Setting {
    const char* name;
    std::uint8_t id;
    Set set;
    Get get;
};

const Setting<SetFlag, GetFlag> kFlags[] = {
    {"SendHeader", 0x01, FENO_SetWedgeSendHeader, FENO_GetWedgeSendHeader},
    {"SendAntenna", 0x03, FENO_SetWedgeSendAntenna, FENO_GetWedgeSendAntenna},
    {"SendTagID", 0x05, FENO_SetWedgeSendTagID, FENO_GetWedgeSendTagID},
    {"SendCS", 0x07, FENO_SetWedgeSendCS, FENO_GetWedgeSendCS},
    {"SendTrailer", 0x08, FENO_SetWedgeSendTrailer, FENO_GetWedgeSendTrailer},
    {"SortIgnoreAntenna", 0x12, FENO_SetWedgeSortIgnoreAntenna, FENO_GetWedgeSortIgnoreAntenna},
    {"TriggerSendAfter", 0x21, FENO_SetWedgeTriggerSendAfter, FENO_GetWedgeTriggerSendAfter},
    {"TriggerSendNoTag", 0x22, FENO_SetWedgeTriggerSendNoTag, FENO_GetWedgeTriggerSendNoTag},
    {"TriggerClearSort", 0x26, FENO_SetWedgeTriggerClearSort, FENO_GetWedgeTriggerClearSort},
    {"BandFilter", 0x65, FENO_SetWedgeBandFilter, FENO_GetWedgeBandFilter},
};
const Setting<SetByte, GetByte> kBytes[] = {
    {"TagIDLen", 0x06, FENO_SetWedgeTagIDLen, FENO_GetWedgeTagIDLen},
    {"SortDepth", 0x10, FENO_SetWedgeSortDepth, FENO_GetWedgeSortDepth},
    {"SortTimeout", 0x11, FENO_SetWedgeSortTimeout, FENO_GetWedgeSortTimeout},
    {"TriggerMode", 0x20, FENO_SetWedgeTriggerMode, FENO_GetWedgeTriggerMode},
    {"TriggerNoTagChar", 0x23, FENO_SetWedgeTriggerNoTagChar, FENO_GetWedgeTriggerNoTagChar},
    {"TriggerTagOutputDelay", 0x24, FENO_SetWedgeTriggerTagOutputDelay, FENO_GetWedgeTriggerTagOutputDelay},
    {"TriggerNoTagOutputDelay", 0x25, FENO_SetWedgeTriggerNoTagOutputDelay, FENO_GetWedgeTriggerNoTagOutputDelay},
    {"Baudrate", 0x30, FENO_SetWedgeBaudrate, FENO_GetWedgeBaudrate},
    {"WatchdogDelay", 0x40, FENO_SetWedgeWatchdogDelay, FENO_GetWedgeWatchdogDelay},
    {"Activation", 0x50, FENO_SetWedgeActivation, FENO_GetWedgeActivation},
    {"Channel", 0x62, FENO_SetWedgeChannel, FENO_GetWedgeChannel},
    {"Chip", 0x63, FENO_SetWedgeChip, FENO_GetWedgeChip},
};
const Setting<SetText, GetText> kTexts[] = {
    {"Header", 0x02, FENO_SetWedgeHeader, FENO_GetWedgeHeader},
    {"PostAntenna", 0x04, FENO_SetWedgePostAntenna, FENO_GetWedgePostAntenna},
    {"Trailer", 0x09, FENO_SetWedgeTrailer, FENO_GetWedgeTrailer},
    {"Watchdog", 0x41, FENO_SetWedgeWatchdog, FENO_GetWedgeWatchdog},
};

TEST_F(FenoReaderCommands, WedgeSettingsSetWithTheirIdentifierAndReadFromDataByteZero)
{
    std::vector<RequestRow> rows;
    for (const auto& w : kFlags) {
        rows.push_back({std::string("set ") + w.name, [w](auto h, auto s) { return w.set(h, 0x100, s); }, 0x5F,
                        {w.id, 0x01}});
        rows.push_back({std::string("clear ") + w.name, [w](auto h, auto s) { return w.set(h, 0, s); }, 0x5F,
                        {w.id, 0x00}});
        rows.push_back({std::string("get ") + w.name, [w](auto h, auto s) { return w.get(h, nullptr, s); }, 0x5E,
                        {w.id}});
    }
    for (const auto& w : kBytes) {
        rows.push_back({std::string("set ") + w.name, [w](auto h, auto s) { return w.set(h, 0x1A5, s); }, 0x5F,
                        {w.id, 0xA5}});
        rows.push_back({std::string("get ") + w.name, [w](auto h, auto s) { return w.get(h, nullptr, s); }, 0x5E,
                        {w.id}});
    }
    for (const auto& w : kTexts) {
        rows.push_back({std::string("set ") + w.name, [w](auto h, auto s) { return w.set(h, "AB", s); }, 0x5F,
                        {w.id, 0x41, 0x42}});
        rows.push_back({std::string("set empty ") + w.name, [w](auto h, auto s) { return w.set(h, "", s); }, 0x5F,
                        {w.id}});
        rows.push_back({std::string("get ") + w.name, [w](auto h, auto s) { return w.get(h, nullptr, s); }, 0x5E,
                        {w.id}});
    }
    rows.push_back({"restore", [](auto h, auto s) { return FENO_RestoreWedgeDefaults(h, s); }, 0x5F, {0x53}});
    rows.push_back(
        {"power", [](auto h, auto s) { return FENO_SetWedgePower(h, 0x012C, s); }, 0x5F, {0x60, 0x01, 0x2C}});
    rows.push_back({"get power", [](auto h, auto s) { return FENO_GetWedgePower(h, nullptr, s); }, 0x5E, {0x60}});
    rows.push_back({"mux", [](auto h, auto s) { return FENO_SetWedgeMux(h, 1, 0x0203, 2, kItems, s); }, 0x5F,
                    {0x61, 0x00, 0x01, 0x02, 0x03, 0x11, 0x11, 0x22, 0x22}});
    rows.push_back({"get mux",
                    [](auto h, auto s) { return FENO_GetWedgeMux(h, nullptr, nullptr, nullptr, nullptr, s); }, 0x5E,
                    {0x61}});
    rows.push_back({"chip settings", [](auto h, auto s) { return FENO_SetWedgeChipSettings(h, 1, 2, 3, s); }, 0x5F,
                    {0x64, 0x01, 0x02, 0x03}});
    rows.push_back({"get chip settings",
                    [](auto h, auto s) { return FENO_GetWedgeChipSettings(h, 1, 2, nullptr, s); }, 0x5E,
                    {0x64, 0x01, 0x02}});
    expectRequests(rows);

    for (const auto& w : kFlags) {
        SCOPED_TRACE(w.name);
        for (const auto& [data, expected] : std::vector<std::pair<Bytes, std::int32_t>>{
                 {{}, 0}, {{0x00}, 0}, {{0x02}, 1}, {{0x01, 0x00}, 1}}) {
            answer(0x00, data);
            std::int32_t on = -1;
            std::uint8_t status = kUnset;
            EXPECT_EQ(w.get(handle(), &on, &status), 0);
            EXPECT_EQ(on, expected);
        }
    }
    for (const auto& w : kBytes) {
        SCOPED_TRACE(w.name);
        answer(0x00, {0x42, 0x43});
        std::uint8_t value = kUnset;
        std::uint8_t status = kUnset;
        EXPECT_EQ(w.get(handle(), &value, &status), 0);
        EXPECT_EQ(value, 0x42);
    }
}

TEST_F(FenoReaderCommands, WedgeTextsComeBackZeroTerminatedAndBounded)
{
    // "AB" as sent and as read back: 2 characters and the zero byte.
    answer(0x00, {0x41, 0x42});
    std::array<char, FENO_TEXT_SIZE + 1> text;
    text.fill('#');
    std::uint8_t status = kUnset;
    EXPECT_EQ(FENO_GetWedgeHeader(handle(), text.data(), &status), 0);
    EXPECT_STREQ(text.data(), "AB");
    EXPECT_EQ(text[3], '#');

    // The longest answer fills the buffer: 254 characters and the zero byte, nothing beyond.
    const Bytes longest(254, 'x');
    answer(0x00, longest);
    text.fill('#');
    EXPECT_EQ(FENO_GetWedgeTrailer(handle(), text.data(), &status), 0);
    EXPECT_EQ(std::strlen(text.data()), 254u);
    EXPECT_EQ(text[255], '#');

    // An answer announced as a block list is read as 255 bytes: still 254 characters at most.
    Bytes list{254};
    list.resize(255, 'y');
    list.push_back(0xFF);
    answer(0x00, list, 0xFF);
    text.fill('#');
    EXPECT_EQ(FENO_GetWedgeHeader(handle(), text.data(), &status), 0);
    EXPECT_EQ(std::strlen(text.data()), 254u);
    EXPECT_EQ(text[255], '#');

    // No answer data: the empty text.
    answer(0x00, {});
    text.fill('#');
    EXPECT_EQ(FENO_GetWedgeWatchdog(handle(), text.data(), &status), 0);
    EXPECT_STREQ(text.data(), "");
}

TEST_F(FenoReaderCommands, WedgePowerMuxAndChipSettingsRead)
{
    std::uint8_t status = kUnset;
    answer(0x00, {0x01, 0x2C});
    std::uint16_t power = 0;
    EXPECT_EQ(FENO_GetWedgePower(handle(), &power, &status), 0);
    EXPECT_EQ(power, 0x012C);
    answer(0x00, {0x01});
    EXPECT_EQ(FENO_GetWedgePower(handle(), &power, &status), 0);
    EXPECT_EQ(power, 0) << "cleared when the answer has only one byte";

    answer(0x00, {0x77});
    std::uint8_t chip = 0;
    EXPECT_EQ(FENO_GetWedgeChipSettings(handle(), 1, 2, &chip, &status), 0);
    EXPECT_EQ(chip, 0x77);

    struct Mux {
        std::uint16_t a = 0xEEEE, b = 0xEEEE, count = 0xEEEE;
        std::array<std::uint16_t, FENO_MAX_MUX_ITEMS + 1> items;
        Mux() { items.fill(0xEEEE); }
        std::int32_t read()
        {
            std::uint8_t s = kUnset;
            return FENO_GetWedgeMux(ScriptedReader::handle(), &a, &b, &count, items.data(), &s);
        }
    };
    {
        SCOPED_TRACE("A, B and two items; an odd byte left over");
        answer(0x00, {0x00, 0x01, 0x02, 0x03, 0x11, 0x11, 0x22, 0x22, 0x99});
        Mux m;
        EXPECT_EQ(m.read(), 0);
        EXPECT_EQ(m.a, 0x0001);
        EXPECT_EQ(m.b, 0x0203);
        EXPECT_EQ(m.count, 2);
        EXPECT_EQ(m.items[0], 0x1111);
        EXPECT_EQ(m.items[1], 0x2222);
        EXPECT_EQ(m.items[2], 0xEEEE);
    }
    {
        SCOPED_TRACE("only A");
        answer(0x00, {0x00, 0x01, 0x02});
        Mux m;
        EXPECT_EQ(m.read(), 0);
        EXPECT_EQ(m.a, 0x0001);
        EXPECT_EQ(m.b, 0);
        EXPECT_EQ(m.count, 0);
    }
    {
        SCOPED_TRACE("the longest answer: FENO_MAX_MUX_ITEMS items, no more");
        answer(0x00, Bytes(254, 0x5A));
        Mux m;
        EXPECT_EQ(m.read(), 0);
        EXPECT_EQ(m.count, FENO_MAX_MUX_ITEMS);
        EXPECT_EQ(m.items[FENO_MAX_MUX_ITEMS - 1], 0x5A5A);
        EXPECT_EQ(m.items[FENO_MAX_MUX_ITEMS], 0xEEEE);
    }
}

TEST_F(FenoReaderCommands, GettersClearTheirOutputsThenFillAsFarAsTheAnswerReaches)
{
    std::uint8_t status = kUnset;
    {
        SCOPED_TRACE("version: both bytes or neither");
        for (const auto& [data, major, minor] : std::vector<std::tuple<Bytes, int, int>>{
                 {{}, 0, 0}, {{0x02}, 0, 0}, {{0x02, 0x01}, 2, 1}, {{0x02, 0x01, 0x09}, 2, 1}}) {
            answer(0x00, data);
            std::uint8_t a = kUnset, b = kUnset;
            EXPECT_EQ(FENO_GetZPXVersion(handle(), &a, &b, &status), 0);
            EXPECT_EQ(a, major);
            EXPECT_EQ(b, minor);
        }
    }
    {
        SCOPED_TRACE("address, whatever the status");
        answer(0x84, {0x09});
        std::uint8_t address = kUnset;
        EXPECT_EQ(FENO_GetReaderAddress(handle(), &address, &status), 0);
        EXPECT_EQ(address, 0x09);
        EXPECT_EQ(status, 0x84);
    }
    {
        SCOPED_TRACE("clock: all six values or none");
        std::array<std::uint8_t, 6> v;
        const auto read = [&] {
            v.fill(kUnset);
            return FENO_GetRTC(handle(), &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &status);
        };
        answer(0x00, {24, 5, 17, 13, 45});
        EXPECT_EQ(read(), 0);
        EXPECT_EQ(v, (std::array<std::uint8_t, 6>{}));
        answer(0x00, {24, 5, 17, 13, 45, 30});
        EXPECT_EQ(read(), 0);
        EXPECT_EQ(v, (std::array<std::uint8_t, 6>{24, 5, 17, 13, 45, 30}));
    }
    {
        SCOPED_TRACE("RPU version as the identification");
        std::array<char, FENO_TEXT_SIZE> text;
        std::uint8_t a = kUnset, b = kUnset;
        text.fill('#');
        answer(0x00, {0x01});
        EXPECT_EQ(FENO_GetRPUVersion(handle(), text.data(), &a, &b, &status), 0);
        EXPECT_STREQ(text.data(), "");
        EXPECT_EQ(a, 0);
        EXPECT_EQ(b, 0);
        answer(0x00, {0x01, 0x21, 'M', 'K', '-', 'A', '1'});
        EXPECT_EQ(FENO_GetRPUVersion(handle(), text.data(), &a, &b, &status), 0);
        EXPECT_STREQ(text.data(), "MK-A1");
        EXPECT_EQ(a, 0x01);
        EXPECT_EQ(b, 0x21);
    }
    {
        SCOPED_TRACE("I/O");
        answer(0x00, {0x3C});
        std::uint8_t value = kUnset;
        EXPECT_EQ(FENO_GetIO(handle(), 1, &value, &status), 0);
        EXPECT_EQ(value, 0x3C);
        answer(0x00, {});
        EXPECT_EQ(FENO_GetIODir(handle(), 1, &value, &status), 0);
        EXPECT_EQ(value, 0);
    }
}

TEST_F(FenoReaderCommands, FeaturesRecordFillsOnlyFromLongEnoughAnswers)
{
    std::uint8_t status = kUnset;
    const Bytes twenty = {0x12, 0x34, 0x0A, 0x0B, 0x0C, 0x01, 0x00, 0x07, 0x1A, 0x1B,
                          0x1C, 0x56, 0x78, 0x00, 0x01, 0x00, 0x02, 0x03, 0x00, 0x04};
    FENO_Features f;
    std::memset(&f, 0xEE, sizeof f);
    answer(0x00, Bytes(twenty.begin(), twenty.begin() + 16));
    EXPECT_EQ(FENO_GetRPUFeatures(handle(), &f, &status), 0);
    FENO_Features zero;
    std::memset(&zero, 0, sizeof zero);
    EXPECT_EQ(std::memcmp(&f, &zero, sizeof f), 0) << "16 bytes: the record is only cleared";

    answer(0x00, Bytes(twenty.begin(), twenty.begin() + 17));
    EXPECT_EQ(FENO_GetRPUFeatures(handle(), &f, &status), 0);
    EXPECT_EQ(f.word1, 0x1234);
    EXPECT_EQ(f.bytes1[0], 0x0A);
    EXPECT_EQ(f.bytes1[2], 0x0C);
    EXPECT_EQ(f.flags1[0], 1);
    EXPECT_EQ(f.flags1[1], 0);
    EXPECT_EQ(f.flags1[2], 1);
    EXPECT_EQ(f.bytes2[0], 0x1A);
    EXPECT_EQ(f.bytes2[2], 0x1C);
    EXPECT_EQ(f.word2, 0x5678);
    EXPECT_EQ(f.flags2[0], 0);
    EXPECT_EQ(f.flags2[1], 1);
    EXPECT_EQ(f.flags2[2], 0);
    EXPECT_EQ(f.flags2[3], 1);
    EXPECT_EQ(f.flags3[0], 0) << "the last flags need 20 bytes";

    answer(0x00, Bytes(twenty.begin(), twenty.begin() + 19));
    EXPECT_EQ(FENO_GetRPUFeatures(handle(), &f, &status), 0);
    EXPECT_EQ(f.word1, 0x1234);
    EXPECT_EQ(f.flags3[0], 0) << "19 bytes are not enough for them either";

    answer(0x00, twenty);
    EXPECT_EQ(FENO_GetRPUFeatures(handle(), &f, &status), 0);
    EXPECT_EQ(f.flags3[0], 1);
    EXPECT_EQ(f.flags3[1], 0);
    EXPECT_EQ(f.flags3[2], 1);
}

// An entry: first byte, length byte d1, four bytes, then its payload.
Bytes entry(std::uint8_t first, std::uint8_t d1, std::size_t payload)
{
    return cat({{first, d1, 0x01, 0x02, 0x03, 0x04}, Bytes(payload, static_cast<std::uint8_t>(0x80 | d1))});
}

struct Entries {
    std::int32_t count = -99;
    std::vector<std::uint8_t> slots = std::vector<std::uint8_t>(FENO_MAX_ENTRIES * FENO_ENTRY_SIZE, kUnset);
    Bytes slot(int i, std::size_t n) const
    {
        const auto at = slots.begin() + i * FENO_ENTRY_SIZE;
        return Bytes(at, at + static_cast<std::ptrdiff_t>(n));
    }
};

TEST_F(FenoReaderCommands, GetTagExCutsEntriesByRuleB)
{
    // Bit 6 of the first byte set: d1 + 6 bytes; clear: 2 * d1 + 6 bytes.
    const Bytes short8 = entry(0x40, 8, 8);
    const Bytes long4 = entry(0x00, 4, 8);
    const Bytes short0 = entry(0x41, 0, 0);
    answer(0x00, cat({short8, long4, short0}));
    Entries e;
    std::uint8_t status = kUnset;
    EXPECT_EQ(FENO_GetTagEx(handle(), 1, &e.count, e.slots.data(), &status), 0);
    EXPECT_EQ(e.count, 3);
    EXPECT_EQ(e.slot(0, 14), short8);
    EXPECT_EQ(e.slot(1, 14), long4);
    EXPECT_EQ(e.slot(2, 6), short0);
    EXPECT_EQ(e.slots[14], kUnset);
    EXPECT_EQ(e.slots[3 * FENO_ENTRY_SIZE], kUnset);

    // Read by the other rule, the same bytes make a different cut.
    answer(0x00, cat({entry(0x00, 8, 16), entry(0x40, 2, 2)}));
    EXPECT_EQ(FENO_GetTagEx(handle(), 0, &e.count, e.slots.data(), &status), 0);
    EXPECT_EQ(e.count, 2);
    EXPECT_EQ(e.slot(1, 8), entry(0x40, 2, 2));
}

TEST_F(FenoReaderCommands, ChgCommandsCutEntriesByRuleC)
{
    std::uint8_t status = kUnset;
    Entries e;
    // 2 * d1 + 6 bytes whatever the first byte.
    answer(QVL_STATUS_NO_TAG, cat({entry(0x40, 4, 8), entry(0x00, 1, 2)}));
    EXPECT_EQ(FENO_HaltCHG(handle(), 1, 2, &e.count, e.slots.data(), &status), 0);
    EXPECT_EQ(e.count, 2);
    EXPECT_EQ(status, QVL_STATUS_NO_TAG);
    EXPECT_EQ(e.slot(0, 14), entry(0x40, 4, 8));
    EXPECT_EQ(e.slot(1, 8), entry(0x00, 1, 2));

    // An entry running past the end of the answer is dropped.
    answer(0x00, cat({entry(0x00, 1, 2), entry(0x00, 9, 10)}));
    e = Entries();
    EXPECT_EQ(FENO_SelectedReadCHG(handle(), 1, 2, 3, &e.count, e.slots.data(), &status), 0);
    EXPECT_EQ(e.count, 1);
    EXPECT_EQ(e.slots[FENO_ENTRY_SIZE], kUnset);

    // The largest entry an answer can hold (d1 = 124: 254 bytes) fits its slot.
    answer(0x00, entry(0x00, 124, 248));
    e = Entries();
    const std::uint8_t four[4] = {};
    EXPECT_EQ(FENO_SelectedWriteCHG(handle(), 1, 2, four, 3, &e.count, e.slots.data(), &status), 0);
    EXPECT_EQ(e.count, 1);
    EXPECT_EQ(e.slot(0, 254), entry(0x00, 124, 248));
    EXPECT_EQ(e.slots[254], kUnset);

    // No answer data: no entries.
    answer(0x00, {});
    EXPECT_EQ(FENO_HaltCHG(handle(), 1, 2, &e.count, e.slots.data(), &status), 0);
    EXPECT_EQ(e.count, 0);
}

TEST_F(FenoReaderCommands, RawAnswersAreBoundedTo255Bytes)
{
    std::uint8_t status = kUnset;
    std::uint8_t length = kUnset;
    std::array<std::uint8_t, 300> data;
    data.fill(kUnset);
    answer(0x81, {0x10, 0x20, 0x30});
    EXPECT_EQ(FENO_ReadBlockCHD(handle(), 1, 2, &length, data.data(), &status), 0);
    EXPECT_EQ(status, 0x81);
    EXPECT_EQ(length, 3);
    EXPECT_EQ(Bytes(data.begin(), data.begin() + 4), (Bytes{0x10, 0x20, 0x30, kUnset}));

    Bytes list;
    for (int block = 0; block < 3; ++block) {
        list.push_back(100);
        list.insert(list.end(), 100, static_cast<std::uint8_t>(block));
    }
    list.push_back(0xFF);
    answer(0x00, list, 0xFF);
    data.fill(kUnset);
    EXPECT_EQ(FENO_GetTag(handle(), 1, &length, data.data(), &status), 0);
    EXPECT_EQ(length, 0xFF);
    EXPECT_EQ(Bytes(data.begin(), data.begin() + 255), Bytes(list.begin(), list.begin() + 255));
    EXPECT_EQ(data[255], kUnset);
}

TEST_F(FenoReaderCommands, ArgumentsThatCannotMakeARequestAreRefused)
{
    const std::string tooLong(255, 'x');
    const std::string longest(254, 'x');
    std::vector<std::uint16_t> many(FENO_MAX_MUX_ITEMS + 1, 0x0101);
    expectRefused({
        {"text longer than a frame", [&](auto h, auto s) { return FENO_SetWedgeHeader(h, tooLong.c_str(), s); }},
        {"no text", [](auto h, auto s) { return FENO_SetWedgeTrailer(h, nullptr, s); }},
        {"mux of 126 items", [&](auto h, auto s) { return FENO_SetMux(h, 1, 2, 126, many.data(), s); }},
        {"wedge mux of 126 items", [&](auto h, auto s) { return FENO_SetWedgeMux(h, 1, 2, 126, many.data(), s); }},
        {"mux items missing", [](auto h, auto s) { return FENO_SetMux(h, 1, 2, 1, nullptr, s); }},
        {"negative byte count", [](auto h, auto s) { return FENO_WriteAllBlocksEPC(h, -1, kFour.data(), 0, 0, s); }},
        {"bytes missing", [](auto h, auto s) { return FENO_WriteAllBlocksEPC(h, 4, nullptr, 0, 0, s); }},
        {"CHB values missing", [](auto h, auto s) { return FENO_WriteCHB(h, nullptr, kPage.data(), 0, 0, 0, s); }},
        {"password missing", [](auto h, auto s) { return FENO_CheckPasswordCHD(h, 1, nullptr, 0, 0, s); }},
        {"page missing", [](auto h, auto s) { return FENO_WritePageCHD(h, 1, 2, nullptr, 0, 0, s); }},
        {"CHG data missing",
         [](auto h, auto s) { return FENO_SelectedWriteCHG(h, 1, 2, nullptr, 0, nullptr, nullptr, s); }},
        {"negative page count",
         [](auto h, auto s) { return FENO_WriteMultiPageCHJ(h, 1, -2, kItems, 0, 0, s); }},
    });
    // The longest text that fits a frame goes out.
    std::uint8_t status = kUnset;
    EXPECT_EQ(sent([&] { return FENO_SetWedgeHeader(handle(), longest.c_str(), &status); }).data.size(), 255u);
    EXPECT_EQ(sent([&] { return FENO_SetMux(handle(), 1, 2, FENO_MAX_MUX_ITEMS, many.data(), &status); }).data.size(),
              254u);
}

TEST_F(FenoReaderCommands, FailedExchangesWriteNoOutput)
{
    ASSERT_EQ(QVL_SetTimeout(handle(), 100), 1);
    silence();
    silence();
    std::uint8_t status = kUnset;
    std::uint8_t address = kUnset;
    std::int32_t count = -99;
    EXPECT_EQ(FENO_GetReaderAddress(handle(), &address, &status), QVL_ERR_TIMEOUT);
    EXPECT_EQ(FENO_GetTagEx(handle(), 1, &count, nullptr, &status), QVL_ERR_TIMEOUT);
    ASSERT_EQ(QVL_SetTimeout(handle(), QVL_DEFAULT_TIMEOUT_MS), 1);

    const std::size_t before = requestCount();
    for (const std::int32_t h : {0, 17, handle() + 1}) {
        EXPECT_EQ(FENO_GetReaderAddress(h, &address, &status), -8);
        EXPECT_EQ(FENO_SetWedgeHeader(h, "x", &status), -8);
        EXPECT_EQ(FENO_WriteAllBlocksEPC(h, -1, nullptr, 0, 0, &status), -8) << "the handle is checked first";
    }
    EXPECT_EQ(requestCount(), before);
    EXPECT_EQ(status, kUnset);
    EXPECT_EQ(address, kUnset);
    EXPECT_EQ(count, -99);
}

} // namespace
