// The TALU family's further commands against a scripted reader: the request
// bytes of every row, the getters that fill only for a good status, the STAR
// and CHG records, and the arguments the library refuses itself.
#include <array>
#include <string>
#include <vector>

#include "linvaro.h"
#include "quorvel.h"
#include "scripted_reader.h"

using namespace tables_test;

namespace {

class TaluReaderCommands : public ScriptedReader {};

const Bytes kEight = counting(8, 0xA0);
const Bytes kFour = {0xD1, 0xD2, 0xD3, 0xD4};
const Bytes kFive1 = counting(5, 0x11);
const Bytes kFive2 = counting(5, 0x21);
const std::uint16_t kItems[] = {0xAABB, 0xCCDD};
const Bytes kMask = counting(32, 0x40);

TEST_F(TaluReaderCommands, EveryRowSendsItsRequest)
{
    const std::uint8_t general[TALU_STANDALONE_GENERAL_SIZE] = {1, 2, 3, 4, 5, 6, 7};
    std::vector<RequestRow> rows = {
        {"baud rate", [](auto h, auto s) { return TALU_SetBaudrate(h, 5, s); }, 0x06, {0x05}},
        {"I/O", [](auto h, auto s) { return TALU_SetIO(h, 3, s); }, 0x07, {0x01}},
        {"get I/O", [](auto h, auto s) { return TALU_GetIO(h, nullptr, nullptr, s); }, 0x07, {}},
        {"reset", [](auto h, auto s) { return TALU_Reset(h, s); }, 0x0F, {}},
        {"address", [](auto h, auto s) { return TALU_SetAddress(h, 9, s); }, 0x16, {0x09}},
        {"get address", [](auto h, auto s) { return TALU_GetAddress(h, nullptr, s); }, 0x16, {}},
        {"detect chip", [](auto h, auto s) { return TALU_DetectChipType(h, 7, nullptr, nullptr, nullptr, s); }, 0x00,
         {0x01}},
        {"CHA read", [](auto h, auto s) { return TALU_ReadCHA(h, nullptr, s); }, 0x01, {}},
        {"CHD read, flag A, page 5, area 1, 3 pages",
         [](auto h, auto s) { return TALU_ReadCHD(h, 1, 0, 5, 1, 3, nullptr, s); }, 0x01, {0x55, 0x03}},
        {"CHD read, flag B, page 7, area 3", [](auto h, auto s) { return TALU_ReadCHD(h, 0, 1, 7, 3, 1, nullptr, s); },
         0x01, {0x7B, 0x01}},
        {"CHD password", [](auto h, auto s) { return TALU_SetPasswordCHD(h, 1, kEight.data(), s); }, 0x02,
         cat({{0x01}, kEight})},
        {"CHD write", [](auto h, auto s) { return TALU_WriteCHD(h, 1, 1, 2, 0, kEight.data(), s); }, 0x03,
         cat({{0x2C}, kEight})},
        {"CHJ NSNT", [](auto h, auto s) { return TALU_ReadNSNTCHJ(h, 1, nullptr, nullptr, s); }, 0x04, {0x80}},
        {"CHB read all", [](auto h, auto s) { return TALU_ReadAllCHB(h, nullptr, nullptr, nullptr, s); }, 0x10, {}},
        {"CHB write all: [A][byte][B]",
         [](auto h, auto s) { return TALU_WriteAllCHB(h, 0x33, kFive1.data(), kFive2.data(), s); }, 0x11,
         cat({kFive1, {0x33}, kFive2})},
        {"CHB EAS, both flags", [](auto h, auto s) { return TALU_WriteEasCHB(h, 1, 1, s); }, 0x11, {0x81}},
        {"CHB EAS, flag B", [](auto h, auto s) { return TALU_WriteEasCHB(h, 0, 2, s); }, 0x11, {0x80}},
        {"CHB quiet", [](auto h, auto s) { return TALU_QuietCHB(h, s); }, 0x11, {}},
        {"CHJ STAR: [flags][B high][B low][A][C]",
         [](auto h, auto s) {
             return TALU_ReadSTARCHJ(h, 1, 1, 0, 1, 0x05, 0x1234, 0x06, nullptr, nullptr, nullptr, nullptr, s);
         },
         0x24, {0x91, 0x12, 0x34, 0x05, 0x06}},
        {"CHJ STAR, flag 3",
         [](auto h, auto s) {
             return TALU_ReadSTARCHJ(h, 0, 0, 1, 0, 0x05, 0x1234, 0x06, nullptr, nullptr, nullptr, nullptr, s);
         },
         0x24, {0x08, 0x12, 0x34, 0x05, 0x06}},
        {"CHJ EAS", [](auto h, auto s) { return TALU_WriteEASCHJ(h, 2, s); }, 0x25, {0x00, 0x01}},
        {"CHJ page security", [](auto h, auto s) { return TALU_WritePageSecurityCHJ(h, 0x33, s); }, 0x25, {0x11, 0x33}},
        {"CHJ pages", [](auto h, auto s) { return TALU_WriteMultiPageCHJ(h, 20, 2, kItems, s); }, 0x25,
         {0x14, 0xAA, 0xBB, 0xCC, 0xDD}},
        {"CHJ page", [](auto h, auto s) { return TALU_WritePageCHJ(h, 3, 0x1234, s); }, 0x25, {0x03, 0x12, 0x34}},
        {"CHG selected read: [B][D][C][A]",
         [](auto h, auto s) { return TALU_SelectedReadCHG(h, 1, 2, 3, 4, nullptr, s); }, 0x31,
         {0x02, 0x04, 0x03, 0x01}},
        {"CHG selected write: [data][value][n][mask]",
         [](auto h, auto s) {
             Bytes buffer = kMask;
             return TALU_SelectedWriteCHG(h, 16, buffer.data(), 0x77, kFour.data(), s);
         },
         0x32, cat({kFour, {0x77, 0x10, 0x40, 0x41}})},
        {"CHG halt", [](auto h, auto s) {
             Bytes buffer = kMask;
             return TALU_HaltCHG(h, 9, buffer.data(), s);
         },
         0x33, {0x09, 0x40}},
        {"CHG reset quiet", [](auto h, auto s) { return TALU_ResetQuietCHG(h, s); }, 0x34, {}},
        {"CHG unselected read: E before F",
         [](auto h, auto s) { return TALU_UnselectedReadCHG(h, 1, 1, 2, 3, 4, 6, 5, 7, 8, nullptr, nullptr, s); }, 0x35,
         {0x80, 1, 2, 3, 4, 5, 6, 7, 8}},
        {"standalone general", [&](auto h, auto s) { return TALU_SetStandaloneGeneral(h, general, s); }, 0x0E,
         {0x00, 1, 2, 3, 4, 5, 6, 7}},
        {"get standalone general", [](auto h, auto s) { return TALU_GetStandaloneGeneral(h, nullptr, s); }, 0x0E,
         {0x00}},
        {"prefix", [](auto h, auto s) { return TALU_SetStandalonePrefix(h, "P", s); }, 0x0E, {0x01, 'P'}},
        {"get prefix", [](auto h, auto s) { return TALU_GetStandalonePrefix(h, nullptr, s); }, 0x0E, {0x01}},
        {"suffix", [](auto h, auto s) { return TALU_SetStandaloneSuffix(h, "S", s); }, 0x0E, {0x04, 'S'}},
        {"get suffix", [](auto h, auto s) { return TALU_GetStandaloneSuffix(h, nullptr, s); }, 0x0E, {0x04}},
        {"no-read message", [](auto h, auto s) { return TALU_SetStandaloneNoReadMessage(h, "N", s); }, 0x0E,
         {0x05, 'N'}},
        {"get no-read message", [](auto h, auto s) { return TALU_GetStandaloneNoReadMessage(h, nullptr, s); }, 0x0E,
         {0x05}},
    };
    // CHG masks: (n / 8) & 0x1F bytes above 7 bits, else one byte.
    for (const auto& [bits, bytes] : std::vector<std::pair<int, std::size_t>>{
             {0, 1}, {7, 1}, {8, 1}, {15, 1}, {16, 2}, {64, 8}, {255, 31}, {0x110, 2}}) {
        rows.push_back({"CHG anticollision, mask of " + std::to_string(bits) + " bits",
                        [bits](auto h, auto s) {
                            Bytes buffer = kMask;
                            return TALU_AnticollisionSelectCHG(h, 1, 2, 3, 4, bits, buffer.data(), s);
                        },
                        0x30,
                        cat({{0x80, 0x02, 0x03, 0x04, static_cast<std::uint8_t>(bits)},
                             Bytes(kMask.begin(), kMask.begin() + static_cast<std::ptrdiff_t>(bytes))})});
    }
    for (const auto& [type, id] : std::vector<std::pair<int, std::uint8_t>>{
             {1, 0x02}, {2, 0x03}, {4, 0x06}, {8, 0x07}, {16, 0x08}, {32, 0x09}, {3, 0xFF}}) {
        rows.push_back({"chip description " + std::to_string(type),
                        [type](auto h, auto s) { return TALU_SetStandaloneChipDescription(h, type, "C", s); }, 0x0E,
                        {id, 'C'}});
        rows.push_back({"get chip description " + std::to_string(type),
                        [type](auto h, auto s) { return TALU_GetStandaloneChipDescription(h, type, nullptr, s); },
                        0x0E, {id}});
    }
    expectRequests(rows);
}

TEST_F(TaluReaderCommands, GettersFillOnlyWhenTheStatusIsGood)
{
    std::uint8_t status = kUnset;
    {
        SCOPED_TRACE("address");
        std::uint8_t address = kUnset;
        answer(0x85, {0x09});
        EXPECT_EQ(TALU_GetAddress(handle(), &address, &status), 0);
        EXPECT_EQ(address, 0) << "cleared, not filled";
        EXPECT_EQ(status, 0x85);
        answer(0x00, {0x09});
        EXPECT_EQ(TALU_GetAddress(handle(), &address, &status), 0);
        EXPECT_EQ(address, 0x09);
    }
    {
        SCOPED_TRACE("I/O bits");
        std::int32_t a = -1, b = -1;
        answer(0x00, {0x02});
        EXPECT_EQ(TALU_GetIO(handle(), &a, &b, &status), 0);
        EXPECT_EQ(a, 0);
        EXPECT_EQ(b, 1);
        answer(0x80, {0x03});
        EXPECT_EQ(TALU_GetIO(handle(), &a, &b, &status), 0);
        EXPECT_EQ(b, 0);
    }
    {
        SCOPED_TRACE("chip type");
        std::uint8_t type = kUnset, length = kUnset;
        std::array<std::uint8_t, TALU_ANSWER_SIZE + 1> data;
        data.fill(kUnset);
        answer(0x00, {0x07});
        EXPECT_EQ(TALU_DetectChipType(handle(), 1, &type, &length, data.data(), &status), 0);
        EXPECT_EQ(type, 0x07);
        EXPECT_EQ(length, 0);
        EXPECT_EQ(data[0], kUnset);
        answer(0x00, {0x07, 0x01, 0x02});
        EXPECT_EQ(TALU_DetectChipType(handle(), 1, &type, &length, data.data(), &status), 0);
        EXPECT_EQ(length, 2);
        EXPECT_EQ(Bytes(data.begin(), data.begin() + 3), (Bytes{0x01, 0x02, kUnset}));
        answer(QVL_STATUS_NO_TAG, {0x07, 0x01, 0x02});
        EXPECT_EQ(TALU_DetectChipType(handle(), 1, &type, &length, data.data(), &status), 0);
        EXPECT_EQ(type, 0);
        EXPECT_EQ(length, 0);
    }
    {
        SCOPED_TRACE("CHB values as far as the answer reaches");
        std::uint8_t value = kUnset;
        std::array<std::uint8_t, 5> a, b;
        const auto read = [&](const Bytes& data) {
            a.fill(kUnset);
            b.fill(kUnset);
            value = kUnset;
            answer(0x00, data);
            EXPECT_EQ(TALU_ReadAllCHB(handle(), &value, a.data(), b.data(), &status), 0);
        };
        read(counting(4, 1));
        EXPECT_EQ(Bytes(a.begin(), a.end()), Bytes(5, 0));
        read(counting(5, 1));
        EXPECT_EQ(Bytes(a.begin(), a.end()), counting(5, 1));
        EXPECT_EQ(value, 0);
        read(counting(10, 1));
        EXPECT_EQ(value, 6);
        EXPECT_EQ(Bytes(b.begin(), b.end()), Bytes(5, 0));
        read(counting(11, 1));
        EXPECT_EQ(Bytes(b.begin(), b.end()), counting(5, 7));
    }
    {
        SCOPED_TRACE("NSNT as ORBA's, with the family's status rule");
        std::int32_t flag = -1;
        std::array<std::uint16_t, 16> values;
        answer(0x00, cat({{0x01, 0x00}, counting(32, 1)}));
        EXPECT_EQ(TALU_ReadNSNTCHJ(handle(), 1, &flag, values.data(), &status), 0);
        EXPECT_EQ(flag, 1);
        EXPECT_EQ(values[1], 0x0304);
        answer(0x81, cat({{0x01, 0x00}, counting(32, 1)}));
        EXPECT_EQ(TALU_ReadNSNTCHJ(handle(), 1, &flag, values.data(), &status), 0);
        EXPECT_EQ(flag, 0);
        EXPECT_EQ(values[1], 0);
    }
}

TEST_F(TaluReaderCommands, DataOutputsTakeTheWholeAnswerWithinTheBuffer)
{
    std::uint8_t status = kUnset;
    std::array<std::uint8_t, TALU_ANSWER_SIZE + 1> data;
    data.fill(kUnset);
    answer(0x00, {0x10, 0x20});
    EXPECT_EQ(TALU_ReadCHA(handle(), data.data(), &status), 0);
    EXPECT_EQ(Bytes(data.begin(), data.begin() + 3), (Bytes{0x10, 0x20, kUnset}));

    data.fill(kUnset);
    answer(QVL_STATUS_NO_TAG, {0x10, 0x20});
    EXPECT_EQ(TALU_ReadCHD(handle(), 0, 0, 0, 0, 4, data.data(), &status), 0);
    EXPECT_EQ(data[0], kUnset) << "a failed status copies nothing";

    answer(0x00, blockList({Bytes(200, 0x01), Bytes(200, 0x02)}), 0xFF);
    EXPECT_EQ(TALU_SelectedReadCHG(handle(), 1, 2, 3, 4, data.data(), &status), 0);
    EXPECT_EQ(data[254], 0x02);
    EXPECT_EQ(data[255], kUnset);

    // The CHG commands read their answer into the mask buffer.
    Bytes buffer = kMask;
    answer(0x00, {0x01, 0x02, 0x03});
    EXPECT_EQ(TALU_AnticollisionSelectCHG(handle(), 0, 1, 2, 3, 16, buffer.data(), &status), 0);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 4), (Bytes{0x01, 0x02, 0x03, 0x43}));
}

