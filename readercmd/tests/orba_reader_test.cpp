// The ORBA family's further commands against a scripted reader: the request
// bytes of every row, the answers of the getters and slot outputs, the I/O
// image, the version query and the two-answer RF scan.
#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "quorvel.h"
#include "scripted_reader.h"

using namespace tables_test;

namespace {

class OrbaReaderCommands : public ScriptedReader {};

const Bytes kEight = counting(8, 0xA0);
const Bytes kFour = {0xD1, 0xD2, 0xD3, 0xD4};
const Bytes kFive1 = counting(5, 0x11);
const Bytes kFive2 = counting(5, 0x21);
const std::uint16_t kItems[] = {0xAABB, 0xCCDD};

// An output of slots as the caller's array holds them.
struct Slots {
    std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>((ORBA_MAX_RECORDS + 1) * ORBA_RECORD_SLOT_SIZE, kUnset);
    Bytes slot(std::size_t i, std::size_t n) const
    {
        const auto at = bytes.begin() + static_cast<std::ptrdiff_t>(i * ORBA_RECORD_SLOT_SIZE);
        return Bytes(at, at + static_cast<std::ptrdiff_t>(n));
    }
    std::uint8_t* data() { return bytes.data(); }
};

TEST_F(OrbaReaderCommands, ReaderRowsSendTheirRequests)
{
    const std::uint8_t general[ORBA_STANDALONE_GENERAL_SIZE] = {1, 2, 3, 4, 5, 6, 7};
    std::vector<RequestRow> rows = {
        {"define type", [](auto h, auto s) { return ORBA_DefineType(h, 0x111, nullptr, nullptr, nullptr, nullptr, s); },
         0x00, {0x11}},
        {"board status",
         [](auto h, auto s) { return ORBA_BoardStatus(h, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, s); },
         0x06, {}},
        {"sleep", [](auto h, auto s) { return ORBA_Sleep(h, s); }, 0x0A, {}},
        {"RF control 0", [](auto h, auto s) { return ORBA_RfControl(h, 0, 1, 0, 1, s); }, 0x0C, {0x12}},
        {"RF control 1", [](auto h, auto s) { return ORBA_RfControl(h, 1, 0, 1, 0, s); }, 0x0C, {0x01, 0x01}},
        {"RF service, bit 2 cleared",
         [](auto h, auto s) { return ORBA_RfControl(h, ORBA_RF_SERVICE_CLEAR, 1, 1, 1, s); }, 0x0C,
         {0x13, 0xA5, 0x5A}},
        {"RF service, bit 2 set", [](auto h, auto s) { return ORBA_RfControl(h, ORBA_RF_SERVICE_SET, 0, 0, 0, s); },
         0x0C, {0x04, 0xA5, 0x5A}},
        {"RF control, other selector", [](auto h, auto s) { return ORBA_RfControl(h, 5, 1, 1, 1, s); }, 0x0C, {}},
        {"reset", [](auto h, auto s) { return ORBA_Reset(h, s); }, 0x0F, {}},
        {"address 7 sends 0xFF, 7", [](auto h, auto s) { return ORBA_SetReaderAddress(h, 7, s); }, 0x16, {0xFF, 0x07}},
        {"get address", [](auto h, auto s) { return ORBA_GetReaderAddress(h, nullptr, s); }, 0x16, {}},
        {"mode", [](auto h, auto s) { return ORBA_SetReaderMode(h, 2, s); }, 0x17, {0x02}},
        {"supported functions",
         [](auto h, auto s) { return ORBA_GetSupportedFunctions(h, nullptr, nullptr, nullptr, s); }, 0x61, {}},
        {"flash read", [](auto h, auto s) { return ORBA_FlashRead(h, 0x10, nullptr, s); }, 0x7F, {0xA5, 0x5A, 0x10}},
        {"flash write", [](auto h, auto s) { return ORBA_FlashWrite(h, 0x10, 0x20, s); }, 0x7F,
         {0xA5, 0x5A, 0x10, 0x20}},
        {"standalone general", [&](auto h, auto s) { return ORBA_SetStandaloneGeneral(h, general, s); }, 0x0E,
         {0x00, 1, 2, 3, 4, 5, 6, 7}},
        {"get standalone general", [](auto h, auto s) { return ORBA_GetStandaloneGeneral(h, nullptr, s); }, 0x0E,
         {0x00}},
        {"prefix", [](auto h, auto s) { return ORBA_SetStandalonePrefix(h, "P>", s); }, 0x0E, {0x01, 'P', '>'}},
        {"get prefix", [](auto h, auto s) { return ORBA_GetStandalonePrefix(h, nullptr, s); }, 0x0E, {0x01}},
        {"suffix", [](auto h, auto s) { return ORBA_SetStandaloneSuffix(h, "\r", s); }, 0x0E, {0x08, '\r'}},
        {"get suffix", [](auto h, auto s) { return ORBA_GetStandaloneSuffix(h, nullptr, s); }, 0x0E, {0x08}},
        {"no-read message", [](auto h, auto s) { return ORBA_SetStandaloneNoReadMessage(h, "NR", s); }, 0x0E,
         {0x09, 'N', 'R'}},
        {"get no-read message", [](auto h, auto s) { return ORBA_GetStandaloneNoReadMessage(h, nullptr, s); }, 0x0E,
         {0x09}},
    };
    for (const auto& [type, id] : std::vector<std::pair<int, std::uint8_t>>{
             {7, 0x02}, {8, 0x03}, {32, 0x04}, {33, 0x0A}, {64, 0x05}, {128, 0x06}, {192, 0x07}, {5, 0xFF}}) {
        rows.push_back({"chip description " + std::to_string(type),
                        [type](auto h, auto s) { return ORBA_SetStandaloneChipDescription(h, type, "C", s); }, 0x0E,
                        {id, 'C'}});
        rows.push_back({"get chip description " + std::to_string(type),
                        [type](auto h, auto s) { return ORBA_GetStandaloneChipDescription(h, type, nullptr, s); },
                        0x0E, {id}});
    }
    expectRequests(rows);
}

TEST_F(OrbaReaderCommands, ChipRowsSendTheirRequests)
{
    const std::uint8_t sid[4] = {0x00, 0x00, 0xAB, 0xCD};
    expectRequests({
        {"CHD read page, long", [](auto h, auto s) { return ORBA_ReadPageCHD(h, 1, 5, 2, 9, nullptr, s); }, 0x01,
         {0x52, 0x01}},
        {"CHD read page, short", [](auto h, auto s) { return ORBA_ReadPageCHD(h, 0, 5, 6, 1, nullptr, s); }, 0x01,
         {0x52}},
        {"CHD page 9 keeps 7 bits", [](auto h, auto s) { return ORBA_ReadPageCHD(h, 0, 9, 2, 1, nullptr, s); }, 0x01,
         {0x12}},
        {"CHD password", [](auto h, auto s) { return ORBA_CheckPwdCHD(h, 3, kEight.data(), 1, s); }, 0x02,
         cat({{0x09}, kEight})},
        {"CHD password, no flag", [](auto h, auto s) { return ORBA_CheckPwdCHD(h, 2, kEight.data(), 0, s); }, 0x02,
         cat({{0x00}, kEight})},
        {"CHD write page", [](auto h, auto s) { return ORBA_WritePageCHD(h, 5, 2, kEight.data(), 1, s); }, 0x03,
         cat({{0x5A}, kEight})},
        {"CHD inhibit", [](auto h, auto s) { return ORBA_TempInhCHD(h, kEight.data(), s); }, 0x04, kEight},
        {"CHD default message", [](auto h, auto s) { return ORBA_ReadDefaultMessageCHD(h, 0xFF, 0x0F, nullptr, s); },
         0x12, {0x7F, 0x07}},
        {"TagIt read, addressed",
         [](auto h, auto s) { return ORBA_ReadBlockTagIt(h, 3, 1, kFour.data(), nullptr, nullptr, s); }, 0x18,
         cat({kFour, {0x03}})},
        {"TagIt read", [](auto h, auto s) { return ORBA_ReadBlockTagIt(h, 3, 0, nullptr, nullptr, nullptr, s); }, 0x18,
         {0x03}},
        {"TagIt version, addressed",
         [](auto h, auto s) {
             Bytes id = kFour;
             return ORBA_GetVersionTagIt(h, 1, id.data(), nullptr, nullptr, nullptr, nullptr, s);
         },
         0x19, kFour},
        {"TagIt version",
         [](auto h, auto s) { return ORBA_GetVersionTagIt(h, 0, nullptr, nullptr, nullptr, nullptr, nullptr, s); },
         0x19, {}},
        {"TagIt write, addressed",
         [](auto h, auto s) { return ORBA_WriteBlockTagIt(h, 3, 1, kFour.data(), 0x77, kFour.data(), s); }, 0x1A,
         cat({kFour, {0x03}, kFour, {0x77}})},
        {"TagIt write", [](auto h, auto s) { return ORBA_WriteBlockTagIt(h, 3, 0, nullptr, 0x77, kFour.data(), s); },
         0x1A, cat({{0x03}, kFour, {0x77}})},
        {"SID poll, 4: mask shifted by 16",
         [&](auto h, auto s) { return ORBA_SIDPollTagIt(h, 4, sid, nullptr, nullptr, s); },
         0x1B, {0x04, 0xAB, 0xCD, 0x00, 0x00}},
        {"SID poll, 8: not shifted", [&](auto h, auto s) { return ORBA_SIDPollTagIt(h, 8, sid, nullptr, nullptr, s); },
         0x1B, {0x08, 0x00, 0x00, 0xAB, 0xCD}},
        {"SID poll, 1: shifted by 28",
         [&](auto h, auto s) { return ORBA_SIDPollTagIt(h, 1, sid, nullptr, nullptr, s); },
         0x1B, {0x01, 0xD0, 0x00, 0x00, 0x00}},
        {"CHB read, timed 200 ms", [](auto h, auto s) { return ORBA_ReadCHB(h, 1, 1, 1, 200.0, nullptr, nullptr, s); },
         0x1C, {0x8B}},
        {"CHB read, short time wraps",
         [](auto h, auto s) { return ORBA_ReadCHB(h, 1, 0, 1, 10.0, nullptr, nullptr, s); },
         0x1C, {0x7C}},
        {"CHB read, untimed", [](auto h, auto s) { return ORBA_ReadCHB(h, 1, 1, 0, 200.0, nullptr, nullptr, s); },
         0x1C, {0x80}},
        {"CHB read, no data", [](auto h, auto s) { return ORBA_ReadCHB(h, 0, 1, 1, 200.0, nullptr, nullptr, s); },
         0x1C, {}},
        {"CHB write, all parts",
         [](auto h, auto s) { return ORBA_WriteCHB(h, 7, kFive1.data(), kFive2.data(), 0x33, nullptr, s); }, 0x1D,
         cat({{0x07}, kFive1, {0x33}, kFive2})},
        {"CHB write, second value",
         [](auto h, auto s) { return ORBA_WriteCHB(h, ORBA_CHB_VALUE_B, nullptr, kFive2.data(), 0x33, nullptr, s); },
         0x1D, cat({{0x04}, kFive2})},
        {"CHB write, the byte",
         [](auto h, auto s) { return ORBA_WriteCHB(h, ORBA_CHB_BYTE, nullptr, nullptr, 0x33, nullptr, s); }, 0x1D,
         {0x02, 0x33}},
        {"CHB write, flags only", [](auto h, auto s) { return ORBA_WriteCHB(h, 0, nullptr, nullptr, 0, nullptr, s); },
         0x1D, {0x00}},
        {"CHG read block", [](auto h, auto s) { return ORBA_ReadBlockCHG(h, 1, 2, 3, 4, 0, 5, nullptr, s); }, 0x1F,
         {0x01, 0x02, 0x03, 0x04}},
        {"CHG read block, short", [](auto h, auto s) { return ORBA_ReadBlockCHG(h, 1, 2, 3, 4, 1, 5, nullptr, s); },
         0x1F, {0x01, 0x02, 0x05}},
        {"CHG anticollision, long",
         [](auto h, auto s) { return ORBA_AnticollisionSelectCHG(h, 1, 2, 1, 3, nullptr, nullptr, s); }, 0x20,
         {0x01, 0x02, 0x03}},
        {"CHG anticollision",
         [](auto h, auto s) { return ORBA_AnticollisionSelectCHG(h, 1, 2, 0, 3, nullptr, nullptr, s); }, 0x20,
         {0x01, 0x02}},
        {"CHG refresh",
         [](auto h, auto s) {
             return ORBA_RefreshSelectionCHG(h, 1, 0, 1, 0, 0x1234, nullptr, nullptr, nullptr, nullptr, s);
         },
         0x21, {0x11, 0x12, 0x34}},
        {"CHG refresh, short",
         [](auto h, auto s) {
             return ORBA_RefreshSelectionCHG(h, 0, 1, 0, 1, 0x1234, nullptr, nullptr, nullptr, nullptr, s);
         },
         0x21, {0x02, 0x34}},
        {"CHG write block", [](auto h, auto s) { return ORBA_WriteBlockCHG(h, 5, kFour.data(), 0x0102, nullptr, s); },
         0x22, cat({{0x05}, kFour, {0x01, 0x02}})},
        {"CHG halt", [](auto h, auto s) { return ORBA_HaltCHG(h, 0xABCD, nullptr, s); }, 0x23, {0xAB, 0xCD}},
        {"CHG reset quiet",
         [](auto h, auto s) { return ORBA_ResetQuietCHG(h, nullptr, nullptr, nullptr, nullptr, s); }, 0x24, {}},
        {"CHJ NSNT", [](auto h, auto s) { return ORBA_ReadNSNTCHJ(h, 3, nullptr, nullptr, s); }, 0x54, {0x80}},
        {"CHJ NSNT, no flag", [](auto h, auto s) { return ORBA_ReadNSNTCHJ(h, 0, nullptr, nullptr, s); }, 0x54, {0x00}},
        {"CHJ EAS", [](auto h, auto s) { return ORBA_WriteEASCHJ(h, 5, s); }, 0x55, {0x00, 0x01}},
        {"CHJ page security", [](auto h, auto s) { return ORBA_WritePageSecurityCHJ(h, 0x22, s); }, 0x55,
         {0x11, 0x22}},
        {"CHJ pages", [](auto h, auto s) { return ORBA_WriteMultiPageCHJ(h, 15, 2, kItems, s); }, 0x55,
         {0x0F, 0xAA, 0xBB, 0xCC, 0xDD}},
        {"CHJ page", [](auto h, auto s) { return ORBA_WritePageCHJ(h, 3, 0x1234, s); }, 0x55, {0x03, 0x12, 0x34}},
    });
}

TEST_F(OrbaReaderCommands, StatusAndTypeAnswers)
{
    std::uint8_t status = kUnset;
    {
        SCOPED_TRACE("types 17 and 19 give a list");
        std::uint8_t a = kUnset, b = kUnset, count = kUnset;
        std::array<std::uint8_t, ORBA_LIST_SIZE + 1> list;
        list.fill(kUnset);
        answer(0x00, {0xA1, 1, 2, 3});
        EXPECT_EQ(ORBA_DefineType(handle(), 17, &a, &b, &count, list.data(), &status), 0);
        EXPECT_EQ(a, 0xA1);
        EXPECT_EQ(b, 0);
        EXPECT_EQ(count, 3);
        EXPECT_EQ(Bytes(list.begin(), list.begin() + 4), (Bytes{1, 2, 3, kUnset}));
        answer(0x00, {0xA1});
        EXPECT_EQ(ORBA_DefineType(handle(), 19, &a, &b, &count, list.data(), &status), 0);
        EXPECT_EQ(count, 0);
        list.fill(kUnset);
        answer(0x00, Bytes(254, 0x3C));
        EXPECT_EQ(ORBA_DefineType(handle(), 19, &a, &b, &count, list.data(), &status), 0);
        EXPECT_EQ(count, 253);
        EXPECT_EQ(list[252], 0x3C);
        EXPECT_EQ(list[253], kUnset);
    }
    {
        SCOPED_TRACE("other types give B");
        std::uint8_t a = kUnset, b = kUnset, count = kUnset;
        answer(0x00, {0xA1, 0xB2, 0xC3});
        EXPECT_EQ(ORBA_DefineType(handle(), 2, &a, &b, &count, nullptr, &status), 0);
        EXPECT_EQ(a, 0xA1);
        EXPECT_EQ(b, 0xB2);
        EXPECT_EQ(count, 0);
    }
    {
        SCOPED_TRACE("board status");
        std::uint8_t value = kUnset;
        std::array<std::int32_t, 5> f;
        const auto read = [&] {
            f.fill(-1);
            return ORBA_BoardStatus(handle(), &value, &f[0], &f[1], &f[2], &f[3], &f[4], &status);
        };
        answer(0x00, {0x33, 0x52});
        EXPECT_EQ(read(), 0);
        EXPECT_EQ(value, 0x33);
        EXPECT_EQ(f, (std::array<std::int32_t, 5>{0, 1, 1, 1, 0}));
        answer(0x00, {0x33});
        EXPECT_EQ(read(), 0);
        EXPECT_EQ(f, (std::array<std::int32_t, 5>{}));
    }
    {
        SCOPED_TRACE("supported functions and address");
        std::uint8_t a = kUnset, b = kUnset;
        std::array<std::uint8_t, 7> record;
        record.fill(kUnset);
        answer(0x00, {1, 2, 3, 4, 5, 6, 7});
        EXPECT_EQ(ORBA_GetSupportedFunctions(handle(), &a, &b, record.data(), &status), 0);
        EXPECT_EQ(a, 1);
        EXPECT_EQ(b, 2);
        EXPECT_EQ(Bytes(record.begin(), record.end()), (Bytes{0, 0, 0, 0, 0, 0, kUnset}));
        answer(0x00, {1, 2, 3, 4, 5, 6, 7, 8});
        EXPECT_EQ(ORBA_GetSupportedFunctions(handle(), &a, &b, record.data(), &status), 0);
        EXPECT_EQ(Bytes(record.begin(), record.end()), (Bytes{3, 4, 5, 6, 7, 8, kUnset}));

        std::uint8_t address = kUnset;
        answer(0x00, {0xFF, 0x07});
        EXPECT_EQ(ORBA_GetReaderAddress(handle(), &address, &status), 0);
        EXPECT_EQ(address, 0x07) << "data 1";
        answer(0x00, {0x07});
        EXPECT_EQ(ORBA_GetReaderAddress(handle(), &address, &status), 0);
        EXPECT_EQ(address, 0);
    }
}

TEST_F(OrbaReaderCommands, ChangeIoRemembersTheOutputImage)
{
    std::uint8_t status = kUnset;
    std::uint8_t outputs = 0x5A, c = 0x3F, d = 0x09;
    std::int32_t flagA = 1, flagB = 1;
    // Operation 1 sends [flags][outputs] and remembers the high nibble 0x50.
    answer(0x00, {0x81});
    const auto r1 = sent([&] { return ORBA_ChangeIO(handle(), 1, &outputs, &flagA, &flagB, &c, &d, &status); });
    EXPECT_EQ(r1.data, (Bytes{0x03, 0x5A}));
    EXPECT_EQ(outputs, 0x51) << "one answer byte: the remembered high nibble";
    EXPECT_EQ(flagA, 1);
    EXPECT_EQ(flagB, 0);
    EXPECT_EQ(c, 0);
    EXPECT_EQ(d, 0);

    // Operation 2 sends all four and does not change the image.
    outputs = 0xFF;
    c = 0x3F;
    d = 0x09;
    flagA = 0;
    flagB = 1;
    answer(0x00, {0x02});
    const auto r2 = sent([&] { return ORBA_ChangeIO(handle(), 2, &outputs, &flagA, &flagB, &c, &d, &status); });
    EXPECT_EQ(r2.data, (Bytes{0x02, 0xFF, 0x0F, 0x09}));
    EXPECT_EQ(outputs, 0x52);
    EXPECT_EQ(flagA, 0);

    // A longer answer gives the high nibble itself, and C and D.
    answer(0x00, {0x05, 0x0C, 0x21, 0x22});
    const auto r3 = sent([&] { return ORBA_ChangeIO(handle(), 0, &outputs, &flagA, &flagB, &c, &d, &status); });
    EXPECT_EQ(r3.data, Bytes{}) << "other operations send no data";
    EXPECT_EQ(outputs, 0xC5);
    EXPECT_EQ(c, 0x21);
    EXPECT_EQ(d, 0x22);

    answer(0x00, {});
    EXPECT_EQ(ORBA_ChangeIO(handle(), 0, &outputs, &flagA, &flagB, &c, &d, &status), 0);
    EXPECT_EQ(outputs, 0);
    EXPECT_EQ(c, 0);
}

TEST_F(OrbaReaderCommands, VersionQueryNeedsTwoBytes)
{
    std::array<std::uint8_t, 4> v;
    std::uint8_t status = kUnset;
    const auto read = [&] {
        v.fill(0x11);
        return ORBA_VersionQuery(handle(), &v[0], &v[1], &v[2], &v[3], &status);
    };
    answer(0x00, {0x01});
    const auto r = sent(read, -5);
    EXPECT_EQ(r.command, 0x0B);
    EXPECT_EQ(r.data, Bytes{});
    EXPECT_EQ(v, (std::array<std::uint8_t, 4>{0xFF, 0xFF, 0xFF, 0xFF}));
    answer(0x00, {0x01, 0x02, 0x03});
    EXPECT_EQ(read(), 0);
    EXPECT_EQ(v, (std::array<std::uint8_t, 4>{0x01, 0x02, 0xFF, 0xFF}));
    answer(0x00, {0x01, 0x02, 0x03, 0x04, 0x05});
    EXPECT_EQ(read(), 0);
    EXPECT_EQ(v, (std::array<std::uint8_t, 4>{0x01, 0x02, 0x03, 0x04}));
}

TEST_F(OrbaReaderCommands, RfScanTakesTheReadersSecondAnswer)
{
    std::uint8_t status = kUnset, value = kUnset, count = kUnset;
    std::array<std::uint8_t, ORBA_LIST_SIZE + 1> list;
    list.fill(kUnset);
    // The reader ends its scan a while after the first answer (the link
    // takes a second answer only once the first has been collected).
    twoAnswers(0x00, {}, 0x00, {0x07, 0x10, 0x20, 0x30}, 100);
    const auto r = sent([&] {
        return ORBA_ScanRf(handle(), 0x45, 3000, 1, 1, &value, &count, list.data(), &status);
    });
    EXPECT_EQ(r.command, 0x27);
    EXPECT_EQ(r.data, (Bytes{0xC5}));
    EXPECT_EQ(value, 0x07);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(Bytes(list.begin(), list.begin() + 4), (Bytes{0x10, 0x20, 0x30, 0x00}));
    EXPECT_EQ(status, 0x00);

    // A second answer with only its byte; a failed first status is handed over.
    twoAnswers(0x84, {}, 0x00, {0x09}, 100);
    EXPECT_EQ(ORBA_ScanRf(handle(), 1, 3000, 0, 0, &value, &count, list.data(), &status), 0);
    EXPECT_EQ(value, 0x09);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(status, 0x84);
}

TEST_F(OrbaReaderCommands, RfScanWithoutSecondAnswerStopsTheScan)
{
    std::uint8_t status = kUnset, value = kUnset, count = kUnset;
    answer(0x00, {});
    silence(); // the stop command goes out without waiting; an answer to it would arrive at any time later
    const std::size_t before = requestCount();
    EXPECT_EQ(ORBA_ScanRf(handle(), 3, 100, 0, 1, &value, &count, nullptr, &status), QVL_ERR_TIMEOUT);
    ASSERT_TRUE(waitRequests(before + 2));
    const auto all = requests();
    EXPECT_EQ(all[before].command, 0x27);
    EXPECT_EQ(all[before].data, (Bytes{0x43}));
    EXPECT_EQ(all[before + 1].command, 0x0B);
    EXPECT_EQ(all[before + 1].data, Bytes{});
    EXPECT_EQ(value, 0) << "cleared by the first answer";

    // No first answer: the link time-out, nothing more sent.
    ASSERT_EQ(QVL_SetTimeout(handle(), 100), 1);
    silence();
    const std::size_t next = requestCount() + 1;
    EXPECT_EQ(ORBA_ScanRf(handle(), 3, 100, 0, 1, &value, &count, nullptr, &status), QVL_ERR_TIMEOUT);
    ASSERT_EQ(QVL_SetTimeout(handle(), QVL_DEFAULT_TIMEOUT_MS), 1);
    EXPECT_EQ(requestCount(), next);
}

TEST_F(OrbaReaderCommands, SlotOutputsTakeWholePiecesWithinTheirArray)
{
    std::uint8_t status = kUnset;
    {
        SCOPED_TRACE("8-byte pages; a partial page is left out");
        Slots s;
        answer(0x00, counting(20, 1));
        EXPECT_EQ(ORBA_ReadPageCHD(handle(), 1, 0, 0, 2, s.data(), &status), 0);
        EXPECT_EQ(s.slot(0, 9), cat({counting(8, 1), {0}}));
        EXPECT_EQ(s.slot(1, 8), counting(8, 9));
        EXPECT_EQ(s.slot(1, ORBA_RECORD_SLOT_SIZE)[ORBA_RECORD_SLOT_SIZE - 1], 0) << "the rest of a slot is cleared";
        EXPECT_EQ(s.slot(2, 1), Bytes{kUnset});
    }
    {
        SCOPED_TRACE("4-byte blocks of the longest answer: 63 slots");
        Slots s;
        answer(0x00, counting(254, 0));
        EXPECT_EQ(ORBA_ReadBlockCHG(handle(), 1, 2, 3, 4, 0, 5, s.data(), &status), 0);
        EXPECT_EQ(s.slot(62, 4), counting(4, 248));
        EXPECT_EQ(s.slot(63, 1), Bytes{kUnset});
    }
    {
        SCOPED_TRACE("SID poll: a 16-bit value, then 4-byte pieces");
        Slots s;
        std::uint16_t value = 0;
        const std::uint8_t mask[4] = {};
        answer(0x00, cat({{0x00, 0x03}, counting(8, 0x40), {0x99}}));
        EXPECT_EQ(ORBA_SIDPollTagIt(handle(), 8, mask, &value, s.data(), &status), 0);
        EXPECT_EQ(value, 3);
        EXPECT_EQ(s.slot(1, 4), counting(4, 0x44));
        EXPECT_EQ(s.slot(2, 1), Bytes{kUnset});
    }
    {
        SCOPED_TRACE("CHB records of 6 and 10 bytes");
        Slots s;
        std::uint8_t count = kUnset;
        const Bytes six = {1, 2, 3, 4, 5, 0x00};
        const Bytes ten = {1, 2, 3, 4, 5, 0x04, 7, 8, 9, 10};
        answer(0x00, cat({six, ten, six, {1, 2, 3, 4, 5, 0x04, 7}}));
        EXPECT_EQ(ORBA_ReadCHB(handle(), 0, 0, 0, 0, &count, s.data(), &status), 0);
        EXPECT_EQ(count, 3) << "the cut last record is left out";
        EXPECT_EQ(s.slot(0, 7), cat({six, {0}}));
        EXPECT_EQ(s.slot(1, 11), cat({ten, {0}}));
        EXPECT_EQ(s.slot(3, 1), Bytes{kUnset});
    }
    {
        SCOPED_TRACE("default message");
        Slots s;
        answer(0x00, counting(8, 1));
        EXPECT_EQ(ORBA_ReadDefaultMessageCHD(handle(), 1, 2, s.data(), &status), 0);
        EXPECT_EQ(s.slot(0, 8), counting(8, 1));
    }
}

TEST_F(OrbaReaderCommands, ChipAnswers)
{
    std::uint8_t status = kUnset;
    {
        SCOPED_TRACE("anticollision: the flag is 1 unless bit 0 of data 2 is set");
        std::uint16_t value = 0xEEEE;
        std::int32_t flag = -1;
        for (const auto& [data, v, f] : std::vector<std::tuple<Bytes, int, int>>{
                 {{}, 0, 1},
                 {{0x12, 0x34}, 0x1234, 1},
                 {{0x12, 0x34, 0x01}, 0x1234, 0},
                 {{0x12, 0x34, 0x02}, 0x1234, 1}}) {
            answer(0x00, data);
            EXPECT_EQ(ORBA_AnticollisionSelectCHG(handle(), 1, 2, 0, 3, &value, &flag, &status), 0);
            EXPECT_EQ(value, v);
            EXPECT_EQ(flag, f);
        }
    }
    {
        SCOPED_TRACE("four values as far as the answer reaches");
        std::array<std::uint16_t, 4> v;
        v.fill(0xEEEE);
        answer(0x00, {0x00, 0x01, 0x00, 0x02, 0x00});
        EXPECT_EQ(ORBA_ResetQuietCHG(handle(), &v[0], &v[1], &v[2], &v[3], &status), 0);
        EXPECT_EQ(v, (std::array<std::uint16_t, 4>{1, 2, 0, 0}));
        v.fill(0xEEEE);
        answer(0x00, counting(8, 1));
        EXPECT_EQ(ORBA_RefreshSelectionCHG(handle(), 0, 0, 0, 0, 0, &v[0], &v[1], &v[2], &v[3], &status), 0);
        EXPECT_EQ(v, (std::array<std::uint16_t, 4>{0x0102, 0x0304, 0x0506, 0x0708}));
        std::uint16_t word = 0xEEEE;
        answer(0x00, {0xAB, 0xCD});
        EXPECT_EQ(ORBA_WriteBlockCHG(handle(), 1, kFour.data(), 2, &word, &status), 0);
        EXPECT_EQ(word, 0xABCD);
        answer(0x00, {0xAB});
        EXPECT_EQ(ORBA_HaltCHG(handle(), 2, &word, &status), 0);
        EXPECT_EQ(word, 0);
    }
    {
        SCOPED_TRACE("TagIt");
        std::uint8_t value = kUnset;
        std::uint32_t data = 0xEEEEEEEE;
        answer(0x00, {0x09, 0x11, 0x22, 0x33, 0x44});
        EXPECT_EQ(ORBA_ReadBlockTagIt(handle(), 1, 0, nullptr, &value, &data, &status), 0);
        EXPECT_EQ(value, 0x09);
        const std::uint8_t memory[4] = {0x11, 0x22, 0x33, 0x44};
        EXPECT_EQ(std::memcmp(&data, memory, 4), 0) << "in memory order";
        answer(0x00, {0x09, 0x11, 0x22, 0x33});
        EXPECT_EQ(ORBA_ReadBlockTagIt(handle(), 1, 0, nullptr, &value, &data, &status), 0);
        EXPECT_EQ(data, 0u);

        Bytes id = kFour;
        std::array<std::uint8_t, 4> v;
        v.fill(kUnset);
        answer(0x00, {0xA1, 0xA2, 0xA3});
        EXPECT_EQ(ORBA_GetVersionTagIt(handle(), 1, id.data(), &v[0], &v[1], &v[2], &v[3], &status), 0);
        EXPECT_EQ(id, kFour) << "three bytes leave the identifier";
        answer(0x00, {0xA1, 0xA2, 0xA3, 0xA4, 0x05, 0x06});
        EXPECT_EQ(ORBA_GetVersionTagIt(handle(), 1, id.data(), &v[0], &v[1], &v[2], &v[3], &status), 0);
        EXPECT_EQ(id, (Bytes{0xA1, 0xA2, 0xA3, 0xA4}));
        EXPECT_EQ(v, (std::array<std::uint8_t, 4>{0x05, 0x06, 0, 0}));
    }
    {
        SCOPED_TRACE("CHJ NSNT needs more than 33 bytes");
        std::int32_t flag = -1;
        std::array<std::uint16_t, 17> values;
        values.fill(0xEEEE);
        answer(0x00, cat({{0x01, 0x00}, counting(31, 1)}));
        EXPECT_EQ(ORBA_ReadNSNTCHJ(handle(), 1, &flag, values.data(), &status), 0);
        EXPECT_EQ(flag, 0);
        EXPECT_EQ(values[0], 0);
        answer(0x00, cat({{0x03, 0x00}, counting(32, 1)}));
        EXPECT_EQ(ORBA_ReadNSNTCHJ(handle(), 1, &flag, values.data(), &status), 0);
        EXPECT_EQ(flag, 1);
        EXPECT_EQ(values[0], 0x0102);
        EXPECT_EQ(values[15], 0x1F20);
        EXPECT_EQ(values[16], 0xEEEE);
    }
    {
        SCOPED_TRACE("CHB write and flash read: data 0");
        std::uint8_t value = kUnset;
        answer(0x00, {0x5A, 0x01});
        EXPECT_EQ(ORBA_FlashRead(handle(), 1, &value, &status), 0);
        EXPECT_EQ(value, 0x5A);
        answer(0x00, {});
        EXPECT_EQ(ORBA_WriteCHB(handle(), 0, nullptr, nullptr, 0, &value, &status), 0);
        EXPECT_EQ(value, 0);
    }
    {
        SCOPED_TRACE("standalone settings");
        std::array<std::uint8_t, ORBA_STANDALONE_GENERAL_SIZE + 1> general;
        general.fill(kUnset);
        answer(0x00, {1, 2, 3, 4, 5, 6, 7, 8});
        EXPECT_EQ(ORBA_GetStandaloneGeneral(handle(), general.data(), &status), 0);
        EXPECT_EQ(Bytes(general.begin(), general.end()), (Bytes{1, 2, 3, 4, 5, 6, 7, kUnset}));
        std::array<char, ORBA_TEXT_SIZE> text;
        answer(0x00, {'#', '#'});
        EXPECT_EQ(ORBA_GetStandaloneChipDescription(handle(), 64, text.data(), &status), 0);
        EXPECT_STREQ(text.data(), "##");
    }
}

TEST_F(OrbaReaderCommands, ArgumentsThatCannotMakeARequestAreRefused)
{
    const std::string tooLong(255, 'x');
    expectRefused({
        {"CHJ first page 16", [](auto h, auto s) { return ORBA_WriteMultiPageCHJ(h, 16, 2, kItems, s); }},
        {"CHJ page 16", [](auto h, auto s) { return ORBA_WritePageCHJ(h, 16, 0x1234, s); }},
        {"CHJ page -1", [](auto h, auto s) { return ORBA_WritePageCHJ(h, -1, 0x1234, s); }},
        {"CHJ items missing", [](auto h, auto s) { return ORBA_WriteMultiPageCHJ(h, 1, 2, nullptr, s); }},
        {"password missing", [](auto h, auto s) { return ORBA_CheckPwdCHD(h, 1, nullptr, 0, s); }},
        {"page data missing", [](auto h, auto s) { return ORBA_WritePageCHD(h, 1, 0, nullptr, 0, s); }},
        {"SID mask missing", [](auto h, auto s) { return ORBA_SIDPollTagIt(h, 4, nullptr, nullptr, nullptr, s); }},
        {"identifier missing",
         [](auto h, auto s) { return ORBA_ReadBlockTagIt(h, 1, 1, nullptr, nullptr, nullptr, s); }},
        {"CHB time not a number",
         [](auto h, auto s) { return ORBA_ReadCHB(h, 1, 0, 1, std::nan(""), nullptr, nullptr, s); }},
        {"CHB time too large", [](auto h, auto s) { return ORBA_ReadCHB(h, 1, 0, 1, 1e30, nullptr, nullptr, s); }},
        {"CHB value missing", [](auto h, auto s) { return ORBA_WriteCHB(h, 1, nullptr, nullptr, 0, nullptr, s); }},
        {"standalone text too long", [&](auto h, auto s) { return ORBA_SetStandalonePrefix(h, tooLong.c_str(), s); }},
        {"general settings missing", [](auto h, auto s) { return ORBA_SetStandaloneGeneral(h, nullptr, s); }},
    });
}

} // namespace
