// Serving simulated readers over real pseudo-terminals and TCP: line speed
// matching, every fault as the host sees it, tags moving while the host
// works, the line closing and reopening, and the host coming and going.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <fcntl.h>
#include <thread>

#include "platform/serial.h"
#include "raw_host.h"
#include "sim/testing.h"

using namespace sim;
using simtest::Bytes;
using simtest::RawLink;
using platform::SerialPort;

namespace {

const Uid kUid = *uidFromText("E004010012345678");
const Uid kUid2 = *uidFromText("E0040100AABBCCDD");
const Uid kUid3 = *uidFromText("E004010055667788");
constexpr std::uint8_t kHigh = iso::kFlagHighDataRate;

class Served : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        served_ = serveReader("raw", ports_.portPath(3), 0, {}, &error);
        ASSERT_TRUE(served_) << error;
    }

    Reader& reader() { return *served_.reader; }
    Server& server() { return *served_.server; }

    SerialPort openHost(int baud = 115200)
    {
        SerialPort port = SerialPort::open(3, baud);
        EXPECT_TRUE(port.isOpen()) << std::strerror(errno);
        return port;
    }

    Bytes writeFrame(std::uint8_t block, std::uint32_t value)
    {
        return raw::frame(raw::kAir,
                          iso::request(kHigh, iso::kWriteSingleBlock, nullptr,
                                       Bytes{block, static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                                             static_cast<std::uint8_t>(value >> 16),
                                             static_cast<std::uint8_t>(value >> 24)}));
    }

    PortFolder ports_;
    ServedReader served_;
};

} // namespace

TEST_F(Served, PublishesTheLineAsComNAndRemovesItAtTheEnd)
{
    const std::string link = ports_.portPath(3);
    EXPECT_EQ(server().linkPath(), link);
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), server().devicePath());
    EXPECT_TRUE(server().lineOpen());
    EXPECT_EQ(server().lineGeneration(), 1u);
    served_.server.reset();
    EXPECT_FALSE(std::filesystem::is_symlink(link));
}

TEST_F(Served, AnswersOnlyAtItsOwnLineSpeed)
{
    SerialPort host = openHost(9600);
    RawLink link(host.fd());
    ASSERT_TRUE(link.send(raw::frame(raw::kIdentify)));
    EXPECT_TRUE(link.readFor(200).empty());
    EXPECT_GT(reader().ignoredBytes(), 0u);
    EXPECT_EQ(reader().commandCount(), 0u);

    // A host scanning the speeds from the top finds the reader at its own.
    reader().setBaud(19200);
    int found = 0;
    for (const int baud : {115200, 57600, 38400, 19200, 9600}) {
        ASSERT_TRUE(host.setSpeed(baud));
        const auto answer = link.ask(raw::kIdentify, {}, 150);
        if (answer) {
            EXPECT_EQ(found, 0) << "answered twice";
            found = baud;
        }
    }
    EXPECT_EQ(found, 19200);
    EXPECT_EQ(reader().commandCount(), 1u);
}

TEST_F(Served, FaultsReachTheHostAsSpecified)
{
    reader().place(Tag(kUid));
    SerialPort host = openHost();
    RawLink link(host.fd());
    ASSERT_TRUE(link.send(writeFrame(0, 1)));
    const Bytes normal = link.readFrame();
    ASSERT_TRUE(raw::parse(normal));

    // Silence: the write happens, no answer comes.
    reader().addFault(Fault::silence());
    ASSERT_TRUE(link.send(writeFrame(0, 2)));
    ASSERT_TRUE(reader().waitForCommands(2, 2000));
    EXPECT_TRUE(link.readFor(150).empty());
    EXPECT_EQ(reader().tag(kUid)->block(0), 2u);

    // Wrong CRC.
    reader().addFault(Fault::wrongCrc());
    ASSERT_TRUE(link.send(writeFrame(0, 3)));
    Bytes answer = link.readFrame();
    EXPECT_FALSE(raw::parse(answer));
    ASSERT_EQ(answer.size(), normal.size());
    answer.back() = static_cast<std::uint8_t>(~answer.back());
    EXPECT_EQ(answer, normal);

    // Noise before the answer.
    reader().addFault(Fault::noiseBytes({0xEE, 0xEE}));
    ASSERT_TRUE(link.send(writeFrame(0, 4)));
    answer = link.read(normal.size() + 2, 2000);
    EXPECT_EQ(Bytes(answer.begin(), answer.begin() + 2), (Bytes{0xEE, 0xEE}));
    EXPECT_EQ(Bytes(answer.begin() + 2, answer.end()), normal);

    // A frame cut short: the first half, then nothing.
    reader().addFault(Fault::cutShort());
    ASSERT_TRUE(link.send(writeFrame(0, 5)));
    answer = link.read(normal.size(), 300);
    EXPECT_EQ(answer, Bytes(normal.begin(), normal.begin() + normal.size() / 2));

    // A status byte for the next two commands; the command is not executed.
    reader().addFault(Fault::statusByte(0x84, 2));
    for (int i = 0; i < 2; ++i) {
        const auto status = link.ask(raw::kAir, iso::request(kHigh, iso::kWriteSingleBlock, nullptr, Bytes{0, 9, 0, 0, 0}));
        ASSERT_TRUE(status);
        EXPECT_EQ(status->status, 0x84);
    }
    EXPECT_EQ(reader().tag(kUid)->block(0), 5u);

    // A delay before answering.
    reader().addFault(Fault::delay(120));
    const std::uint64_t t0 = platform::monotonicMs();
    EXPECT_TRUE(link.ask(raw::kIdentify));
    EXPECT_GE(platform::monotonicMs() - t0, 120u);

    // Tags leaving mid-command.
    reader().place(Tag(kUid2));
    reader().addFault(Fault::tagsLeave());
    const auto inventory = link.ask(raw::kInventory, Bytes{kHigh});
    ASSERT_TRUE(inventory);
    EXPECT_LE(inventory->data[0], 1);
    EXPECT_TRUE(reader().tags().empty());
    EXPECT_EQ(reader().shelf().size(), 2u);
    EXPECT_EQ(link.ask(raw::kInventory, Bytes{kHigh})->data[0], 0);
}