TEST_F(TaluReaderCommands, StarRecordsComeFromBlockListsOnly)
{
    struct Star {
        std::int32_t count = -1;
        std::array<std::int32_t, TALU_MAX_STAR_RECORDS + 1> flags;
        std::vector<std::uint16_t> records =
            std::vector<std::uint16_t>((TALU_MAX_STAR_RECORDS + 1) * TALU_STAR_VALUES, 0xEEEE);
        std::array<std::uint8_t, TALU_MAX_STAR_RECORDS + 1> bytes;
        std::uint8_t status = kUnset;
        Star()
        {
            flags.fill(-1);
            bytes.fill(kUnset);
        }
        std::int32_t read()
        {
            return TALU_ReadSTARCHJ(ScriptedReader::handle(), 1, 0, 0, 0, 1, 2, 3, &count, flags.data(),
                                    records.data(), bytes.data(), &status);
        }
        std::uint16_t value(std::size_t record, std::size_t i) const { return records[record * TALU_STAR_VALUES + i]; }
    };
    const Bytes whole = cat({{0x01, 0x42}, counting(32, 1), {0xAA, 0xBB}});
    const Bytes part = cat({{0x00, 0x42}, counting(8, 0x61)});
    {
        Star s;
        answer(0x00, blockList({whole, part, {}}), 0xFF);
        EXPECT_EQ(s.read(), 0);
        EXPECT_EQ(s.count, 3);
        EXPECT_EQ(s.flags[0], 1);
        EXPECT_EQ(s.value(0, 0), 0x0102);
        EXPECT_EQ(s.value(0, 15), 0x1F20);
        EXPECT_EQ(s.bytes[0], 0x42);
        EXPECT_EQ(s.flags[1], 0);
        EXPECT_EQ(s.value(1, 0), 0x6162);
        EXPECT_EQ(s.value(1, 3), 0x6768);
        EXPECT_EQ(s.value(1, 4), 0) << "a short block fills four values";
        EXPECT_EQ(s.bytes[1], 0);
        EXPECT_EQ(s.flags[2], 0) << "an empty block";
        EXPECT_EQ(s.value(2, 0), 0);
        EXPECT_EQ(s.flags[3], -1);
    }
    {
        Star s;
        answer(0x00, whole);
        EXPECT_EQ(s.read(), 0);
        EXPECT_EQ(s.count, 0) << "a plain answer is not taken";
        EXPECT_EQ(s.flags[0], -1);
    }
    {
        Star s;
        answer(0x84, blockList({whole}), 0xFF);
        EXPECT_EQ(s.read(), 0);
        EXPECT_EQ(s.count, 0);
        EXPECT_EQ(s.status, 0x84);
    }
    {
        Star s;
        std::vector<Bytes> many(TALU_MAX_STAR_RECORDS + 6, Bytes{0x01});
        answer(0x00, blockList(many), 0xFF);
        EXPECT_EQ(s.read(), 0);
        EXPECT_EQ(s.count, TALU_MAX_STAR_RECORDS);
        EXPECT_EQ(s.flags[TALU_MAX_STAR_RECORDS - 1], 1);
        EXPECT_EQ(s.flags[TALU_MAX_STAR_RECORDS], -1);
        EXPECT_EQ(s.value(TALU_MAX_STAR_RECORDS, 0), 0xEEEE);
    }
    {
        Star s;
        // A list longer than the 2048 bytes a TALU answer is walked in.
        answer(0x00, blockList(std::vector<Bytes>(10, Bytes(250, 0x01))), 0xFF);
        EXPECT_EQ(s.read(), LVRM_ERR_WRONG_BLOCK_FORMAT);
        EXPECT_EQ(s.count, -1);
    }
}

