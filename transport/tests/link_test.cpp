// Links through real descriptors: a scripted reader on a pseudo-terminal
// (published as COMn) or on loopback TCP, the link threads, the handle table.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <functional>

#include "linvaro.h"
#include "platform/clock.h"
#include "platform/event.h"
#include "platform/loop.h"
#include "scripted_peer.h"

using peer::Bytes;
using peer::Reply;
using peer::Request;
using peer::ScriptedPeer;

namespace {

constexpr int kWaitMs = 3000;

struct Answer {
    std::int32_t status = 99;
    std::uint8_t mode = 0xEE, address = 0xEE, command = 0xEE, length = 0xEE;
    Bytes data;
};

Answer getAnswer(std::int32_t handle)
{
    Answer a;
    std::array<std::uint8_t, LVRM_ANSWER_DATA_SIZE> data{};
    a.status = LVRM_GetAnswer(handle, &a.mode, &a.address, &a.command, &a.length, data.data());
    if (a.status == 0)
        a.data.assign(data.begin(), data.begin() + (a.length == 0xFF ? 0 : a.length));
    return a;
}

std::int32_t send(std::int32_t handle, platform::Event& event, std::uint8_t command, const Bytes& data = {},
                  std::int32_t mode = ZPX_MODE_ADDR_CRC, std::uint8_t address = 0)
{
    return LVRM_Send(handle, mode, address, command, static_cast<std::int32_t>(data.size()), data.data(), &event,
                     nullptr, 0);
}

// Waits for a condition that has no event of its own (a peer's hang-up seen by the link).
bool eventually(const std::function<bool()>& done, int timeoutMs = kWaitMs)
{
    const std::uint64_t end = platform::monotonicMs() + static_cast<std::uint64_t>(timeoutMs);
    while (!done()) {
        if (platform::monotonicMs() > end)
            return false;
        platform::sleepMs(2);
    }
    return true;
}

// Each test closes what it opened, so that every test starts with an empty table.
class Links : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (std::int32_t h = 1; h <= 16; ++h)
            if (LVRM_IsHandleValid(h) != LVRM_ERR_INVALID_HANDLE)
                LVRM_Close(h);
    }
    platform::Event event;
};

} // namespace

class SerialModes : public Links, public ::testing::WithParamInterface<int> {};

TEST_P(SerialModes, RequestAndAnswerRoundTrip)
{
    const int mode = GetParam();
    auto reader = ScriptedPeer::pty(3);
    reader->answerAll(0x00, {0x10, 0x20, 0x30});
    const std::int32_t h = LVRM_SerialOpen(3, 115200);
    ASSERT_EQ(h, 1);
    ASSERT_EQ(LVRM_Send(h, mode, 0x07, 0x60, 2, Bytes{0xA1, 0xA2}.data(), &event, nullptr, 0), 0);
    ASSERT_TRUE(event.wait(kWaitMs));
    EXPECT_EQ(LVRM_IsAnswerAvailable(h), 1);
    const Answer a = getAnswer(h);
    EXPECT_EQ(a.status, 0);
    EXPECT_EQ(a.mode, mode);
    EXPECT_EQ(a.address, mode == 2 || mode == 6 ? 0x07 : 0x00);
    EXPECT_EQ(a.command, 0x00);
    EXPECT_EQ(a.data, (Bytes{0x10, 0x20, 0x30}));
    EXPECT_EQ(LVRM_IsAnswerAvailable(h), 0);
    EXPECT_EQ(getAnswer(h).status, LVRM_ERR_NOTHING_RECEIVED);

    const auto requests = reader->requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].command, 0x60);
    EXPECT_EQ(requests[0].data, (Bytes{0xA1, 0xA2}));
    EXPECT_EQ(requests[0].frame.size(), 5u + (mode == 2 || mode == 6) + 2 * (mode == 2 || mode == 14));
}

INSTANTIATE_TEST_SUITE_P(AllFourModes, SerialModes, ::testing::Values(2, 6, 14, 30));

