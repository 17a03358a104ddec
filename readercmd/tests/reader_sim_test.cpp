// The reader-level commands end to end: through the link over a
// pseudo-terminal to the simulated FENO, GIRM, ORBA and TALU readers, with
// state that persists from command to command.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <algorithm>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "quorvel.h"
#include "simulated_family.h"

namespace {

constexpr int kPort = 5;
constexpr int kWaitMs = 3000;
constexpr std::uint8_t kUnset = 0xEE;

const sim::Uid kUid1 = *sim::uidFromText("E004010012345678");
const sim::Uid kUid2 = *sim::uidFromText("E0040100AABBCCDD");

// Seconds since 2000 of six clock fields (2000 to 2099), for comparing clock readings.
long long secondsOf(const std::array<std::uint8_t, 6>& f)
{
    std::tm t{};
    t.tm_year = 100 + f[0];
    t.tm_mon = f[1] - 1;
    t.tm_mday = f[2];
    t.tm_hour = f[3];
    t.tm_min = f[4];
    t.tm_sec = f[5];
    return static_cast<long long>(timegm(&t));
}

// A simulated reader of one family served as COM5, and a link to it.
class SimulatedReader : public ::testing::Test {
protected:
    void serve(const char* family)
    {
        ASSERT_NO_FATAL_FAILURE(family_.serve(family, kPort, {}, false));
        reader().setLog([this](const std::string& line) {
            std::lock_guard lock(logLock_);
            log_.push_back(line);
            logged_.notify_all();
        });
        open(115200);
    }
    void open(int baud) { family_.open(baud); }
    void close() { family_.close(); }
    void TearDown() override { close(); }

    sim::Reader& reader() { return family_.reader(); }
    std::int32_t h() const { return family_.handle(); }

    // Whether the reader logged this line within the wait.
    bool logged(const std::string& line)
    {
        std::unique_lock lock(logLock_);
        return logged_.wait_for(lock, std::chrono::milliseconds(kWaitMs), [&] {
            return std::find(log_.begin(), log_.end(), line) != log_.end();
        });
    }

    // The link sees no answer while the reader does not take its requests.
    void expectNoAnswer()
    {
        ASSERT_EQ(QVL_SetTimeout(h(), 200), 1);
        std::uint8_t status = kUnset;
        EXPECT_EQ(QVL_IdentifyReaderOnNetwork(h(), nullptr, nullptr, nullptr, &status), QVL_ERR_TIMEOUT);
        ASSERT_EQ(QVL_SetTimeout(h(), QVL_DEFAULT_TIMEOUT_MS), 1);
    }

    std::string identify()
    {
        char text[256] = {};
        std::uint8_t a = 0, b = 0, status = kUnset;
        EXPECT_EQ(QVL_IdentifyReaderOnNetwork(h(), text, &a, &b, &status), 0);
        EXPECT_EQ(status, 0x00);
        return text;
    }

