// TALU commands against a scripted reader on a pseudo-terminal: the exact
// request each function sends, and how each reads the answers it gets.

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "linvaro.h"
#include "quorvel.h"
#include "quorvel_talu.h"
#include "scripted_reader.h"

extern "C" int taluHeaderCheckC(void);

using namespace tables_test;

namespace {

// E0 04 01 00 12 34 56 78, and the same on the air.
const std::uint8_t kUid[8] = {0xE0, 0x04, 0x01, 0x00, 0x12, 0x34, 0x56, 0x78};
const Bytes kAirUid = {0x78, 0x56, 0x34, 0x12, 0x00, 0x01, 0x04, 0xE0};

// One link to the scripted reader for the whole suite (opening costs time),
// its TALU values set back to their defaults before each test.
class TaluCommands : public ScriptedReader {
protected:
    void SetUp() override
    {
        ScriptedReader::SetUp();
        ASSERT_EQ(TALU_SetUplinkISO15693(handle(), 1, 0), 0);
        ASSERT_EQ(TALU_SetDownlinkISO15693(handle(), 1), 0);
        ASSERT_EQ(QVL_SetTimeout(handle(), 1000), 1);
        answerAll(0x00, {0x00});
        seen = requestCount();
    }

    // The request the last call sent (command byte first, then its data).
    Bytes lastRequest()
    {
        EXPECT_TRUE(waitRequests(seen + 1));
        const auto all = requests();
        EXPECT_EQ(all.size(), seen + 1) << "one command, one frame";
        seen = all.size();
        if (all.empty())
            return {};
        return cat({{all.back().command}, all.back().data});
    }

    bool nothingSent() { return requestCount() == seen; }

