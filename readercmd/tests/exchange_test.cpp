// The link functions and the command exchange against a scripted reader on a
// pseudo-terminal or loopback TCP.

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <future>
#include <string>

#include "linvaro.h"
#include "platform/clock.h"
#include "quorvel.h"
#include "scripted_peer.h"

using peer::Bytes;
using peer::Reply;
using peer::Request;
using peer::ScriptedPeer;

namespace {

constexpr int kWaitMs = 3000;

struct Result {
    std::int32_t code = 99;
    std::uint8_t status = 0xEE;
    std::uint8_t length = 0xEE;
    Bytes data;
};

Result exec(std::int32_t handle, std::uint8_t command, const Bytes& request = {})
{
    Result r;
    std::array<std::uint8_t, LVRM_ANSWER_DATA_SIZE> data;
    data.fill(0xEE);
    r.code = QVL_CmdExec(handle, command, static_cast<std::int32_t>(request.size()), request.data(), &r.status,
                         &r.length, data.data());
    if (r.code == 0 && r.length != 0xFF)
        r.data.assign(data.begin(), data.begin() + r.length);
    if (r.code != 0) {
        EXPECT_EQ(data[0], 0xEE) << "outputs must stay untouched";
        EXPECT_EQ(r.status, 0xEE);
        EXPECT_EQ(r.length, 0xEE);
    }
    return r;
}

class Exchange : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (std::int32_t h = 1; h <= 16; ++h)
            if (LVRM_IsHandleValid(h) != LVRM_ERR_INVALID_HANDLE)
                QVL_Close(h);
    }
};

} // namespace

TEST(Quorvel, Version)
{
    EXPECT_EQ(QVL_GetVersion(), 0x02000000);
}

class ExchangeModes : public Exchange, public ::testing::WithParamInterface<int> {};

TEST_P(ExchangeModes, CommandInTheLinksModeAndAddress)
{
    auto reader = ScriptedPeer::pty(2);
    reader->answerAll(0x80, {0x01, 0x02, 0x03});
    const std::int32_t h = QVL_SerialOpen(2, 115200);
    ASSERT_EQ(h, 1);
    ASSERT_EQ(QVL_SetMode(h, GetParam()), 1);
    ASSERT_EQ(QVL_SetAddress(h, 0x42), 1);
    const Result r = exec(h, 0x23, {0x09, 0x08});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.status, 0x80); // bit 7 set still completes the exchange
    EXPECT_EQ(r.length, 3);
    EXPECT_EQ(r.data, (Bytes{0x01, 0x02, 0x03}));
    const auto requests = reader->requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].mode, GetParam());
    EXPECT_EQ(requests[0].address, GetParam() == 2 || GetParam() == 6 ? 0x42 : 0);
    EXPECT_EQ(requests[0].command, 0x23);
    EXPECT_EQ(requests[0].data, (Bytes{0x09, 0x08}));
}

INSTANTIATE_TEST_SUITE_P(AllFourModes, ExchangeModes, ::testing::Values(2, 6, 14, 30));

TEST_F(Exchange, DefaultsOfAnOpenLink)
{
    auto reader = ScriptedPeer::pty(2);
    reader->answerAll(0x00, {});
    const std::int32_t h = QVL_SerialOpen(2, 115200);
    ASSERT_GT(h, 0);
    ASSERT_EQ(exec(h, 0x01).code, 0);
    EXPECT_EQ(reader->requests().at(0).frame, (Bytes{0x02, 0x00, 0x01, 0x00, 0x19, 0xD8}));
}