TEST_F(Served, LineCloseFaultHangsUpTheHostAndComesBack)
{
    SerialPort host = openHost();
    RawLink link(host.fd());
    reader().addFault(Fault::lineClose(0));
    ASSERT_TRUE(link.send(raw::frame(raw::kIdentify)));
    EXPECT_TRUE(link.hungUp(2000));
    ASSERT_TRUE(server().waitLineGeneration(2, 2000));
    host.close();
    SerialPort again = openHost();
    ASSERT_TRUE(again.isOpen());
    EXPECT_TRUE(RawLink(again.fd()).ask(raw::kIdentify));

    // Closed until told: the port is gone meanwhile.
    reader().addFault(Fault::lineClose(-1));
    ASSERT_TRUE(RawLink(again.fd()).send(raw::frame(raw::kIdentify)));
    ASSERT_TRUE(server().waitLineClosed(2000));
    EXPECT_TRUE(RawLink(again.fd()).hungUp(2000));
    again.close();
    EXPECT_FALSE(SerialPort::open(3, 115200).isOpen());
    server().reopenLine();
    ASSERT_TRUE(server().waitLineGeneration(3, 2000));
    SerialPort third = openHost();
    EXPECT_TRUE(RawLink(third.fd()).ask(raw::kIdentify));
}

TEST_F(Served, CloseAndReopenTheLineForSoakTests)
{
    for (std::uint64_t round = 2; round <= 4; ++round) {
        SerialPort host = openHost();
        ASSERT_TRUE(host.isOpen());
        RawLink link(host.fd());
        ASSERT_TRUE(link.ask(raw::kIdentify));
        server().reopenLine();
        ASSERT_TRUE(server().waitLineGeneration(round, 2000));
        EXPECT_TRUE(link.hungUp(2000)) << "the old line hangs up";
        EXPECT_EQ(std::filesystem::read_symlink(ports_.portPath(3)).string(), server().devicePath());
    }
    server().closeLine();
    ASSERT_TRUE(server().waitLineClosed(2000));
    EXPECT_FALSE(std::filesystem::exists(ports_.portPath(3)));
    server().reopenLine();
    ASSERT_TRUE(server().waitLineGeneration(5, 2000));
    SerialPort host = openHost();
    EXPECT_TRUE(RawLink(host.fd()).ask(raw::kIdentify));
}

