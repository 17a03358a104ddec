// The GIRM gate commands against a scripted reader: the FENO commands under
// their gate names, the set / get / flag patterns and the database.
#include <array>
#include <string>
#include <vector>

#include "quorvel.h"
#include "scripted_reader.h"

using namespace tables_test;

namespace {

class GirmCommands : public ScriptedReader {};

using Set = std::int32_t (*)(std::int32_t, std::uint16_t, std::uint8_t*);
using Get = std::int32_t (*)(std::int32_t, std::uint16_t*, std::uint8_t*);
using Flag = std::int32_t (*)(std::int32_t, std::int32_t*, std::uint8_t*);

struct Pair {
    const char* name;
    std::uint8_t code; // of the setter; the getter is the next code
    Set set;
    Get get;
};

const Pair kPairs[] = {
    {"chips", 0x14, GIRM_SetChips, GIRM_GetChips},
    {"synchro slot", 0x16, GIRM_SetSynchroSlot, GIRM_GetSynchroSlot},
    {"alarm duration", 0x18, GIRM_SetAlarmDuration, GIRM_GetAlarmDuration},
    {"power", 0x1A, GIRM_SetPower, GIRM_GetPower},
    {"synchro identifier", 0x1C, GIRM_SetSynchroIdentifier, GIRM_GetSynchroIdentifier},
    {"synchro antenna", 0x1E, GIRM_SetSynchroAntenna, GIRM_GetSynchroAntenna},
    {"synchro threshold", 0x20, GIRM_SetSynchroThreshold, GIRM_GetSynchroThreshold},
    {"mux sequence", 0x26, GIRM_SetMuxSequence, GIRM_GetMuxSequence},
    {"sorting rounds", 0x28, GIRM_SetSortingNbRounds, GIRM_GetSortingNbRounds},
    {"read ID", 0x2A, GIRM_SetReadID, GIRM_GetReadID},
};

const std::pair<std::uint8_t, Flag> kFlags[] = {
    {0x12, GIRM_IsScanningEAS}, {0x13, GIRM_IsEASAlarmed}, {0x22, GIRM_GetPIRPresence},
    {0x23, GIRM_GetPIRState},   {0x25, GIRM_GetPIRUse},
};

TEST_F(GirmCommands, EveryRowSendsItsRequest)
{
    std::vector<RequestRow> rows = {
        {"FENO speed", [](auto h, auto s) { return GIRM_SetReaderSpeed(h, 4, s); }, 0x01, {0x04}},
        {"FENO mode", [](auto h, auto s) { return GIRM_SetReaderMode(h, 1, s); }, 0x02, {0x01}},
        {"FENO address", [](auto h, auto s) { return GIRM_SetReaderAddress(h, 9, s); }, 0x03, {0x09}},
        {"FENO get address", [](auto h, auto s) { return GIRM_GetReaderAddress(h, nullptr, s); }, 0x04, {}},
        {"FENO ZPX version", [](auto h, auto s) { return GIRM_GetZPXVersion(h, nullptr, nullptr, s); }, 0x05, {}},
        {"FENO RPU version", [](auto h, auto s) { return GIRM_GetRPUVersion(h, nullptr, nullptr, nullptr, s); },
         0x06, {}},
        {"FENO restore defaults", [](auto h, auto s) { return GIRM_RestoreDefaults(h, s); }, 0x07, {}},
        {"FENO beep", [](auto h, auto s) { return GIRM_Beep(h, 1000, 500, s); }, 0x08, {10, 10}},
        {"FENO clock", [](auto h, auto s) { return GIRM_SetRTC(h, 1, 2, 3, 4, 5, 6, s); }, 0x09, {1, 2, 3, 4, 5, 6}},
        {"FENO get clock",
         [](auto h, auto s) { return GIRM_GetRTC(h, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, s); },
         0x0A, {}},
        {"start EAS", [](auto h, auto s) { return GIRM_StartEAS(h, s); }, 0x10, {}},
        {"stop EAS", [](auto h, auto s) { return GIRM_StopEAS(h, s); }, 0x11, {}},
        {"PIR use, a boolean byte", [](auto h, auto s) { return GIRM_SetPIRUse(h, 7, s); }, 0x24, {0x01}},
        {"PIR unused", [](auto h, auto s) { return GIRM_SetPIRUse(h, 0, s); }, 0x24, {0x00}},
        {"clear database", [](auto h, auto s) { return GIRM_ClearDatabase(h, s); }, 0x2C, {}},
        {"database info", [](auto h, auto s) { return GIRM_GetDatabaseInfo(h, nullptr, nullptr, s); }, 0x2D, {}},
        {"database entry: index high first",
         [](auto h, auto s) { return GIRM_GetDatabaseEntry(h, 0x0102, nullptr, s); }, 0x2E, {0x01, 0x02}},
        {"max pedestals", [](auto h, auto s) { return GIRM_SetMaxPedestals(h, 0x0A0B, s); }, 0x2F, {0x0A, 0x0B}},
        {"get max pedestals", [](auto h, auto s) { return GIRM_GetMaxPedestals(h, nullptr, s); }, 0x30, {}},
    };
    for (const Pair& p : kPairs) {
        rows.push_back({std::string("set ") + p.name, [p](auto h, auto s) { return p.set(h, 0xBEEF, s); }, p.code,
                        {0xBE, 0xEF}});
        rows.push_back({std::string("get ") + p.name, [p](auto h, auto s) { return p.get(h, nullptr, s); },
                        static_cast<std::uint8_t>(p.code + 1), {}});
    }
    for (const auto& [code, flag] : kFlags)
        rows.push_back({"flag", [flag](auto h, auto s) { return flag(h, nullptr, s); }, code, {}});
    expectRequests(rows);
}

TEST_F(GirmCommands, GettersStoreOnlyGoodAnswersThatReachTheValue)
{
    for (const Pair& p : kPairs) {
        SCOPED_TRACE(p.name);
        std::uint16_t value = 0x5555;
        std::uint8_t status = kUnset;
        answer(0x00, {0x12});
        EXPECT_EQ(p.get(handle(), &value, &status), 0);
        EXPECT_EQ(value, 0x5555) << "one byte leaves the value unchanged";
        answer(0x85, {0x12, 0x34});
        EXPECT_EQ(p.get(handle(), &value, &status), 0);
        EXPECT_EQ(value, 0x5555) << "status 0x85 leaves it unchanged";
        EXPECT_EQ(status, 0x85);
        answer(0x00, {0x12, 0x34, 0x56});
        EXPECT_EQ(p.get(handle(), &value, &status), 0);
        EXPECT_EQ(value, 0x1234);
    }
    for (const auto& [code, flag] : kFlags) {
        SCOPED_TRACE(code);
        std::int32_t on = -1;
        std::uint8_t status = kUnset;
        answer(0x00, {});
        EXPECT_EQ(flag(handle(), &on, &status), 0);
        EXPECT_EQ(on, -1);
        answer(0x81, {0x01});
        EXPECT_EQ(flag(handle(), &on, &status), 0);
        EXPECT_EQ(on, -1);
        answer(0x00, {0x04});
        EXPECT_EQ(flag(handle(), &on, &status), 0);
        EXPECT_EQ(on, 1);
        answer(0x00, {0x00});
        EXPECT_EQ(flag(handle(), &on, &status), 0);
        EXPECT_EQ(on, 0);
    }
}

TEST_F(GirmCommands, DatabaseInfoAndEntries)
{
    std::uint8_t status = kUnset;
    std::uint16_t count = 0x5555;
    std::int32_t flag = -1;
    answer(0x00, {0x00, 0x07});
    EXPECT_EQ(GIRM_GetDatabaseInfo(handle(), &count, &flag, &status), 0);
    EXPECT_EQ(count, 0x5555) << "both values need three bytes";
    EXPECT_EQ(flag, -1);
    answer(0x80, {0x00, 0x07, 0x01});
    EXPECT_EQ(GIRM_GetDatabaseInfo(handle(), &count, &flag, &status), 0);
    EXPECT_EQ(count, 0x5555);
    answer(0x00, {0x01, 0x07, 0x02});
    EXPECT_EQ(GIRM_GetDatabaseInfo(handle(), &count, &flag, &status), 0);
    EXPECT_EQ(count, 0x0107);
    EXPECT_EQ(flag, 1);

    std::array<std::uint8_t, GIRM_DATABASE_ENTRY_SIZE + 1> entry;
    const auto read = [&](std::uint8_t s, const Bytes& data) {
        entry.fill(kUnset);
        answer(s, data);
        EXPECT_EQ(GIRM_GetDatabaseEntry(handle(), 3, entry.data(), &status), 0);
        return Bytes(entry.begin(), entry.end());
    };
    const Bytes full = counting(GIRM_DATABASE_ENTRY_SIZE, 1);
    const Bytes zeros(GIRM_DATABASE_ENTRY_SIZE, 0);
    EXPECT_EQ(read(0x00, full), cat({full, {kUnset}}));
    EXPECT_EQ(read(0x00, Bytes(full.begin(), full.begin() + 39)), cat({Bytes(full.begin(), full.begin() + 8),
                                                                       Bytes(32, 0), {kUnset}}))
        << "the identifier part alone";
    EXPECT_EQ(read(0x00, Bytes(full.begin(), full.begin() + 7)), cat({zeros, {kUnset}}));
    EXPECT_EQ(read(0x84, full), cat({zeros, {kUnset}})) << "a failed status clears the entry";
    EXPECT_EQ(read(0x00, counting(200, 1)), cat({full, {kUnset}})) << "an over-long answer fills 40 bytes only";
}

} // namespace