TEST_F(Exchange, IdentificationByAnswerLength)
{
    struct Case {
        Bytes data;
        std::uint8_t first, second;
        std::string text;
    };
    const Case cases[] = {
        {{}, 0, 0, ""},
        {{0x11}, 0, 0, ""},
        {{0x11, 0x22}, 0x11, 0x22, ""},
        {{0x11, 0x22, 'F'}, 0x11, 0x22, "F"},
        {{0x05, 0x01, 'F', 'E', 'N', 'O', ' ', 'V', '2'}, 0x05, 0x01, "FENO V2"},
        {{0x05, 0x01, 'T', 'A', 0x00, 'L', 'U'}, 0x05, 0x01, "TA"},
    };
    auto reader = ScriptedPeer::pty(2);
    const std::int32_t h = QVL_SerialOpen(2, 115200);
    ASSERT_GT(h, 0);
    for (const auto& c : cases) {
        reader->answerAll(0x81, c.data);
        char text[256];
        std::memset(text, 'x', sizeof text);
        std::uint8_t first = 0xEE, second = 0xEE, status = 0;
        ASSERT_EQ(QVL_IdentifyReaderOnNetwork(h, text, &first, &second, &status), 0);
        EXPECT_EQ(status, 0x81);
        EXPECT_EQ(first, c.first);
        EXPECT_EQ(second, c.second);
        EXPECT_EQ(std::string(text), c.text);
    }
    for (const auto& r : reader->requests()) {
        EXPECT_EQ(r.command, 0x60);
        EXPECT_TRUE(r.data.empty());
    }
    // A longest answer: 253 text characters fill the caller's 256 bytes with room to spare.
    Bytes longest{0x01, 0x02};
    longest.resize(255, 'A');
    reader->answerAll(0x00, Bytes(longest.begin(), longest.begin() + 254));
    char text[256];
    std::uint8_t first, second, status;
    ASSERT_EQ(QVL_IdentifyReaderOnNetwork(h, text, &first, &second, &status), 0);
    EXPECT_EQ(std::strlen(text), 252u);
}

TEST_F(Exchange, SilentReaderTimesOutAndItsLateAnswerIsDiscarded)
{
    auto reader = ScriptedPeer::pty(2);
    reader->respond([](const Request& r) {
        if (r.command == 0x01)
            return Reply{};
        return Reply{{peer::answerFrame(r.mode, r.address, 0x22, {0x02})}};
    });
    const std::int32_t h = QVL_SerialOpen(2, 115200);
    ASSERT_GT(h, 0);
    const std::uint64_t start = platform::monotonicMs();
    EXPECT_EQ(exec(h, 0x01).code, QVL_ERR_TIMEOUT);
    const std::uint64_t waited = platform::monotonicMs() - start;
    EXPECT_GE(waited, 495u); // the default link time-out
    EXPECT_LT(waited, 2000u);

    ASSERT_TRUE(reader->write(peer::answerFrame(2, 0, 0x11, {0x01}))); // too late
    ASSERT_TRUE(reader->write(Bytes{0x41, 0x42}));
    const Result r = exec(h, 0x02);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.status, 0x22);
    EXPECT_EQ(r.data, Bytes{0x02});
}

TEST_F(Exchange, WrongCrcAndFramesCutHalfWay)
{
    auto reader = ScriptedPeer::pty(2);
    reader->respond([](const Request& r) {
        Bytes frame = peer::answerFrame(r.mode, r.address, 0x00, {0x0A, 0x0B, 0x0C, 0x0D});
        if (r.command == 0x01)
            frame[5] ^= 0x10;
        if (r.command == 0x02)
            frame.resize(5);
        return Reply{{frame}};
    });
    const std::int32_t h = QVL_SerialOpen(2, 115200);
    ASSERT_GT(h, 0);
    ASSERT_EQ(QVL_SetTimeout(h, 300), 1);
    EXPECT_EQ(exec(h, 0x01).code, LVRM_ERR_WRONG_CRC);
    EXPECT_EQ(exec(h, 0x02).code, QVL_ERR_TIMEOUT);
    const Result good = exec(h, 0x03);
    EXPECT_EQ(good.code, 0);
    EXPECT_EQ(good.data, (Bytes{0x0A, 0x0B, 0x0C, 0x0D}));
}