    std::size_t seen = 0;
};

// --- Requests -------------------------------------------------------------

struct RequestCase {
    const char* name;
    std::function<std::int32_t(std::int32_t handle)> call;
    Bytes expected; // command byte, then the data
};

void PrintTo(const RequestCase& c, std::ostream* os)
{
    *os << c.name;
}

std::uint8_t gStatus;
std::uint8_t gData[TALU_ANSWER_SIZE];
std::uint8_t gCount;
std::uint8_t gRecords[TALU_MAX_RECORDS * TALU_RECORD_SIZE];
std::int32_t gFlag;
TALU_Features gFeatures;

const std::uint8_t kValue[4] = {0x11, 0x22, 0x33, 0x44}; // most significant first
const std::uint8_t kMask[2] = {0x05, 0x67};

// Default link values: uplink 1 and 0 (control 0x01), downlink 1 (flag 0x02).
const RequestCase kRequests[] = {
    {"ReadBlockUnaddressed", [](auto h) { return TALU_ReadBlockISO15693(h, 3, 0, nullptr, gData, &gStatus); },
     {0x21, 0x05, 0x02, 0x20, 0x03}},
    {"ReadBlockSelected", [](auto h) { return TALU_ReadBlockISO15693(h, 3, 1, kUid, gData, &gStatus); },
     {0x21, 0x05, 0x12, 0x20, 0x03}},
    {"ReadBlockAddressed", [](auto h) { return TALU_ReadBlockISO15693(h, 3, 2, kUid, gData, &gStatus); },
     cat({{0x21, 0x05, 0x22, 0x20}, kAirUid, {0x03}})},
    {"WriteBlock", [](auto h) { return TALU_WriteBlockISO15693(h, 5, 4, kValue, 0, 2, kUid, gData, &gStatus); },
     cat({{0x21, 0x0D, 0x22, 0x21}, kAirUid, {0x05, 0x44, 0x33, 0x22, 0x11}})},
    {"WriteBlockOption", [](auto h) { return TALU_WriteBlockISO15693(h, 5, 4, kValue, 1, 0, nullptr, gData, &gStatus); },
     {0x21, 0x0D, 0x42, 0x21, 0x05, 0x44, 0x33, 0x22, 0x11, 63}},
    {"LockBlock", [](auto h) { return TALU_LockBlockISO15693(h, 7, 0, 0, nullptr, gData, &gStatus); },
     {0x21, 0x0D, 0x02, 0x22, 0x07}},
    {"LockBlockOption", [](auto h) { return TALU_LockBlockISO15693(h, 7, 1, 2, kUid, gData, &gStatus); },
     cat({{0x21, 0x0D, 0x62, 0x22}, kAirUid, {0x07, 63}})},
    {"StayQuiet", [](auto h) { return TALU_StayQuietISO15693(h, kUid, &gStatus); },
     cat({{0x21, 0x01, 0x22, 0x02}, kAirUid})},
    {"Select", [](auto h) { return TALU_SelectISO15693(h, kUid, gData, &gStatus); },
     cat({{0x21, 0x05, 0x22, 0x25}, kAirUid})},
    {"ResetToReady", [](auto h) { return TALU_RTReadyISO15693(h, 0, nullptr, gData, &gStatus); },
     {0x21, 0x05, 0x02, 0x26}},
    {"WriteAfi", [](auto h) { return TALU_WriteAfiISO15693(h, 0x91, 0, 2, kUid, gData, &gStatus); },
     cat({{0x21, 0x0D, 0x22, 0x27}, kAirUid, {0x91}})},
    {"LockAfi", [](auto h) { return TALU_LockAfiISO15693(h, 1, 0, nullptr, gData, &gStatus); },
     {0x21, 0x0D, 0x42, 0x28, 63}},
    {"WriteDsfid", [](auto h) { return TALU_WriteDsfidISO15693(h, 0x07, 0, 1, nullptr, gData, &gStatus); },
     {0x21, 0x0D, 0x12, 0x29, 0x07}},
    {"LockDsfid", [](auto h) { return TALU_LockDsfidISO15693(h, 0, 2, kUid, gData, &gStatus); },
     cat({{0x21, 0x0D, 0x22, 0x2A}, kAirUid})},
    {"SystemInfo", [](auto h) { return TALU_SystemInfoISO15693(h, 2, kUid, gData, &gStatus); },
     cat({{0x21, 0x05, 0x22, 0x2B}, kAirUid})},
    {"BlockStatus", [](auto h) { return TALU_BlockStatusISO15693(h, 0, 8, 2, kUid, gData, &gStatus); },
     cat({{0x21, 0x05, 0x22, 0x2C}, kAirUid, {0x00, 0x07}})},
    {"EasSet", [](auto h) { return TALU_WriteEasCHM(h, 1, 2, kUid, gData, &gStatus); },
     cat({{0x21, 0x0D, 0x22, 0xA2, 0x04}, kAirUid})},
    {"EasReset", [](auto h) { return TALU_WriteEasCHM(h, 0, 0, nullptr, gData, &gStatus); },
     {0x21, 0x0D, 0x02, 0xA3, 0x04}},
    {"EasLock", [](auto h) { return TALU_WriteEasCHM(h, 2, 0, nullptr, gData, &gStatus); },
     {0x21, 0x0D, 0x02, 0xA4, 0x04}},
    {"EasOtherActionSets", [](auto h) { return TALU_WriteEasCHM(h, 7, 0, nullptr, gData, &gStatus); },
     {0x21, 0x0D, 0x02, 0xA2, 0x04}},
    {"EasCheck", [](auto h) { return TALU_CheckEasCHM(h, 2, kUid, &gFlag, &gStatus); },
     cat({{0x21, 0x05, 0x22, 0xA5, 0x04}, kAirUid})},
    {"Inventory",
     [](auto h) { return TALU_InventoryISO15693(h, 0, 0, 0, 0, nullptr, &gCount, gRecords, &gStatus); },
     {0x21, 0x05, 0x06, 0x01, 0x00, 10}},
    {"InventoryOneSlotAfiMask",
     [](auto h) { return TALU_InventoryISO15693(h, 1, 1, 0x91, 12, kMask, &gCount, gRecords, &gStatus); },
     {0x21, 0x05, 0x36, 0x01, 0x91, 0x0C, 0x67, 0x05, 10}},
    {"InventoryChm",
     [](auto h) { return TALU_InventoryCHM(h, 0, 0, 0, 0, 0, 8, 0, 0, nullptr, &gCount, gRecords, &gStatus); },
     {0x21, 0x05, 0x06, 0xA0, 0x04, 0x00, 0x00, 0x07, 33}},
    {"InventoryChmFastOption",
     [](auto h) { return TALU_InventoryCHM(h, 1, 0, 1, 0x92, 2, 3, 1, 8, kMask, &gCount, gRecords, &gStatus); },
     {0x21, 0x45, 0x56, 0xA1, 0x04, 0x92, 0x08, 0x05, 0x02, 0x02, 21}},
    {"InventoryChmHugeBlockCount", // the answer length byte wraps; no overflow on the way
     [](auto h) {
         return TALU_InventoryCHM(h, 0, 0, 0, 0, 0, 0x40000001, 1, 0, nullptr, &gCount, gRecords, &gStatus);
     },
     {0x21, 0x05, 0x46, 0xA0, 0x04, 0x00, 0x00, 0x00, 13}},
    {"AutoInventory",
     [](auto h) { return TALU_AutoInventoryISO15693(h, 0, 0, 0, 16, &gCount, gRecords, &gStatus); },
     {0x20, 0x05, 0x10}},
    {"AutoInventoryAfi",
     [](auto h) { return TALU_AutoInventoryISO15693(h, 0, 1, 0x91, 16, &gCount, gRecords, &gStatus); },
     {0x20, 0x15, 0x10, 0x91}},
    {"AutoInventoryFlagA",
     [](auto h) { return TALU_AutoInventoryISO15693(h, 1, 0, 0x91, 7, &gCount, gRecords, &gStatus); },
     {0x20, 0x85, 0x07}},
    {"AutoInventoryChm",
     [](auto h) { return TALU_AutoInventoryCHM(h, 0, 1, 1, 0x91, 0, 8, 16, &gCount, gRecords, &gStatus); },
     {0x20, 0x75, 0x10, 0x91, 0x00, 0x07}},
    {"AutoInventoryChmFlagA",
     [](auto h) { return TALU_AutoInventoryCHM(h, 1, 0, 0, 0x91, 4, 2, 16, &gCount, gRecords, &gStatus); },
     {0x20, 0xA5, 0x10, 0x04, 0x01}},
    {"RfOn", [](auto h) { return TALU_SetRf(h, 1, &gStatus); }, {0x0C}},
    {"RfOff", [](auto h) { return TALU_SetRf(h, 0, &gStatus); }, {0x0D}},
    {"Features", [](auto h) { return TALU_GetFeatures(h, &gFeatures, &gStatus); }, {0x61}},
    {"GenericAllFlags",
     [](auto h) {
         const std::uint8_t request[] = {0x02, 0x20, 0x03};
         return TALU_GenericCommandISO15693(h, 1, 1, 1, 1, 0x33, 3, request, &gCount, gRecords, &gStatus);
     },
     {0x21, 0xCD, 0x02, 0x20, 0x03}},
    {"GenericWriteWithOption",
     [](auto h) {
         const std::uint8_t request[] = {0x42, 0x21, 0x01, 0xAA, 0xBB, 0xCC, 0xDD};
         return TALU_GenericCommandISO15693(h, 0, 0, 0, 5, 0x133, 7, request, &gCount, gRecords, &gStatus);
     },
     {0x21, 0x09, 0x42, 0x21, 0x01, 0xAA, 0xBB, 0xCC, 0xDD, 0x33}},
    {"GenericInventoryNoWrite",
     [](auto h) {
         const std::uint8_t request[] = {0x46, 0x01, 0x00};
         return TALU_GenericCommandISO15693(h, 0, 0, 0, 1, 99, 3, request, &gCount, gRecords, &gStatus);
     },
     {0x21, 0x09, 0x46, 0x01, 0x00}},
};

class TaluRequests : public TaluCommands, public ::testing::WithParamInterface<RequestCase> {};

TEST_P(TaluRequests, SendsExactly)
{
    EXPECT_EQ(GetParam().call(handle()), 0);
    EXPECT_EQ(lastRequest(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Talu, TaluRequests, ::testing::ValuesIn(kRequests),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TaluCommands, LinkValuesShapeTheRequests)
{
    std::int32_t up1 = -1, up2 = -1, down = -1;
    ASSERT_EQ(TALU_GetUplinkISO15693(handle(), &up1, &up2), 0);
    ASSERT_EQ(TALU_GetDownlinkISO15693(handle(), &down), 0);
    EXPECT_EQ(up1, 1);
    EXPECT_EQ(up2, 0);
    EXPECT_EQ(down, 1);
    EXPECT_TRUE(nothingSent()) << "the link values are stored only";

    struct Step {
        std::int32_t up1, up2, down;
        Bytes inventory; // TALU_InventoryISO15693 without mask
        Bytes read;      // TALU_ReadBlockISO15693 block 3, mode 0
        Bytes automatic; // TALU_AutoInventoryISO15693 parameter 16
    };
    const Step steps[] = {
        {0, 0, 1, {0x21, 0x04, 0x06, 0x01, 0x00}, {0x21, 0x04, 0x02, 0x20, 0x03}, {0x20, 0x04, 0x10}},
        {0, 1, 1, {0x21, 0x06, 0x06, 0x01, 0x00, 10}, {0x21, 0x06, 0x02, 0x20, 0x03}, {0x20, 0x06, 0x10}},
        {2, 0, 1, {0x21, 0x05, 0x06, 0x01, 0x00}, {0x21, 0x05, 0x02, 0x20, 0x03}, {0x20, 0x05, 0x10}},
        {1, 3, 0, {0x21, 0x07, 0x04, 0x01, 0x00, 10}, {0x21, 0x07, 0x00, 0x20, 0x03}, {0x20, 0x03, 0x10}},
        {1, 0, 2, {0x21, 0x05, 0x04, 0x01, 0x00, 10}, {0x21, 0x05, 0x00, 0x20, 0x03}, {0x20, 0x05, 0x10}},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message() << "uplink " << s.up1 << "," << s.up2 << " downlink " << s.down);
        ASSERT_EQ(TALU_SetUplinkISO15693(handle(), s.up1, s.up2), 0);
        ASSERT_EQ(TALU_SetDownlinkISO15693(handle(), s.down), 0);
        ASSERT_EQ(TALU_GetUplinkISO15693(handle(), &up1, &up2), 0);
        EXPECT_EQ(up1, s.up1);
        EXPECT_EQ(up2, s.up2);
        EXPECT_EQ(TALU_InventoryISO15693(handle(), 0, 0, 0, 0, nullptr, &gCount, gRecords, &gStatus), 0);
        EXPECT_EQ(lastRequest(), s.inventory);
        EXPECT_EQ(TALU_ReadBlockISO15693(handle(), 3, 0, nullptr, gData, &gStatus), 0);
        EXPECT_EQ(lastRequest(), s.read);
        EXPECT_EQ(TALU_AutoInventoryISO15693(handle(), 0, 0, 0, 16, &gCount, gRecords, &gStatus), 0);
        EXPECT_EQ(lastRequest(), s.automatic);
    }
    // The downlink also rules the request flags of the CHM inventory, the uplink its extra byte.
    ASSERT_EQ(TALU_SetUplinkISO15693(handle(), 0, 0), 0);
    EXPECT_EQ(TALU_InventoryCHM(handle(), 0, 1, 0, 0, 0, 1, 0, 0, nullptr, &gCount, gRecords, &gStatus), 0);
    EXPECT_EQ(lastRequest(), (Bytes{0x21, 0x04, 0x24, 0xA0, 0x04, 0x00, 0x00, 0x00}));
}

TEST_F(TaluCommands, BadHandlesAndArgumentsSendNothing)
{
    std::int32_t value = 77;
    for (std::int32_t bad : {0, 17, 9}) {
        EXPECT_EQ(TALU_SetUplinkISO15693(bad, 0, 0), LVRM_ERR_INVALID_HANDLE);
        EXPECT_EQ(TALU_GetDownlinkISO15693(bad, &value), LVRM_ERR_INVALID_HANDLE);
        EXPECT_EQ(TALU_SetRf(bad, 1, &gStatus), LVRM_ERR_INVALID_HANDLE);
        EXPECT_EQ(TALU_ReadBlockISO15693(bad, 0, 0, nullptr, gData, &gStatus), LVRM_ERR_INVALID_HANDLE);
        // The handle() before the arguments.
        EXPECT_EQ(TALU_ReadBlockISO15693(bad, 0, 2, nullptr, gData, &gStatus), LVRM_ERR_INVALID_HANDLE);
        EXPECT_EQ(TALU_WriteBlockISO15693(bad, 0, -1, nullptr, 0, 0, nullptr, gData, &gStatus),
                  LVRM_ERR_INVALID_HANDLE);
        EXPECT_EQ(TALU_GenericCommandISO15693(bad, 0, 1, 0, 0, 0, 3, nullptr, nullptr, nullptr, &gStatus),
                  LVRM_ERR_INVALID_HANDLE);
    }
    EXPECT_EQ(value, 77);

    struct Case {
        const char* name;
        std::function<std::int32_t()> call;
    };
    const Case cases[] = {
        {"addressed without UID", [] { return TALU_ReadBlockISO15693(handle(), 0, 2, nullptr, gData, &gStatus); }},
        {"stay quiet without UID", [] { return TALU_StayQuietISO15693(handle(), nullptr, &gStatus); }},
        {"write without data", [] { return TALU_WriteBlockISO15693(handle(), 0, 4, nullptr, 0, 0, nullptr, gData, &gStatus); }},
        {"write of a negative count", [] { return TALU_WriteBlockISO15693(handle(), 0, -1, kValue, 0, 0, nullptr, gData, &gStatus); }},
        {"write longer than a frame", [] {
             static const std::uint8_t big[250] = {};
             return TALU_WriteBlockISO15693(handle(), 0, 250, big, 0, 2, kUid, gData, &gStatus);
         }},
        {"mask without bytes", [] { return TALU_InventoryISO15693(handle(), 0, 0, 0, 8, nullptr, &gCount, gRecords, &gStatus); }},
        {"mask too long", [] { return TALU_InventoryISO15693(handle(), 0, 0, 0, 256, kMask, &gCount, gRecords, &gStatus); }},
        {"generic request without bytes", [] {
             return TALU_GenericCommandISO15693(handle(), 0, 1, 0, 0, 0, 3, nullptr, &gCount, gRecords, &gStatus);
         }},
        {"generic request longer than a frame", [] {
             static const std::uint8_t big[255] = {0x06};
             return TALU_GenericCommandISO15693(handle(), 0, 1, 0, 0, 10, 255, big, &gCount, gRecords, &gStatus);
         }},
    };
    for (const Case& c : cases) {
        gStatus = 0;
        EXPECT_EQ(c.call(), 0) << c.name;
        EXPECT_EQ(gStatus, TALU_STATUS_BAD_ARGUMENT) << c.name;
        EXPECT_TRUE(nothingSent()) << c.name;
    }
    // A 242-byte write still fits a frame: control, flags, command, UID, block, data, extra byte.
    static const std::uint8_t fits[242] = {};
    EXPECT_EQ(TALU_WriteBlockISO15693(handle(), 0, 242, fits, 1, 2, kUid, gData, &gStatus), 0);
    EXPECT_EQ(lastRequest().size(), 1u + 255u);
}

// --- Answers --------------------------------------------------------------

TEST(TaluHeader, UsableFromC)
{
    EXPECT_EQ(taluHeaderCheckC(), static_cast<int>(sizeof(TALU_Features)) + 1) << "handle 0 is refused";
}

TEST_F(TaluCommands, FeaturesAreActiveLow)
{
    answerAll(0x00, {0x12, 0x34, 0x6F});
    TALU_Features f{};
    std::uint8_t status = 0xEE;
    EXPECT_EQ(TALU_GetFeatures(handle(), &f, &status), 0);
    EXPECT_EQ(status, 0x00);
    EXPECT_EQ(f.byte0, 0x12);
    EXPECT_EQ(f.byte1, 0x34);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(f.flags[i], i == 4 || i == 7 ? 1 : 0) << "flag " << i;

    // Too short, or refused: the record stays as it was.
    const TALU_Features before = f;
    for (auto [st, data] : {std::pair<std::uint8_t, Bytes>{0x00, {0x01, 0x02}}, {0x81, {0x00, 0x00, 0x00}}}) {
        answerAll(st, data);
        EXPECT_EQ(TALU_GetFeatures(handle(), &f, &status), 0);
        EXPECT_EQ(status, st);
        EXPECT_EQ(std::memcmp(&f, &before, sizeof f), 0);
    }
}

TEST_F(TaluCommands, EasCheckReadsTheStatus)
{
    struct Case {
        std::uint8_t status;
        std::int32_t flag;
        std::uint8_t statusOut;
    };
    for (const Case c :
         {Case{0x00, 1, 0x00}, Case{QVL_STATUS_NO_TAG, 0, 0x00}, Case{0x85, 5, 0x85}, Case{0x04, 1, 0x04}}) {
        answerAll(c.status, c.status & 0x80 ? Bytes{} : Bytes{0x00, 0xA5});
        std::int32_t flag = 5;
        std::uint8_t status = 0xEE;
        EXPECT_EQ(TALU_CheckEasCHM(handle(), 2, kUid, &flag, &status), 0);
        EXPECT_EQ(flag, c.flag) << "status " << int(c.status);
        EXPECT_EQ(status, c.statusOut) << "status " << int(c.status);
    }
}

TEST_F(TaluCommands, SingleTagAnswers)
{
    std::array<std::uint8_t, 300> data;
    std::uint8_t status = 0;
    const auto read = [&] {
        data.fill(0xEE);
        status = 0xEE;
        return TALU_ReadBlockISO15693(handle(), 0, 2, kUid, data.data(), &status);
    };

    answerAll(0x00, {0x00, 0x44, 0x33, 0x22, 0x11});
    EXPECT_EQ(read(), 0);
    EXPECT_EQ(Bytes(data.begin(), data.begin() + 6), (Bytes{0x00, 0x44, 0x33, 0x22, 0x11, 0xEE}));

    answerAll(QVL_STATUS_NO_TAG, {0x01, 0x12});
    EXPECT_EQ(read(), 0);
    EXPECT_EQ(status, QVL_STATUS_NO_TAG);
    EXPECT_EQ(data[0], 0xEE) << "nothing copied on a refusal";

    // A block list: only its first block.
    answerAll(0x00, blockList({{0x00, 0x01, 0x02, 0x03, 0x04}, {0x09, 0x09}}), 0xFF);
    EXPECT_EQ(read(), 0);
    EXPECT_EQ(Bytes(data.begin(), data.begin() + 6), (Bytes{0x00, 0x01, 0x02, 0x03, 0x04, 0xEE}));

    // The longest plain answer fills 254 bytes, never more.
    answerAll(0x00, Bytes(254, 0x5A));
    EXPECT_EQ(read(), 0);
    EXPECT_EQ(data[253], 0x5A);
    EXPECT_EQ(data[254], 0xEE);

    // A list running past the 2048 bytes a TALU answer may hold is malformed.
    answerAll(0x00, blockList(std::vector<Bytes>(9, Bytes(250, 0x01))), 0xFF);
    EXPECT_EQ(read(), LVRM_ERR_WRONG_BLOCK_FORMAT);
    EXPECT_EQ(data[0], 0xEE);
}

TEST_F(TaluCommands, RecordsAreBoundedBySlotAndArray)
{
    std::vector<std::uint8_t> records((TALU_MAX_RECORDS + 1) * TALU_RECORD_SIZE);
    std::uint8_t count = 0;
    std::uint8_t status = 0;
    const auto inventory = [&] {
        std::fill(records.begin(), records.end(), 0xEE);
        count = 0xEE;
        status = 0xEE;
        return TALU_AutoInventoryISO15693(handle(), 0, 0, 0, 16, &count, records.data(), &status);
    };
    const auto slot = [&](std::size_t i, std::size_t n) {
        return Bytes(records.begin() + static_cast<long>(i * TALU_RECORD_SIZE),
                     records.begin() + static_cast<long>(i * TALU_RECORD_SIZE + n));
    };

    const Bytes tagA = cat({{0x00, 0x00}, kAirUid});
    const Bytes tagB = {0x00, 0x07, 1, 2, 3, 4, 5, 6, 7, 8};
    answerAll(0x00, blockList({tagA, tagB}), 0xFF);
    EXPECT_EQ(inventory(), 0);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(slot(0, 10), tagA);
    EXPECT_EQ(slot(1, 10), tagB);
    EXPECT_EQ(slot(1, TALU_RECORD_SIZE)[10], 0) << "the rest of a used slot is cleared";
    EXPECT_EQ(slot(2, 1)[0], 0xEE);

    answerAll(0x00, blockList({}), 0xFF);
    EXPECT_EQ(inventory(), 0);
    EXPECT_EQ(count, 0);

    // A plain answer is one record.
    answerAll(0x00, tagB);
    EXPECT_EQ(inventory(), 0);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(slot(0, 10), tagB);

    // A refusal leaves count and slots alone.
    answerAll(0x84, blockList({tagA}), 0xFF);
    EXPECT_EQ(inventory(), 0);
    EXPECT_EQ(status, 0x84);
    EXPECT_EQ(count, 0xEE);
    EXPECT_EQ(slot(0, 1)[0], 0xEE);

    // A record longer than its slot is cut to 128 bytes.
    answerAll(0x00, blockList({Bytes(200, 0x77), tagB}), 0xFF);
    EXPECT_EQ(inventory(), 0);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(slot(0, TALU_RECORD_SIZE), Bytes(TALU_RECORD_SIZE, 0x77));
    EXPECT_EQ(slot(1, 10), tagB);

    // More records than slots: the first 255, the slot after them untouched.
    answerAll(0x00, blockList(std::vector<Bytes>(300, Bytes{0x01})), 0xFF);
    EXPECT_EQ(inventory(), 0);
    EXPECT_EQ(count, 255);
    EXPECT_EQ(slot(254, 2), (Bytes{0x01, 0x00}));
    EXPECT_EQ(slot(255, 1)[0], 0xEE);

    // A list running past the 2048 bytes a TALU answer may hold is malformed.
    answerAll(0x00, blockList(std::vector<Bytes>(9, Bytes(250, 0x01))), 0xFF);
    EXPECT_EQ(inventory(), LVRM_ERR_WRONG_BLOCK_FORMAT);
    EXPECT_EQ(status, 0x00);
    EXPECT_EQ(count, 0xEE) << "the count stays as it was";
}

TEST_F(TaluCommands, NoAnswerTimesOut)
{
    silenceAll();
    ASSERT_EQ(QVL_SetTimeout(handle(), 100), 1);
    std::uint8_t status = 0xEE, count = 0xEE;
    EXPECT_EQ(TALU_SetRf(handle(), 1, &status), QVL_ERR_TIMEOUT);
    EXPECT_EQ(TALU_AutoInventoryISO15693(handle(), 0, 0, 0, 16, &count, gRecords, &status), QVL_ERR_TIMEOUT);
    EXPECT_EQ(status, 0xEE);
    EXPECT_EQ(count, 0xEE);
    EXPECT_TRUE(waitRequests(seen + 2));
}

} // namespace