TEST_F(Links, ExactRequestBytesOnTheLine)
{
    auto reader = ScriptedPeer::pty(3);
    const std::int32_t h = LVRM_SerialOpen(3, 9600);
    ASSERT_GT(h, 0);
    // One request at a time: each goes out before the next is prepared.
    ASSERT_EQ(send(h, event, 0x05, {}, 2, 0x01), 0);
    ASSERT_TRUE(reader->waitRequests(1, kWaitMs));
    ASSERT_EQ(send(h, event, 0x05, {}, 14, 0x01), 0);
    ASSERT_TRUE(reader->waitRequests(2, kWaitMs));
    ASSERT_EQ(send(h, event, 0x01, {0x03}, 2, 0x00), 0);
    ASSERT_TRUE(reader->waitRequests(3, kWaitMs));
    const auto r = reader->requests();
    EXPECT_EQ(r[0].frame, (Bytes{0x02, 0x01, 0x05, 0x00, 0x24, 0x64}));
    EXPECT_EQ(r[1].frame, (Bytes{0x0E, 0x05, 0x00, 0x7E, 0xB8}));
    EXPECT_EQ(r[2].frame, (Bytes{0x02, 0x00, 0x01, 0x01, 0x03, 0x71, 0x9F}));
}

TEST_F(Links, UnknownModeSendsNothingAndLeavesTheLinkAlone)
{
    auto reader = ScriptedPeer::pty(3);
    const std::int32_t h = LVRM_SerialOpen(3, 115200);
    ASSERT_GT(h, 0);
    for (int mode : {3, 0, 7, 255, 0x103}) {
        EXPECT_EQ(send(h, event, 0x05, {}, mode), LVRM_ERR_UNKNOWN_MODE) << mode;
    }
    EXPECT_EQ(LVRM_Send(h, 2, 0, 5, 3, nullptr, &event, nullptr, 0), LVRM_ERR_UNKNOWN_MODE);
    // The freshly opened link still holds its empty answer.
    const Answer a = getAnswer(h);
    EXPECT_EQ(a.status, 0);
    EXPECT_EQ(a.mode + a.address + a.command + a.length, 0);
    // Only the low 8 bits of a mode count: 0x102 is mode 2 and goes out.
    ASSERT_EQ(send(h, event, 0x05, {}, 0x102, 1), 0);
    ASSERT_TRUE(reader->waitRequests(1, kWaitMs));
    EXPECT_EQ(reader->requests().size(), 1u);
    EXPECT_EQ(reader->requests()[0].frame, (Bytes{0x02, 0x01, 0x05, 0x00, 0x24, 0x64}));
}

TEST_F(Links, NoiseBeforeTheAnswerAndAnswersInPieces)
{
    auto reader = ScriptedPeer::pty(4);
    reader->respond([](const Request& r) {
        Bytes frame = peer::answerFrame(r.mode, r.address, 0x00, {0xCA, 0xFE});
        Reply reply;
        reply.pieces.push_back({0x41, 0x42, 0x00, 0xFF});
        for (std::uint8_t b : frame)
            reply.pieces.push_back({b});
        reply.gapMs = 2;
        return reply;
    });
    const std::int32_t h = LVRM_SerialOpen(4, 115200);
    ASSERT_GT(h, 0);
    ASSERT_EQ(send(h, event, 0x22), 0);
    ASSERT_TRUE(event.wait(kWaitMs));
    const Answer a = getAnswer(h);
    EXPECT_EQ(a.status, 0);
    EXPECT_EQ(a.data, (Bytes{0xCA, 0xFE}));
}

TEST_F(Links, NoiseThatStartsAFrameOfAnotherModeIsNotTheAnswer)
{
    // 0x1E starts a frame without CRC: taken for one, it would hand back the
    // first bytes of the real answer as the data.
    auto reader = ScriptedPeer::pty(4);
    reader->respond([](const Request& r) {
        Reply reply;
        reply.pieces.push_back({0x1E, 0x00, 0x04});
        reply.pieces.push_back(peer::answerFrame(r.mode, r.address, 0x00, {0xCA, 0xFE}));
        return reply;
    });
    const std::int32_t h = LVRM_SerialOpen(4, 115200);
    ASSERT_GT(h, 0);
    ASSERT_EQ(send(h, event, 0x22), 0);
    ASSERT_TRUE(event.wait(kWaitMs));
    const Answer a = getAnswer(h);
    EXPECT_EQ(a.status, 0);
    EXPECT_EQ(a.mode, ZPX_MODE_ADDR_CRC);
    EXPECT_EQ(a.data, (Bytes{0xCA, 0xFE}));
}