TEST_F(Exchange, BlockListAnswer)
{
    auto reader = ScriptedPeer::pty(2);
    const Bytes list{0x02, 0xAA, 0xBB, 0x00, 0x03, 0x01, 0x02, 0x03, 0xFF};
    reader->respond([list](const Request& r) { return Reply{{peer::answerFrame(r.mode, r.address, 0x00, list, 0xFF)}}; });
    const std::int32_t h = QVL_SerialOpen(2, 115200);
    ASSERT_GT(h, 0);
    std::array<std::uint8_t, LVRM_ANSWER_DATA_SIZE> data{};
    std::uint8_t status = 0xEE, length = 0;
    ASSERT_EQ(QVL_CmdExec(h, 0x30, 0, nullptr, &status, &length, data.data()), 0);
    EXPECT_EQ(length, 0xFF);
    EXPECT_EQ(Bytes(data.begin(), data.begin() + 9), list);
    EXPECT_EQ(LVRM_GetNbBlocks(data.data(), 1024), 3);
}

TEST_F(Exchange, InvalidHandlesSendNothing)
{
    auto reader = ScriptedPeer::pty(2);
    const std::int32_t h = QVL_SerialOpen(2, 115200);
    ASSERT_EQ(h, 1);
    ASSERT_EQ(QVL_Close(h), 1);
    for (std::int32_t bad : {0, 17, h}) {
        EXPECT_EQ(exec(bad, 0x01).code, LVRM_ERR_INVALID_HANDLE) << bad;
        char text[256] = "unchanged";
        std::uint8_t a = 7, b = 7, s = 7;
        EXPECT_EQ(QVL_IdentifyReaderOnNetwork(bad, text, &a, &b, &s), LVRM_ERR_INVALID_HANDLE);
        EXPECT_STREQ(text, "unchanged");
        EXPECT_EQ(a + b + s, 21);
        EXPECT_EQ(QVL_SetTimeout(bad, 100), 0);
        EXPECT_EQ(QVL_SetMode(bad, 14), 0);
        EXPECT_EQ(QVL_SetAddress(bad, 3), 0);
        EXPECT_EQ(QVL_Close(bad), 0);
    }
    EXPECT_FALSE(reader->waitRequests(1, 50));
}

TEST_F(Exchange, ReopeningAHandleResetsItsSettings)
{
    auto reader = ScriptedPeer::pty(2);
    const std::int32_t h = QVL_SerialOpen(2, 115200);
    ASSERT_EQ(h, 1);
    ASSERT_EQ(QVL_SetTimeout(h, 2000), 1);
    ASSERT_EQ(QVL_SetMode(h, 30), 1);
    ASSERT_EQ(QVL_SetAddress(h, 9), 1);
    ASSERT_EQ(QVL_Close(h), 1);
    ASSERT_EQ(QVL_SerialOpen(2, 115200), h);
    const std::uint64_t start = platform::monotonicMs();
    EXPECT_EQ(exec(h, 0x05).code, QVL_ERR_TIMEOUT); // the reader stays silent
    EXPECT_LT(platform::monotonicMs() - start, 1500u); // 500 ms, not 2000
    ASSERT_TRUE(reader->waitRequests(1, kWaitMs));
    EXPECT_EQ(reader->requests()[0].frame, (Bytes{0x02, 0x00, 0x05, 0x00, 0x7E, 0xB8}));
}

TEST_F(Exchange, UnknownFrameModeIsReportedAtOnce)
{
    auto reader = ScriptedPeer::pty(2);
    const std::int32_t h = QVL_SerialOpen(2, 115200);
    ASSERT_GT(h, 0);
    ASSERT_EQ(QVL_SetMode(h, 3), 1);
    ASSERT_EQ(QVL_SetTimeout(h, 5000), 1);
    const std::uint64_t start = platform::monotonicMs();
    EXPECT_EQ(exec(h, 0x05).code, LVRM_ERR_UNKNOWN_MODE);
    EXPECT_LT(platform::monotonicMs() - start, 1000u);
    EXPECT_FALSE(reader->waitRequests(1, 50));
}