    // The log outlives the reader that writes to it from its serving thread.
    std::mutex logLock_;
    std::condition_variable logged_;
    std::vector<std::string> log_;
    sim_test::SimulatedFamily family_;
};

// --- FENO and GIRM: the reader commands they share --------------------------------------------------------------

// The FENO commands, or the GIRM ones under the gate names.
struct SharedCommands {
    const char* family;
    const char* model;
    decltype(&FENO_GetZPXVersion) zpxVersion;
    decltype(&FENO_GetRPUVersion) rpuVersion;
    decltype(&FENO_SetRTC) setClock;
    decltype(&FENO_GetRTC) getClock;
    decltype(&FENO_SetReaderAddress) setAddress;
    decltype(&FENO_GetReaderAddress) getAddress;
    decltype(&FENO_SetReaderSpeed) setSpeed;
    decltype(&FENO_Beep) beep;
};

const SharedCommands kFeno{"feno", "MK-A1", FENO_GetZPXVersion, FENO_GetRPUVersion, FENO_SetRTC, FENO_GetRTC,
                           FENO_SetReaderAddress, FENO_GetReaderAddress, FENO_SetReaderSpeed, FENO_Beep};
const SharedCommands kGirm{"girm", "MK-F1", GIRM_GetZPXVersion, GIRM_GetRPUVersion, GIRM_SetRTC, GIRM_GetRTC,
                           GIRM_SetReaderAddress, GIRM_GetReaderAddress, GIRM_SetReaderSpeed, GIRM_Beep};

class SharedReaderCommands : public SimulatedReader, public ::testing::WithParamInterface<SharedCommands> {
protected:
    void SetUp() override { serve(GetParam().family); }
    const SharedCommands& c() const { return GetParam(); }
};

TEST_P(SharedReaderCommands, VersionsAndIdentification)
{
    std::uint8_t major = kUnset, minor = kUnset, status = kUnset;
    EXPECT_EQ(c().zpxVersion(h(), &major, &minor, &status), 0);
    EXPECT_EQ(status, 0x00);
    EXPECT_EQ(major, 2);
    EXPECT_EQ(minor, 0);
    char text[FENO_TEXT_SIZE] = {};
    std::uint8_t a = kUnset, b = kUnset;
    EXPECT_EQ(c().rpuVersion(h(), text, &a, &b, &status), 0);
    EXPECT_STREQ(text, c().model);
    EXPECT_EQ(identify(), c().model);
}

TEST_P(SharedReaderCommands, AClockSetIsReadBackRunning)
{
    std::uint8_t status = kUnset;
    const std::array<std::uint8_t, 6> set{24, 2, 29, 23, 59, 58};
    EXPECT_EQ(c().setClock(h(), set[0], set[1], set[2], set[3], set[4], set[5], &status), 0);
    EXPECT_EQ(status, 0x00);
    std::array<std::uint8_t, 6> now;
    now.fill(kUnset);
    EXPECT_EQ(c().getClock(h(), &now[0], &now[1], &now[2], &now[3], &now[4], &now[5], &status), 0);
    EXPECT_EQ(status, 0x00);
    const long long elapsed = secondsOf(now) - secondsOf(set);
    EXPECT_GE(elapsed, 0);
    EXPECT_LE(elapsed, 3) << "read back as set, running on (over the leap day into March)";

    // An impossible time is refused and the clock keeps running.
    EXPECT_EQ(c().setClock(h(), 23, 2, 29, 12, 0, 0, &status), 0);
    EXPECT_EQ(status, 0x82);
    EXPECT_EQ(c().getClock(h(), &now[0], &now[1], &now[2], &now[3], &now[4], &now[5], &status), 0);
    EXPECT_LE(secondsOf(now) - secondsOf(set), 3);
}

TEST_P(SharedReaderCommands, AnAddressChangedIsTheOneTheReaderAnswersTo)
{
    std::uint8_t status = kUnset, address = kUnset;
    EXPECT_EQ(c().setAddress(h(), 7, &status), 0);
    EXPECT_EQ(status, 0x00);
    expectNoAnswer(); // still sent to address 0
    ASSERT_EQ(QVL_SetAddress(h(), 7), 1);
    EXPECT_EQ(c().getAddress(h(), &address, &status), 0);
    EXPECT_EQ(address, 7);
    EXPECT_EQ(identify(), c().model);
    // The broadcast address reaches it too.
    ASSERT_EQ(QVL_SetAddress(h(), 0xFF), 1);
    EXPECT_EQ(c().getAddress(h(), &address, &status), 0);
    EXPECT_EQ(address, 7);
}

TEST_P(SharedReaderCommands, ASpeedChangeTakesTheHostReopeningAtTheNewSpeed)
{
    std::uint8_t status = kUnset;
    EXPECT_EQ(c().setSpeed(h(), 9, &status), 0);
    EXPECT_EQ(status, 0x82) << "no such speed code";
    EXPECT_EQ(c().setSpeed(h(), 2, &status), 0); // 19200 baud
    EXPECT_EQ(status, 0x00);
    expectNoAnswer();
    close();
    open(19200);
    EXPECT_EQ(identify(), c().model);
    EXPECT_EQ(reader().baud(), 19200);
}

TEST_P(SharedReaderCommands, TheBuzzerSounds)
{
    std::uint8_t status = kUnset;
    EXPECT_EQ(c().beep(h(), 300, 100, &status), 0);
    EXPECT_EQ(status, 0x00);
    EXPECT_TRUE(logged("beep 300 ms"));
}

INSTANTIATE_TEST_SUITE_P(FenoAndGirm, SharedReaderCommands, ::testing::Values(kFeno, kGirm),
                         [](const auto& info) { return std::string(info.param.family); });

// --- FENO -------------------------------------------------------------------------------------------------------

class FenoReaderLevel : public SimulatedReader {
protected:
    void SetUp() override { serve("feno"); }
};

TEST_F(FenoReaderLevel, IoLinesKeepTheirDirectionAndLevels)
{
    std::uint8_t status = kUnset, value = kUnset;
    EXPECT_EQ(FENO_SetIODir(h(), 1, 0x0F, &status), 0);
    EXPECT_EQ(FENO_SetIO(h(), 1, 0xA5, &status), 0);
    EXPECT_EQ(status, 0x00);
    EXPECT_EQ(FENO_GetIODir(h(), 1, &value, &status), 0);
    EXPECT_EQ(value, 0x0F);
    EXPECT_EQ(FENO_GetIO(h(), 1, &value, &status), 0);
    EXPECT_EQ(value, 0x05) << "the outputs as set, the inputs low";
    EXPECT_EQ(FENO_GetIO(h(), 0, &value, &status), 0);
    EXPECT_EQ(value, 0x00) << "the other port is untouched";
    EXPECT_EQ(FENO_SetIO(h(), 2, 0xFF, &status), 0);
    EXPECT_EQ(status, 0x82) << "no third port";

    // Restoring the defaults clears the ports.
    EXPECT_EQ(FENO_RestoreDefaults(h(), &status), 0);
    EXPECT_EQ(FENO_GetIODir(h(), 1, &value, &status), 0);
    EXPECT_EQ(value, 0x00);
}

// --- GIRM -------------------------------------------------------------------------------------------------------

class GirmGate : public SimulatedReader {
protected:
    void SetUp() override { serve("girm"); }