TEST_F(Links, WrongCrcIsReportedAndNotified)
{
    auto reader = ScriptedPeer::pty(3);
    reader->respond([](const Request& r) {
        Bytes frame = peer::answerFrame(r.mode, r.address, 0x00, {0x01, 0x02});
        frame.back() ^= 0x01;
        return Reply{{frame}};
    });
    const std::int32_t h = LVRM_SerialOpen(3, 57600);
    ASSERT_GT(h, 0);
    ASSERT_EQ(send(h, event, 0x22), 0);
    ASSERT_TRUE(event.wait(kWaitMs));
    const Answer a = getAnswer(h);
    EXPECT_EQ(a.status, LVRM_ERR_WRONG_CRC);
    EXPECT_EQ(a.mode + a.address + a.command + a.length, 0);
}

TEST_F(Links, AFrameCutHalfWayStaysInProgressUntilTheNextRequest)
{
    auto reader = ScriptedPeer::pty(3);
    reader->respond([](const Request& r) {
        Bytes frame = peer::answerFrame(r.mode, r.address, 0x00, {1, 2, 3, 4, 5, 6});
        if (r.command == 0x01)
            frame.resize(frame.size() / 2);
        return Reply{{frame}};
    });
    const std::int32_t h = LVRM_SerialOpen(3, 115200);
    ASSERT_GT(h, 0);
    ASSERT_EQ(send(h, event, 0x01), 0);
    ASSERT_TRUE(reader->waitRequests(1, kWaitMs));
    ASSERT_TRUE(eventually([&] { return LVRM_GetAnswer(h, nullptr, nullptr, nullptr, nullptr, nullptr) ==
                                        LVRM_ERR_RECEPTION_IN_PROGRESS; }));
    EXPECT_FALSE(event.wait(100));
    EXPECT_EQ(LVRM_IsAnswerAvailable(h), 0);
    ASSERT_EQ(send(h, event, 0x02), 0);
    ASSERT_TRUE(event.wait(kWaitMs));
    const Answer a = getAnswer(h);
    EXPECT_EQ(a.status, 0);
    EXPECT_EQ(a.data, (Bytes{1, 2, 3, 4, 5, 6}));
}

TEST_F(Links, ALateAnswerIsDiscardedByTheNextRequest)
{
    auto reader = ScriptedPeer::pty(3);
    reader->respond([](const Request& r) {
        if (r.command == 0x01)
            return Reply{}; // silent for now
        return Reply{{peer::answerFrame(r.mode, r.address, 0x22, {})}};
    });
    const std::int32_t h = LVRM_SerialOpen(3, 115200);
    ASSERT_GT(h, 0);
    ASSERT_EQ(send(h, event, 0x01), 0);
    ASSERT_TRUE(reader->waitRequests(1, kWaitMs));
    EXPECT_FALSE(event.wait(100)); // the caller gives up
    ASSERT_TRUE(reader->write(peer::answerFrame(2, 0, 0x11, {0xEE})));
    ASSERT_TRUE(event.wait(kWaitMs)); // the late answer completes and sits in the link
    ASSERT_EQ(send(h, event, 0x02), 0);
    ASSERT_TRUE(event.wait(kWaitMs));
    const Answer a = getAnswer(h);
    EXPECT_EQ(a.status, 0);
    EXPECT_EQ(a.command, 0x22);
    EXPECT_TRUE(a.data.empty());
}