TEST_F(TaluReaderCommands, UnselectedReadGivesCarrierRecords)
{
    std::uint8_t status = kUnset, count = kUnset;
    std::vector<std::uint8_t> slots((TALU_MAX_RECORDS + 1) * TALU_RECORD_SIZE, kUnset);
    const auto read = [&] {
        return TALU_UnselectedReadCHG(handle(), 0, 1, 2, 3, 4, 5, 6, 7, 8, &count, slots.data(), &status);
    };
    answer(0x00, blockList({counting(10, 1), counting(200, 0)}), 0xFF);
    EXPECT_EQ(read(), 0);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(Bytes(slots.begin(), slots.begin() + 11), cat({counting(10, 1), {0}}));
    EXPECT_EQ(Bytes(slots.begin() + TALU_RECORD_SIZE, slots.begin() + 2 * TALU_RECORD_SIZE), counting(128, 0))
        << "a record is cut to its slot";
    EXPECT_EQ(slots[2 * TALU_RECORD_SIZE], kUnset);

    answer(0x00, {0x31, 0x32});
    EXPECT_EQ(read(), 0);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(slots[1], 0x32);

    count = kUnset;
    slots[0] = kUnset;
    answer(QVL_STATUS_NO_TAG, {0x31, 0x32});
    EXPECT_EQ(read(), 0);
    EXPECT_EQ(count, kUnset) << "a failed status leaves the records";
    EXPECT_EQ(slots[0], kUnset);
}