TEST_F(Exchange, ClosingTheLinkWhileACommandWaits)
{
    auto reader = ScriptedPeer::pty(2);
    const std::int32_t h = QVL_SerialOpen(2, 115200);
    ASSERT_GT(h, 0);
    ASSERT_EQ(QVL_SetTimeout(h, 1000), 1);
    auto waiting = std::async(std::launch::async, [h] { return exec(h, 0x07).code; });
    ASSERT_TRUE(reader->waitRequests(1, kWaitMs));
    EXPECT_EQ(QVL_Close(h), 1);
    ASSERT_EQ(waiting.wait_for(std::chrono::milliseconds(kWaitMs)), std::future_status::ready);
    EXPECT_EQ(waiting.get(), QVL_ERR_TIMEOUT);
    EXPECT_EQ(exec(h, 0x07).code, LVRM_ERR_INVALID_HANDLE);
}

TEST_F(Exchange, HungUpSerialLineFailsCommandsAtOnce)
{
    auto reader = ScriptedPeer::pty(2);
    const std::int32_t h = QVL_SerialOpen(2, 115200);
    ASSERT_GT(h, 0);
    ASSERT_EQ(QVL_SetTimeout(h, 60000), 1);
    EXPECT_EQ(QVL_IsHandleValid(h), 0);
    auto waiting = std::async(std::launch::async, [h] { return exec(h, 0x07).code; });
    ASSERT_TRUE(reader->waitRequests(1, kWaitMs));
    reader->hangUp();
    ASSERT_EQ(waiting.wait_for(std::chrono::milliseconds(kWaitMs)), std::future_status::ready)
        << "not the link's time-out";
    EXPECT_EQ(waiting.get(), LVRM_ERR_CONNECTION_LOST);
    EXPECT_EQ(QVL_IsHandleValid(h), LVRM_ERR_CONNECTION_LOST);
    EXPECT_EQ(exec(h, 0x07).code, LVRM_ERR_CONNECTION_LOST);
    EXPECT_EQ(QVL_Close(h), 1);
    EXPECT_EQ(QVL_IsHandleValid(h), LVRM_ERR_INVALID_HANDLE);
}

TEST_F(Exchange, TcpLinkAndPeerClose)
{
    auto reader = ScriptedPeer::tcp();
    reader->answerAll(0x00, {0x5A});
    const std::int32_t h = QVL_TCPOpen("127.0.0.1", reader->tcpPort());
    ASSERT_EQ(h, 1);
    const Result r = exec(h, 0x10);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.data, Bytes{0x5A});
    reader->hangUp();
    const std::uint64_t end = platform::monotonicMs() + kWaitMs;
    while (LVRM_IsHandleValid(h) != LVRM_ERR_CONNECTION_LOST && platform::monotonicMs() < end)
        platform::sleepMs(2);
    EXPECT_EQ(exec(h, 0x10).code, LVRM_ERR_CONNECTION_LOST);
    EXPECT_EQ(QVL_SetTimeout(h, 100), 1); // still a link until closed
    EXPECT_EQ(QVL_Close(h), 1);
}

TEST_F(Exchange, LinksOnDifferentThreadsAreIndependent)
{
    auto first = ScriptedPeer::pty(2);
    auto second = ScriptedPeer::tcp();
    first->respond([](const Request& r) { return Reply{{peer::answerFrame(r.mode, r.address, 0x01, r.data)}}; });
    second->respond([](const Request& r) { return Reply{{peer::answerFrame(r.mode, r.address, 0x02, r.data)}}; });
    const std::int32_t a = QVL_SerialOpen(2, 115200);
    const std::int32_t b = QVL_TCPOpen("127.0.0.1", second->tcpPort());
    ASSERT_EQ(a, 1);
    ASSERT_EQ(b, 2);
    auto run = [](std::int32_t h, std::uint8_t expectedStatus) {
        for (int i = 0; i < 50; ++i) {
            const Bytes request{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(h)};
            const Result r = exec(h, 0x40, request);
            if (r.code != 0 || r.status != expectedStatus || r.data != request)
                return false;
        }
        return true;
    };
    auto one = std::async(std::launch::async, run, a, 0x01);
    auto two = std::async(std::launch::async, run, b, 0x02);
    EXPECT_TRUE(one.get());
    EXPECT_TRUE(two.get());
}