TEST_F(Links, SerialDeviceHangingUpWakesTheWaitingCallerAtOnce)
{
    auto reader = ScriptedPeer::pty(3);
    reader->respond([](const Request&) { return Reply{}; }); // silent
    const std::int32_t h = LVRM_SerialOpen(3, 115200);
    ASSERT_GT(h, 0);
    ASSERT_EQ(send(h, event, 0x01), 0);
    ASSERT_TRUE(reader->waitRequests(1, kWaitMs));
    reader->hangUp(); // the far end of the pseudo-terminal closes
    ASSERT_TRUE(event.wait(kWaitMs)) << "the waiting caller is woken";
    EXPECT_EQ(LVRM_IsHandleValid(h), LVRM_ERR_CONNECTION_LOST);
    EXPECT_EQ(getAnswer(h).status, LVRM_ERR_CONNECTION_LOST);
    EXPECT_EQ(send(h, event, 0x01), LVRM_ERR_CONNECTION_LOST);
    EXPECT_EQ(LVRM_Close(h), 1);
}

TEST_F(Links, TcpRoundTripInPiecesAndPeerClose)
{
    auto reader = ScriptedPeer::tcp();
    reader->respond([](const Request& r) {
        Bytes frame = peer::answerFrame(r.mode, r.address, 0x00, {0xAB, 0xCD, 0xEF});
        Reply reply;
        for (std::uint8_t b : frame)
            reply.pieces.push_back({b});
        reply.gapMs = 2;
        return reply;
    });
    const std::int32_t h = LVRM_TCPOpen("127.0.0.1", reader->tcpPort());
    ASSERT_EQ(h, 1);
    EXPECT_EQ(LVRM_IsHandleValid(h), 0);
    for (int mode : {2, 6, 14, 30}) {
        ASSERT_EQ(send(h, event, 0x42, {0x01}, mode, 0x03), 0);
        ASSERT_TRUE(event.wait(kWaitMs)) << mode;
        const Answer a = getAnswer(h);
        EXPECT_EQ(a.status, 0);
        EXPECT_EQ(a.mode, mode);
        EXPECT_EQ(a.data, (Bytes{0xAB, 0xCD, 0xEF}));
    }

    reader->hangUp();
    ASSERT_TRUE(eventually([&] { return LVRM_IsHandleValid(h) == LVRM_ERR_CONNECTION_LOST; }));
    EXPECT_EQ(send(h, event, 0x42), LVRM_ERR_CONNECTION_LOST);
    EXPECT_EQ(getAnswer(h).status, LVRM_ERR_CONNECTION_LOST);
    EXPECT_EQ(LVRM_IsAnswerAvailable(h), 0);
    EXPECT_EQ(LVRM_Close(h), 1);
    EXPECT_EQ(LVRM_IsHandleValid(h), LVRM_ERR_INVALID_HANDLE);
}

TEST_F(Links, InvalidHandles)
{
    auto reader = ScriptedPeer::pty(3);
    const std::int32_t h = LVRM_SerialOpen(3, 115200);
    ASSERT_EQ(h, 1);
    ASSERT_EQ(LVRM_Close(h), 1);
    for (std::int32_t bad : {0, 17, -1, h, 2}) {
        EXPECT_EQ(LVRM_IsHandleValid(bad), LVRM_ERR_INVALID_HANDLE) << bad;
        EXPECT_EQ(send(bad, event, 0x01), LVRM_ERR_INVALID_HANDLE) << bad;
        EXPECT_EQ(getAnswer(bad).status, LVRM_ERR_INVALID_HANDLE) << bad;
        EXPECT_EQ(LVRM_IsAnswerAvailable(bad), 0) << bad;
        EXPECT_EQ(LVRM_Close(bad), 0) << bad;
        EXPECT_EQ(LVRM_GetCommHandle(bad), -1) << bad;
        EXPECT_EQ(LVRM_GetSocket(bad), -1) << bad;
        EXPECT_EQ(LVRM_SetRTS(bad, 1), 0) << bad;
        EXPECT_EQ(LVRM_GetCTS(bad), 0) << bad;
    }
    EXPECT_FALSE(reader->waitRequests(1, 50));
}