TEST_F(TaluReaderCommands, InvalidChdArgumentsAreRefusedWithoutSending)
{
    expectRefused({
        {"area 2 with count 3", [](auto h, auto s) { return TALU_ReadCHD(h, 0, 0, 1, 2, 3, nullptr, s); }},
        {"count 0", [](auto h, auto s) { return TALU_ReadCHD(h, 0, 0, 1, 0, 0, nullptr, s); }},
        {"page 8", [](auto h, auto s) { return TALU_ReadCHD(h, 0, 0, 8, 0, 1, nullptr, s); }},
        {"page -1", [](auto h, auto s) { return TALU_ReadCHD(h, 0, 0, -1, 0, 1, nullptr, s); }},
        {"area 4", [](auto h, auto s) { return TALU_ReadCHD(h, 0, 0, 0, 4, 1, nullptr, s); }},
        {"write page 8", [](auto h, auto s) { return TALU_WriteCHD(h, 0, 0, 8, 0, kEight.data(), s); }},
        {"write area -1", [](auto h, auto s) { return TALU_WriteCHD(h, 0, 0, 0, -1, kEight.data(), s); }},
        {"write without data", [](auto h, auto s) { return TALU_WriteCHD(h, 0, 0, 0, 0, nullptr, s); }},
        {"password selector 2", [](auto h, auto s) { return TALU_SetPasswordCHD(h, 2, kEight.data(), s); }},
        {"password missing", [](auto h, auto s) { return TALU_SetPasswordCHD(h, 0, nullptr, s); }},
        {"mask missing", [](auto h, auto s) { return TALU_HaltCHG(h, 8, nullptr, s); }},
        {"CHB values missing", [](auto h, auto s) { return TALU_WriteAllCHB(h, 1, nullptr, kFive2.data(), s); }},
    });
    // The largest valid read: area 0 with 4 pages, area 3 with 1.
    std::uint8_t status = kUnset;
    EXPECT_EQ(sent([&] { return TALU_ReadCHD(handle(), 0, 0, 7, 0, 4, nullptr, &status); }).data, (Bytes{0x70, 0x04}));
    EXPECT_EQ(sent([&] { return TALU_ReadCHD(handle(), 0, 0, 0, 3, 1, nullptr, &status); }).data, (Bytes{0x03, 0x01}));
}

} // namespace
