// Opening readers through the whole stack: the speed scan, identification
// and family table of the first make, the fall-back to the second make,
// reader information and antenna choice, closing.
#include <cctype>
#include <cstring>

#include "platform/clock.h"
#include "platform/serial.h"
#include "reader_fixture.h"

using namespace brenholt_test;

namespace {

class Open : public ReaderTest {
protected:
    // Whether nobody holds the port (serial ports are opened exclusively).
    bool portFree() { return platform::SerialPort::open(kPort, 115200).isOpen(); }
};

} // namespace

TEST_P(Open, FindsTheFamilyAndClosesAgain)
{
    open(true);
    if (GetParam().number == BRN_FAMILY_FENO) {
        // A FENO reader is brought to its defaults and given power 7.
        EXPECT_EQ(reader().commandCount(0x07), 1u);
        EXPECT_EQ(reader().commandCount(0x0F), 1u);
    }
    EXPECT_FALSE(portFree()) << "the reader's port is held while it is open";
    EXPECT_EQ(brnClose(handle_), 0);
    handle_ = nullptr;
    EXPECT_TRUE(portFree()) << "brnClose releases the port";
}

TEST_P(Open, ReaderInformation)
{
    open();
    brnReaderInfo info;
    std::memset(&info, 0x5A, sizeof info);
    const std::int32_t code = brnGetReaderInfo(handle_, &info);
    if (!GetParam().firstMake) {
        EXPECT_EQ(code, BRN_ERR_UNSUPPORTED) << "the second make has no identification to give";
        return;
    }
    ASSERT_EQ(code, BRN_OK);
    EXPECT_GT(std::strlen(info.model), 0u);
    EXPECT_EQ(info.reserved, 0x5A5A5A5Au) << "never written";
    EXPECT_EQ(info.capabilitiesExt, 0u);
    if (GetParam().number != BRN_FAMILY_TALU) {
        EXPECT_EQ(info.capabilities, BRN_CAP_ISO15693);
    }
}

TEST_P(Open, AntennaChoice)
{
    open();
    const std::int32_t code = brnSelectANT(handle_, 1);
    EXPECT_EQ(code, GetParam().firstMake ? BRN_ERR_READER : BRN_OK);
    if (GetParam().firstMake)
        return;
    // Switching readers touches the antenna only when one is named.
    constexpr int kSetAntenna = 0x08;
    const std::uint64_t before = reader().commandCount(kSetAntenna);
    EXPECT_EQ(brnSwitchReader(handle_, BRN_FAMILY_DALRIX, 0), 0);
    EXPECT_EQ(reader().commandCount(kSetAntenna), before);
    EXPECT_EQ(brnSwitchReader(handle_, BRN_FAMILY_DALRIX, 2), 0);
    EXPECT_EQ(reader().commandCount(kSetAntenna), before + 1);
}

TEST_P(Open, OneMakeOnly)
{
    brnHandle handle = nullptr;
    std::int32_t family = 0;
    if (GetParam().firstMake) {
        ASSERT_EQ(brnOpenSerialByType(kPort, "korvex", &handle, &family), BRN_OK);
        EXPECT_EQ(family, GetParam().number);
        brnClose(handle);
        // The second-make driver finds no reader of its make on the line.
        EXPECT_EQ(brnOpenSerialByType(kPort, "DL", &handle, &family), BRN_ERR_PORT);
        EXPECT_EQ(handle, nullptr);
    } else {
        // No first-make reader answers: the last identification's time-out.
        EXPECT_EQ(brnOpenSerialByType(kPort, "KORVEX", &handle, &family), BRN_ERR_VERSION);
        EXPECT_EQ(handle, nullptr);
    }
    EXPECT_TRUE(portFree());
}

INSTANTIATE_TEST_SUITE_P(Families, Open,
                         ::testing::ValuesIn(kFamilies),
                         [](const auto& info) { return std::string(info.param.sim); });

TEST(OpenWithoutReader, NoPort)
{
    sim::PortFolder ports; // COM3 does not exist in it
    brnHandle handle = nullptr;
    std::int32_t family = 0;
    EXPECT_EQ(brnOpenSerial(kPort, &handle, &family), BRN_ERR_PORT);
    EXPECT_EQ(brnOpenSerialByType(kPort, "KORVEX", &handle, &family), BRN_ERR_PORT);
    EXPECT_EQ(brnOpenSerialByType(kPort, "DL", &handle, &family), BRN_ERR_PORT);
    EXPECT_EQ(handle, nullptr);
}

// ---- the first make's speed scan and identification ----

namespace {

struct SpeedCase {
    const char* sim;
    int baud;
    int attemptsBefore; // speeds tried and given up before this one
};

class SpeedScan : public ::testing::TestWithParam<SpeedCase> {};

// A host's identification request frame: mode, address, command, length, CRC.
constexpr std::uint64_t kIdentifyFrameBytes = 6;

} // namespace