TEST_F(Links, SixteenLinksThenTheTableIsFull)
{
    std::vector<std::unique_ptr<ScriptedPeer>> readers;
    for (int port = 1; port <= 17; ++port)
        readers.push_back(ScriptedPeer::pty(port));
    for (std::int32_t n = 1; n <= 16; ++n)
        ASSERT_EQ(LVRM_SerialOpen(n, 115200), n);
    EXPECT_EQ(LVRM_SerialOpen(17, 115200), -1);
    EXPECT_EQ(LVRM_TCPOpen("127.0.0.1", 1), -1);
    EXPECT_EQ(LVRM_Close(5), 1);
    EXPECT_EQ(LVRM_IsHandleValid(5), LVRM_ERR_INVALID_HANDLE);
    EXPECT_EQ(LVRM_SerialOpen(17, 115200), 5); // the freed slot is reused
    // Every link still answers on its own line.
    readers[9]->answerAll(0x00, {0x0A});
    ASSERT_EQ(send(10, event, 0x01), 0);
    ASSERT_TRUE(event.wait(kWaitMs));
    EXPECT_EQ(getAnswer(10).data, Bytes{0x0A});
}

TEST_F(Links, FailedOpensLeaveNoSlotBehind)
{
    auto reader = ScriptedPeer::pty(3);
    EXPECT_EQ(LVRM_SerialOpen(9, 115200), -1);  // no such port
    EXPECT_EQ(LVRM_SerialOpen(3, 12345), -1);   // no such speed
    ASSERT_EQ(LVRM_SerialOpen(3, 115200), 1);
    EXPECT_EQ(LVRM_SerialOpen(3, 115200), -1);  // exclusive
    EXPECT_EQ(LVRM_TCPOpen("no-such-host.invalid", 80), -1);
    EXPECT_EQ(LVRM_TCPOpen(nullptr, 80), -1);
    // A port nobody listens on: the connect is refused.
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ASSERT_EQ(::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size), 0);
    const int closedPort = ntohs(address.sin_port);
    ::close(probe);
    EXPECT_EQ(LVRM_TCPOpen("127.0.0.1", closedPort), -1);
    auto other = ScriptedPeer::tcp();
    EXPECT_EQ(LVRM_TCPOpen("127.0.0.1", other->tcpPort()), 2);
}

TEST_F(Links, HostNamesAndDottedNumbers)
{
    auto reader = ScriptedPeer::tcp();
    reader->answerAll(0x00, {});
    for (const char* host : {"localhost", "127.0.0.1", "127.0.0.1:ignored", " 127. 0.0.1", "383.256.0.257"}) {
        const std::int32_t h = LVRM_TCPOpen(host, reader->tcpPort());
        ASSERT_EQ(h, 1) << host;
        ASSERT_EQ(send(h, event, 0x01), 0);
        EXPECT_TRUE(event.wait(kWaitMs)) << host;
        EXPECT_EQ(LVRM_Close(h), 1);
    }
}

TEST_F(Links, DescriptorsAndModemLines)
{
    auto serialReader = ScriptedPeer::pty(3);
    auto tcpReader = ScriptedPeer::tcp();
    const std::int32_t serial = LVRM_SerialOpen(3, 115200);
    const std::int32_t tcp = LVRM_TCPOpen("127.0.0.1", tcpReader->tcpPort());
    ASSERT_EQ(serial, 1);
    ASSERT_EQ(tcp, 2);

    const intptr_t port = LVRM_GetCommHandle(serial);
    ASSERT_GE(port, 0);
    EXPECT_EQ(::isatty(static_cast<int>(port)), 1);
    EXPECT_EQ(LVRM_GetSocket(serial), -1);
    const intptr_t socket = LVRM_GetSocket(tcp);
    ASSERT_GE(socket, 0);
    int type = 0;
    socklen_t size = sizeof type;
    ASSERT_EQ(::getsockopt(static_cast<int>(socket), SOL_SOCKET, SO_TYPE, &type, &size), 0);
    EXPECT_EQ(type, SOCK_STREAM);
    EXPECT_EQ(LVRM_GetCommHandle(tcp), -1);

    // A pseudo-terminal has no modem lines, a TCP link none at all.
    for (std::int32_t h : {serial, tcp}) {
        EXPECT_EQ(LVRM_SetRTS(h, 1), 0);
        EXPECT_EQ(LVRM_SetDTR(h, 1), 0);
        EXPECT_EQ(LVRM_GetCTS(h), 0);
        EXPECT_EQ(LVRM_GetDSR(h), 0);
    }
}