TEST_F(Served, TheHostCanComeAndGoAndItsExclusiveFlagGoesWithIt)
{
    std::uint64_t departures = 0;
    for (int round = 0; round < 3; ++round) {
        SerialPort host = openHost();
        ASSERT_TRUE(host.isOpen());
        ASSERT_TRUE(RawLink(host.fd()).ask(raw::kIdentify)) << round;
        // A partial frame left behind must not spoil the next host's first command.
        ASSERT_TRUE(RawLink(host.fd()).send(Bytes{0x05, 0x00}));
        int exclusive = 0;
        ASSERT_EQ(::ioctl(host.fd(), TIOCGEXCL, &exclusive), 0);
        EXPECT_EQ(exclusive, 1) << "the host's serial port asks for exclusive use";
        host.close();
        ASSERT_TRUE(server().waitHostDepartures(++departures, 2000));
        // Root could open it anyway; an unprivileged host needs the flag gone.
        const int probe = ::open(ports_.portPath(3).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(probe, 0);
        ASSERT_EQ(::ioctl(probe, TIOCGEXCL, &exclusive), 0);
        EXPECT_EQ(exclusive, 0) << "cleared once the host left";
        ::close(probe);
        ASSERT_TRUE(server().waitHostDepartures(++departures, 2000));
    }
}

TEST_F(Served, TagsComeAndGoWhileTheHostReads)
{
    SerialPort host = openHost();
    RawLink link(host.fd());
    std::atomic<bool> done{false};
    std::thread mover([&] {
        Tag tag(kUid);
        while (!done) {
            reader().place(tag);
            reader().remove(kUid);
        }
    });
    int seen = 0;
    for (int i = 0; i < 150; ++i) {
        const auto answer = link.ask(raw::kInventory, Bytes{kHigh});
        ASSERT_TRUE(answer) << i;
        ASSERT_EQ(answer->status, raw::kOk);
        ASSERT_LE(answer->data[0], 1);
        seen += answer->data[0];
    }
    done = true;
    mover.join();
    EXPECT_EQ(reader().commandCount(), 150u);
    (void)seen; // timing decides how many rounds saw the tag
}

TEST_F(Served, RealisticTimingTakesAtLeastTheModelledTime)
{
    for (const Uid& uid : {kUid, kUid2, kUid3})
        reader().place(Tag(uid));
    reader().setTiming(Timing::Realistic);
    SerialPort host = openHost();
    RawLink link(host.fd());
    const std::uint64_t t0 = platform::monotonicUs();
    const auto answer = link.ask(raw::kInventory, Bytes{kHigh});
    const std::uint64_t elapsed = platform::monotonicUs() - t0;
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->data[0], 3);
    const TimingReport report = reader().timingReport();
    EXPECT_GT(report.airUs, 16 * 300u) << "at least one 16-slot round";
    EXPECT_GT(report.wireUs, 0u);
    EXPECT_GE(elapsed + 200, report.modelledUs());
}

namespace {

// Sends "t" on its own 20 ms after a 'T' command (answered with "k").
class Timed final : public Personality {
public:
    Cut cut(std::span<const std::uint8_t>) const override { return Cut::frame(1); }
    int commandCode(std::span<const std::uint8_t> frame) const override { return frame[0]; }
    void handle(std::span<const std::uint8_t> frame, Context& ctx) override
    {
        if (frame[0] != 'T')
            return;
        ctx.send({'k'});
        ctx.startTimer(20'000, [](Context& c) { c.send({'t'}); });
    }
};

} // namespace

TEST(ServerTimers, FramesTheReaderSendsOnItsOwnReachTheHost)
{
    PortFolder ports;
    Reader reader(std::make_unique<Timed>(), 115200, "timed");
    auto server = Server::pty(reader, ports.portPath(4));
    ASSERT_TRUE(server);
    SerialPort host = SerialPort::open(4, 115200);
    ASSERT_TRUE(host.isOpen());
    RawLink link(host.fd());
    const std::uint64_t t0 = platform::monotonicMs();
    ASSERT_TRUE(link.send(Bytes{'T'}));
    EXPECT_EQ(link.read(1, 2000), Bytes{'k'});
    EXPECT_EQ(link.read(1, 2000), Bytes{'t'});
    EXPECT_GE(platform::monotonicMs() - t0, 20u);
}

namespace {

int connectTo(std::uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

TEST(TcpServer, ServesOneClientAtATime)
{
    auto reader = Reader::create("raw");
    std::string error;
    auto server = Server::tcp(*reader, 0, &error);
    ASSERT_TRUE(server) << error;
    ASSERT_NE(server->tcpPort(), 0);
    const int first = connectTo(server->tcpPort());
    ASSERT_GE(first, 0);
    EXPECT_TRUE(RawLink(first).ask(raw::kIdentify));
    const int second = connectTo(server->tcpPort());
    ASSERT_GE(second, 0);
    EXPECT_TRUE(RawLink(second).hungUp(2000)) << "turned away while the first is served";
    ::close(second);
    ::close(first);
    ASSERT_TRUE(server->waitHostDepartures(1, 2000));
    const int third = connectTo(server->tcpPort());
    ASSERT_GE(third, 0);
    EXPECT_TRUE(RawLink(third).ask(raw::kIdentify));
    // The line-close fault disconnects the client.
    reader->addFault(Fault::lineClose(0));
    ASSERT_TRUE(RawLink(third).send(raw::frame(raw::kIdentify)));
    EXPECT_TRUE(RawLink(third).hungUp(2000));
    ::close(third);
    ASSERT_TRUE(server->waitLineGeneration(2, 2000));
    const int fourth = connectTo(server->tcpPort());
    EXPECT_TRUE(RawLink(fourth).ask(raw::kIdentify));
    ::close(fourth);
}