    void place(const sim::Uid& uid, bool eas, std::uint32_t block0 = 0)
    {
        sim::Tag tag(uid);
        tag.setEas(eas);
        tag.setBlock(0, block0);
        ASSERT_TRUE(reader().place(tag));
    }
    std::int32_t flag(decltype(&GIRM_IsEASAlarmed) query)
    {
        std::int32_t on = -1;
        std::uint8_t status = kUnset;
        EXPECT_EQ(query(h(), &on, &status), 0);
        EXPECT_EQ(status, 0x00);
        return on;
    }
    std::uint16_t value(decltype(&GIRM_GetPower) get)
    {
        std::uint16_t v = 0xEEEE;
        std::uint8_t status = kUnset;
        EXPECT_EQ(get(h(), &v, &status), 0);
        return v;
    }
    // Polls a flag until it reads `expected`, within the wait.
    bool becomes(decltype(&GIRM_IsEASAlarmed) query, std::int32_t expected)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
        while (std::chrono::steady_clock::now() < deadline) {
            if (flag(query) == expected)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
};

TEST_F(GirmGate, SettingsPersistUntilTheDefaultsAreRestored)
{
    std::uint8_t status = kUnset;
    EXPECT_EQ(value(GIRM_GetPower), 100);
    EXPECT_EQ(GIRM_SetPower(h(), 250, &status), 0);
    EXPECT_EQ(GIRM_SetMaxPedestals(h(), 4, &status), 0);
    EXPECT_EQ(GIRM_SetSynchroThreshold(h(), 0x1234, &status), 0);
    EXPECT_EQ(value(GIRM_GetPower), 250);
    EXPECT_EQ(value(GIRM_GetMaxPedestals), 4);
    EXPECT_EQ(value(GIRM_GetSynchroThreshold), 0x1234);
    EXPECT_EQ(GIRM_RestoreDefaults(h(), &status), 0);
    EXPECT_EQ(value(GIRM_GetPower), 100);
    EXPECT_EQ(value(GIRM_GetMaxPedestals), 2);
}

TEST_F(GirmGate, EasSurveillanceSoundsForArmedTags)
{
    std::uint8_t status = kUnset;
    ASSERT_NO_FATAL_FAILURE(place(kUid1, true));
    EXPECT_EQ(flag(GIRM_IsScanningEAS), 0);
    EXPECT_EQ(flag(GIRM_IsEASAlarmed), 0) << "no alarm without surveillance";

    EXPECT_EQ(GIRM_SetAlarmDuration(h(), 300, &status), 0);
    EXPECT_EQ(GIRM_StartEAS(h(), &status), 0);
    EXPECT_EQ(status, 0x00);
    EXPECT_EQ(flag(GIRM_IsScanningEAS), 1);
    EXPECT_EQ(flag(GIRM_IsEASAlarmed), 1);

    // The tag leaves: the alarm sounds on for its duration, then stops.
    reader().removeAll();
    EXPECT_TRUE(becomes(GIRM_IsEASAlarmed, 0));

    // A tag whose EAS bit is clear passes quietly.
    ASSERT_NO_FATAL_FAILURE(place(kUid2, false));
    EXPECT_EQ(flag(GIRM_IsEASAlarmed), 0);

    // The gate watches on its own between commands too.
    ASSERT_NO_FATAL_FAILURE(place(kUid1, true));
    const auto requests = reader().airRequestCount(0xA5);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    while (reader().airRequestCount(0xA5) == requests && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_GT(reader().airRequestCount(0xA5), requests);

    EXPECT_EQ(GIRM_StopEAS(h(), &status), 0);
    EXPECT_EQ(flag(GIRM_IsScanningEAS), 0);
    EXPECT_EQ(flag(GIRM_IsEASAlarmed), 0);
}

TEST_F(GirmGate, PresenceSensing)
{
    std::uint8_t status = kUnset;
    ASSERT_NO_FATAL_FAILURE(place(kUid1, false));
    EXPECT_EQ(flag(GIRM_GetPIRUse), 0);
    EXPECT_EQ(flag(GIRM_GetPIRPresence), 0) << "the sensor is not used";
    EXPECT_EQ(GIRM_SetPIRUse(h(), 1, &status), 0);
    EXPECT_EQ(flag(GIRM_GetPIRUse), 1);
    EXPECT_EQ(flag(GIRM_GetPIRPresence), 1);
    reader().removeAll();
    EXPECT_EQ(flag(GIRM_GetPIRPresence), 0);
    EXPECT_EQ(flag(GIRM_GetPIRState), 1) << "someone passed";
    EXPECT_EQ(flag(GIRM_GetPIRState), 0) << "and nobody since";
}

TEST_F(GirmGate, TheDatabaseNotesEachTagThatPasses)
{
    std::uint8_t status = kUnset;
    std::uint16_t count = 0xEEEE;
    std::int32_t full = -1;
    EXPECT_EQ(GIRM_SetReadID(h(), 1, &status), 0);
    EXPECT_EQ(GIRM_StartEAS(h(), &status), 0);
    ASSERT_NO_FATAL_FAILURE(place(kUid1, false, 0x11223344));
    ASSERT_NO_FATAL_FAILURE(place(kUid2, true, 0x55667788));
    EXPECT_EQ(GIRM_GetDatabaseInfo(h(), &count, &full, &status), 0);
    EXPECT_EQ(status, 0x00);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(full, 0);

    std::vector<sim::Uid> seen;
    for (std::uint16_t i = 0; i < 2; ++i) {
        std::array<std::uint8_t, GIRM_DATABASE_ENTRY_SIZE> entry;
        entry.fill(kUnset);
        EXPECT_EQ(GIRM_GetDatabaseEntry(h(), i, entry.data(), &status), 0);
        EXPECT_EQ(status, 0x00);
        sim::Uid uid{};
        std::memcpy(uid.data(), entry.data(), uid.size());
        seen.push_back(uid);
        const auto block0 = uid == kUid1 ? std::array<std::uint8_t, 4>{0x44, 0x33, 0x22, 0x11}
                                         : std::array<std::uint8_t, 4>{0x88, 0x77, 0x66, 0x55};
        EXPECT_EQ(0, std::memcmp(entry.data() + 8, block0.data(), 4)) << "block 0 as the tag holds it";
    }
    EXPECT_NE(std::find(seen.begin(), seen.end(), kUid1), seen.end());
    EXPECT_NE(std::find(seen.begin(), seen.end(), kUid2), seen.end());

    // A tag still in the gate is not noted twice; a past index is refused.
    EXPECT_EQ(GIRM_GetDatabaseInfo(h(), &count, &full, &status), 0);
    EXPECT_EQ(count, 2);
    std::array<std::uint8_t, GIRM_DATABASE_ENTRY_SIZE> entry;
    entry.fill(kUnset);
    EXPECT_EQ(GIRM_GetDatabaseEntry(h(), 2, entry.data(), &status), 0);
    EXPECT_EQ(status, 0x82);
    EXPECT_EQ(entry[0], 0x00) << "cleared, not filled";

    reader().removeAll();
    EXPECT_EQ(GIRM_ClearDatabase(h(), &status), 0);
    EXPECT_EQ(GIRM_GetDatabaseInfo(h(), &count, &full, &status), 0);
    EXPECT_EQ(count, 0);
}

// --- ORBA -------------------------------------------------------------------------------------------------------

class OrbaReaderLevel : public SimulatedReader {
protected:
    void SetUp() override { serve("orba"); }
};

TEST_F(OrbaReaderLevel, VersionAddressStatusAndReset)
{
    std::array<std::uint8_t, 4> version;
    std::uint8_t status = kUnset;
    EXPECT_EQ(ORBA_VersionQuery(h(), &version[0], &version[1], &version[2], &version[3], &status), 0);
    EXPECT_EQ(version, (std::array<std::uint8_t, 4>{0x21, 0x14, 0x02, 0x00}));

    std::uint8_t address = kUnset;
    EXPECT_EQ(ORBA_SetReaderAddress(h(), 9, &status), 0);
    EXPECT_EQ(status, 0x00);
    expectNoAnswer();
    ASSERT_EQ(QVL_SetAddress(h(), 9), 1);
    EXPECT_EQ(ORBA_GetReaderAddress(h(), &address, &status), 0);
    EXPECT_EQ(address, 9);

    std::uint8_t board = kUnset;
    std::array<std::int32_t, 5> flags;
    EXPECT_EQ(ORBA_BoardStatus(h(), &board, &flags[0], &flags[1], &flags[2], &flags[3], &flags[4], &status), 0);
    EXPECT_EQ(flags[0], 1) << "the RF field is on";
    EXPECT_EQ(ORBA_Sleep(h(), &status), 0);
    EXPECT_EQ(ORBA_BoardStatus(h(), &board, &flags[0], &flags[1], &flags[2], &flags[3], &flags[4], &status), 0);
    EXPECT_EQ(flags[0], 0) << "asleep, the field is off";
    EXPECT_EQ(ORBA_Reset(h(), &status), 0);
    EXPECT_EQ(ORBA_BoardStatus(h(), &board, &flags[0], &flags[1], &flags[2], &flags[3], &flags[4], &status), 0);
    EXPECT_EQ(flags[0], 1);
}

TEST_F(OrbaReaderLevel, OutputLinesKeepTheirLevels)
{
    std::uint8_t status = kUnset, outputs = 0xA3, c = 0x07, d = 0x08;
    std::int32_t flagA = 1, flagB = 0;
    EXPECT_EQ(ORBA_ChangeIO(h(), 2, &outputs, &flagA, &flagB, &c, &d, &status), 0);
    EXPECT_EQ(status, 0x00);
    EXPECT_EQ(outputs, 0xA0) << "outputs as set, inputs low";
    EXPECT_EQ(flagA, 1);
    EXPECT_EQ(c, 0x07);
    EXPECT_EQ(d, 0x08);
    // Read back with nothing to change.
    outputs = 0;
    EXPECT_EQ(ORBA_ChangeIO(h(), 0, &outputs, &flagA, &flagB, &c, &d, &status), 0);
    EXPECT_EQ(outputs, 0xA0);
    // Operation 1 changes only the outputs.
    outputs = 0x50;
    EXPECT_EQ(ORBA_ChangeIO(h(), 1, &outputs, &flagA, &flagB, &c, &d, &status), 0);
    EXPECT_EQ(outputs, 0x50);
    EXPECT_EQ(c, 0x07);
}

// --- TALU -------------------------------------------------------------------------------------------------------

class TaluReaderLevel : public SimulatedReader {
protected:
    void SetUp() override { serve("talu"); }
};

TEST_F(TaluReaderLevel, AddressSpeedAndIo)
{
    std::uint8_t status = kUnset, address = kUnset;
    EXPECT_EQ(TALU_SetAddress(h(), 3, &status), 0);
    expectNoAnswer();
    ASSERT_EQ(QVL_SetAddress(h(), 3), 1);
    EXPECT_EQ(TALU_GetAddress(h(), &address, &status), 0);
    EXPECT_EQ(address, 3);

    std::int32_t a = -1, b = -1;
    EXPECT_EQ(TALU_SetIO(h(), 1, &status), 0);
    EXPECT_EQ(TALU_GetIO(h(), &a, &b, &status), 0);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 0);
    EXPECT_EQ(TALU_Reset(h(), &status), 0);
    EXPECT_EQ(TALU_GetIO(h(), &a, &b, &status), 0);
    EXPECT_EQ(a, 0) << "reset drops the output";

    EXPECT_EQ(TALU_SetBaudrate(h(), 3, &status), 0); // 38400 baud
    EXPECT_EQ(status, 0x00);
    close();
    open(38400);
    ASSERT_EQ(QVL_SetAddress(h(), 3), 1);
    EXPECT_EQ(TALU_GetAddress(h(), &address, &status), 0);
    EXPECT_EQ(status, 0x00);
    EXPECT_EQ(address, 3);
}

} // namespace