TEST_F(Links, AnswerPostedToTheCallersMessageLoop)
{
    auto reader = ScriptedPeer::pty(3);
    reader->respond([](const Request& r) {
        Bytes frame = peer::answerFrame(r.mode, r.address, 0x00, {0x01});
        if (r.command == 0x02)
            frame.back() ^= 0xFF;
        return Reply{{frame}};
    });
    const std::int32_t h = LVRM_SerialOpen(3, 115200);
    ASSERT_GT(h, 0);

    struct Seen {
        int calls = 0;
        std::uint32_t message = 0;
        std::int32_t handle = 0, status = 99;
        std::thread::id thread;
    } seen;
    auto& loop = platform::MessageLoop::current();
    const LVRM_NotifyWindow window{&loop,
                                   [](void* context, std::uint32_t message, std::int32_t link, std::int32_t status) {
                                       auto* s = static_cast<Seen*>(context);
                                       ++s->calls;
                                       s->message = message;
                                       s->handle = link;
                                       s->status = status;
                                       s->thread = std::this_thread::get_id();
                                   },
                                   &seen};
    for (std::uint8_t command : {0x01, 0x02}) {
        seen.calls = 0;
        ASSERT_EQ(LVRM_Send(h, 2, 0, command, 0, nullptr, nullptr, &window, 0x8001), 0);
        ASSERT_TRUE(loop.runUntil([&] { return seen.calls > 0; }, kWaitMs));
        EXPECT_EQ(seen.calls, 1);
        EXPECT_EQ(seen.message, 0x8001u);
        EXPECT_EQ(seen.handle, h);
        EXPECT_EQ(seen.status, command == 0x01 ? 0 : LVRM_ERR_WRONG_CRC);
        EXPECT_EQ(seen.thread, std::this_thread::get_id());
        EXPECT_EQ(getAnswer(h).status, seen.status);
    }
}

TEST_F(Links, CloseEndsALinkThreadStuckOnAFullLine)
{
    auto reader = ScriptedPeer::pty(3);
    reader->pauseReading(true);
    const std::int32_t h = LVRM_SerialOpen(3, 115200);
    ASSERT_GT(h, 0);
    // Fill the line: the link thread ends up waiting for room to write.
    const Bytes data(255, 0x55);
    for (int i = 0; i < 64; ++i) {
        ASSERT_EQ(send(h, event, 0x01, data), 0);
        platform::sleepMs(1);
    }
    const std::uint64_t start = platform::monotonicMs();
    EXPECT_EQ(LVRM_Close(h), 1);
    EXPECT_LT(platform::monotonicMs() - start, 1000u); // 200 ms pause, the thread far less
    reader->pauseReading(false);
}

TEST_F(Links, PingBeforeConnecting)
{
    auto reader = ScriptedPeer::tcp();
    std::int32_t roundTrip = -12345;
    const std::int32_t h = LVRM_TCPOpenEx("127.0.0.1", reader->tcpPort(), 1, 1000, &roundTrip);
    if (h == -1 && ::geteuid() != 0)
        GTEST_SKIP() << "no ICMP socket for this user (see README)";
    ASSERT_EQ(h, 1);
    EXPECT_GE(roundTrip, 0);
    EXPECT_LT(roundTrip, 1000);
    EXPECT_TRUE(reader->waitConnected(kWaitMs));
    EXPECT_EQ(LVRM_Close(h), 1);
    EXPECT_EQ(LVRM_TCPOpenEx("127.0.0.1", reader->tcpPort(), 1, 1000, nullptr), 1);
}