TEST_P(SpeedScan, FindsTheReaderAtItsSpeed)
{
    sim::PortFolder ports;
    std::string error;
    auto served = sim::serveReader(GetParam().sim, ports.portPath(kPort), GetParam().baud, {}, &error);
    ASSERT_TRUE(served) << error;
    brnHandle handle = nullptr;
    std::int32_t family = 0;
    const std::uint64_t start = platform::monotonicMs();
    ASSERT_EQ(brnOpenSerial(kPort, &handle, &family), BRN_OK);
    const std::uint64_t elapsed = platform::monotonicMs() - start;
    // Every speed tried before sent one identification the reader could not
    // take, then waited out its time-out and closed its link.
    EXPECT_EQ(served.reader->ignoredBytes(), GetParam().attemptsBefore * kIdentifyFrameBytes);
    EXPECT_GE(elapsed, GetParam().attemptsBefore * 500u);
    EXPECT_EQ(served.reader->commandCount(0x60), 1u) << "one identification at the reader's speed";
    // The link found stays at that speed.
    brnReaderInfo info{};
    EXPECT_EQ(brnGetReaderInfo(handle, &info), BRN_OK);
    EXPECT_EQ(served.reader->commandCount(0x60), 2u);
    EXPECT_EQ(brnClose(handle), 0);
}

INSTANTIATE_TEST_SUITE_P(Speeds, SpeedScan,
                         ::testing::Values(SpeedCase{"feno", 115200, 0}, SpeedCase{"feno", 57600, 1},
                                           SpeedCase{"feno", 38400, 2}, SpeedCase{"feno", 19200, 3},
                                           SpeedCase{"feno", 9600, 4}, SpeedCase{"feno", 4800, 5},
                                           SpeedCase{"orba", 9600, 4}, SpeedCase{"talu", 9600, 4}),
                         [](const auto& info) {
                             return std::string(info.param.sim) + "_" + std::to_string(info.param.baud);
                         });

namespace {

struct ModelCase {
    const char* sim;
    const char* model;
    std::int32_t family; // 0: not recognised
};

class Identification : public ::testing::TestWithParam<ModelCase> {};

} // namespace

TEST_P(Identification, ModelTextSelectsTheFamily)
{
    sim::PortFolder ports;
    sim::PersonalityOptions options;
    options.model = GetParam().model;
    std::string error;
    auto served = sim::serveReader(GetParam().sim, ports.portPath(kPort), 0, options, &error);
    ASSERT_TRUE(served) << error;
    brnHandle handle = nullptr;
    std::int32_t family = 0;
    const std::int32_t code = brnOpenSerial(kPort, &handle, &family);
    if (GetParam().family == 0) {
        EXPECT_EQ(code, BRN_ERR_NO_READER);
        EXPECT_EQ(handle, nullptr);
        EXPECT_EQ(served.reader->commandCount(0x60), 1u) << "no further speed, no second make";
        EXPECT_TRUE(platform::SerialPort::open(kPort, 115200).isOpen()) << "the link was closed";
        return;
    }
    ASSERT_EQ(code, BRN_OK);
    EXPECT_EQ(family, GetParam().family);
    brnClose(handle);
}

INSTANTIATE_TEST_SUITE_P(Models, Identification,
                         ::testing::Values(ModelCase{"feno", "MK-A1", BRN_FAMILY_FENO},
                                           ModelCase{"feno", "MK-C1", BRN_FAMILY_ORBA},
                                           ModelCase{"feno", "MK-E1", BRN_FAMILY_TALU},
                                           ModelCase{"feno", "MK-D1", BRN_FAMILY_TALU},
                                           ModelCase{"feno", "MK-B1", BRN_FAMILY_ORBA},
                                           ModelCase{"feno", "MK-B1-G1", BRN_FAMILY_ORBA},
                                           ModelCase{"feno", "mk-g1", BRN_FAMILY_ORBA},
                                           ModelCase{"feno", "Mk-G1", BRN_FAMILY_ORBA},
                                           ModelCase{"feno", "mk-e1", 0}, ModelCase{"feno", "mk-a1", 0},
                                           ModelCase{"feno", "MK-A1 ", 0}, ModelCase{"feno", "DLX", 0},
                                           ModelCase{"feno", "MK-Z9", 0}, ModelCase{"orba", "mk-g1", BRN_FAMILY_ORBA},
                                           ModelCase{"orba", "MK-B1-G1", BRN_FAMILY_ORBA},
                                           ModelCase{"talu", "MK-E1", BRN_FAMILY_TALU},
                                           ModelCase{"talu", "MK-D1", BRN_FAMILY_TALU}),
                         [](const auto& info) {
                             std::string name = std::string(info.param.sim) + "_";
                             for (const char* c = info.param.model; *c; ++c)
                                 name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                             return name + "_" + std::to_string(info.param.family);
                         });

// TALU readers tell their capabilities by their feature bits (active low:
// bit 7 clear, the EAS commands; bit 4 clear, ISO 15693).
TEST(TaluCapabilities, FromTheFeatureBits)
{
    const struct {
        const char* features;
        std::int32_t capabilities;
    } cases[] = {{"00", 7}, {"6F", 7}, {"10", 3}, {"80", 4}, {"90", 0}, {"FF", 0}};
    for (const auto& c : cases) {
        sim::PortFolder ports;
        sim::PersonalityOptions options;
        options.extra["features"] = c.features;
        auto served = sim::serveReader("talu", ports.portPath(kPort), 0, options);
        ASSERT_TRUE(served);
        brnHandle handle = nullptr;
        std::int32_t family = 0;
        ASSERT_EQ(brnOpenSerial(kPort, &handle, &family), BRN_OK);
        brnReaderInfo info{};
        ASSERT_EQ(brnGetReaderInfo(handle, &info), BRN_OK);
        EXPECT_EQ(info.capabilities, c.capabilities) << "features " << c.features;
        EXPECT_STREQ(info.model, "MK-D1");
        brnClose(handle);
    }
}