namespace {

// In a network namespace of its own (loopback up), with echo requests
// answered or ignored and unprivileged ICMP sockets allowed or not: opens a
// link with a ping to a listener there. Returns the child's exit code:
// 0 link opened and connected, 1 open failed without a connection attempt,
// 2 open failed although a connection came, 3 opened but no connection,
// 77 namespace not available.
int pingInNamespace(bool echoIgnored, bool datagramSockets)
{
    const pid_t child = ::fork();
    if (child == 0) {
        if (::unshare(CLONE_NEWNET) != 0)
            ::_exit(77);
        const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
        ifreq lo{};
        std::strcpy(lo.ifr_name, "lo");
        if (s < 0 || ::ioctl(s, SIOCGIFFLAGS, &lo) != 0)
            ::_exit(77);
        lo.ifr_flags = static_cast<short>(lo.ifr_flags | IFF_UP);
        if (::ioctl(s, SIOCSIFFLAGS, &lo) != 0)
            ::_exit(77);
        std::ofstream("/proc/sys/net/ipv4/icmp_echo_ignore_all") << (echoIgnored ? "1" : "0");
        std::ofstream("/proc/sys/net/ipv4/ping_group_range") << (datagramSockets ? "0 2147483647" : "1 0");
        const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listener, 4) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            ::_exit(77);
        std::int32_t roundTrip = -1;
        const std::int32_t h = LVRM_TCPOpenEx("127.0.0.1", ntohs(address.sin_port), 1, 300, &roundTrip);
        const bool connectionCame = ::accept(listener, nullptr, nullptr) >= 0;
        if (h > 0) {
            LVRM_Close(h);
            ::_exit(connectionCame && roundTrip >= 0 ? 0 : 3);
        }
        ::_exit(connectionCame ? 2 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST(PingProbe, NoEchoMeansNoConnectAttempt)
{
    for (bool datagram : {false, true}) {
        const int result = pingInNamespace(true, datagram);
        if (result == 77)
            GTEST_SKIP() << "no network namespace here";
        EXPECT_EQ(result, 1) << "datagram sockets " << datagram;
    }
}

TEST(PingProbe, EchoOverBothKindsOfIcmpSocket)
{
    for (bool datagram : {false, true}) {
        const int result = pingInNamespace(false, datagram);
        if (result == 77)
            GTEST_SKIP() << "no network namespace here";
        EXPECT_EQ(result, 0) << "datagram sockets " << datagram;
    }
}

TEST(LibraryUnload, ClosesEveryLink)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size), 0);

    // The probe loads the library on its own, opens two links here and unloads it.
    int toProbe[2], fromProbe[2];
    ASSERT_EQ(::pipe2(toProbe, O_CLOEXEC), 0);
    ASSERT_EQ(::pipe2(fromProbe, O_CLOEXEC), 0);
    const pid_t probe = ::fork();
    if (probe == 0) {
        ::dup2(toProbe[0], 0);
        ::dup2(fromProbe[1], 1);
        const std::string port = std::to_string(ntohs(address.sin_port));
        ::execl("./linvaro_unload_probe", "linvaro_unload_probe", port.c_str(), nullptr);
        ::_exit(127);
    }
    ::close(toProbe[0]);
    ::close(fromProbe[1]);
    const int first = ::accept(listener, nullptr, nullptr);
    const int second = ::accept(listener, nullptr, nullptr);
    ASSERT_GE(first, 0);
    ASSERT_GE(second, 0);
    char said[16] = {};
    pollfd p{fromProbe[0], POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, kWaitMs), 1);
    ASSERT_GT(::read(fromProbe[0], said, sizeof said - 1), 0);
    EXPECT_STREQ(said, "unloaded\n");
    // The probe is still running: only the unload can have closed the connections.
    for (int connection : {first, second}) {
        pollfd c{connection, POLLIN, 0};
        ASSERT_EQ(::poll(&c, 1, kWaitMs), 1);
        char byte;
        EXPECT_EQ(::recv(connection, &byte, 1, 0), 0);
        ::close(connection);
    }
    ::close(toProbe[1]);
    int status = 0;
    ::waitpid(probe, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    ::close(fromProbe[0]);
    ::close(listener);
}
