// ZPX frames: building, the CRC, the byte-by-byte receiver, block lists,
// error texts. Byte vectors are written out literally so that a change of a
// single bit of layout or CRC fails them.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "frame.h"
#include "net.h"
#include "linvaro.h"

using namespace linvaro;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes build(std::uint8_t mode, std::uint8_t address, std::uint8_t command, const Bytes& data)
{
    std::array<std::uint8_t, kMaxFrame> out{};
    const std::size_t n = buildFrame(mode, address, command, data, out);
    return Bytes(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(n));
}

struct Collected {
    std::int32_t status;
    std::uint8_t mode = 0xEE, address = 0xEE, command = 0xEE, length = 0xEE;
    Bytes data;
};

// Feeds bytes to a fresh link's receiver after a request, then collects the answer.
struct Receiver {
    AnswerState state;
    std::vector<std::int32_t> notified;
    Receiver()
    {
        state.resetEmpty();
        state.beginRequest();
    }
    void feed(const Bytes& bytes)
    {
        for (std::uint8_t b : bytes)
            if (auto s = state.feed(b))
                notified.push_back(*s);
    }
    Collected take()
    {
        Collected c;
        std::array<std::uint8_t, kAnswerDataSize> data;
        data.fill(0xEE);
        c.status = state.take(&c.mode, &c.address, &c.command, &c.length, data.data());
        std::size_t used = data.size();
        while (used > 0 && data[used - 1] == 0xEE)
            --used;
        c.data.assign(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(used));
        return c;
    }
};

} // namespace

TEST(Crc16Kermit, CheckValueAndWireVectors)
{
    const Bytes check{'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(Crc16::compute(check), 0x2189);
    EXPECT_EQ(Crc16::compute(Bytes{0x01, 0x05, 0x00}), 0x2464);
    EXPECT_EQ(Crc16::compute(Bytes{0x05, 0x00}), 0x7EB8);
    EXPECT_EQ(Crc16::compute(Bytes{}), 0x0000);
}

struct FrameCase {
    std::uint8_t mode, address, command;
    Bytes data;
    Bytes wire;
};

class FrameBuild : public ::testing::TestWithParam<FrameCase> {};

TEST_P(FrameBuild, MatchesTheWireBytes)
{
    const auto& c = GetParam();
    EXPECT_EQ(build(c.mode, c.address, c.command, c.data), c.wire);
}

INSTANTIATE_TEST_SUITE_P(Vectors, FrameBuild,
    ::testing::Values(
        FrameCase{2, 0x01, 0x05, {}, {0x02, 0x01, 0x05, 0x00, 0x24, 0x64}},
        FrameCase{6, 0x01, 0x05, {}, {0x06, 0x01, 0x05, 0x00}},
        FrameCase{14, 0x01, 0x05, {}, {0x0E, 0x05, 0x00, 0x7E, 0xB8}},
        FrameCase{30, 0x01, 0x05, {}, {0x1E, 0x05, 0x00}},
        FrameCase{2, 0x00, 0x01, {0x03}, {0x02, 0x00, 0x01, 0x01, 0x03, 0x71, 0x9F}},
        FrameCase{14, 0x00, 0x01, {0x03}, {0x0E, 0x01, 0x01, 0x03, 0x71, 0x9F}}));

TEST(FrameBuild, LongestRequestCarries255DataBytes)
{
    const Bytes data(255, 0x5A);
    const Bytes frame = build(2, 0x07, 0x21, data);
    ASSERT_EQ(frame.size(), 261u);
    EXPECT_EQ(frame[3], 0xFF); // a length, not a block list, in a request
    const std::uint16_t crc = Crc16::compute(Bytes(frame.begin() + 1, frame.end() - 2));
    EXPECT_EQ(frame[259], crc >> 8);
    EXPECT_EQ(frame[260], crc & 0xFF);
}

TEST(FrameBuild, UnknownModesBuildNothing)
{
    for (int mode = 0; mode < 256; ++mode) {
        std::array<std::uint8_t, kMaxFrame> out;
        out.fill(0xAB);
        const std::size_t n = buildFrame(static_cast<std::uint8_t>(mode), 1, 5, {}, out);
        if (mode == 2 || mode == 6 || mode == 14 || mode == 30) {
            EXPECT_GT(n, 0u) << mode;
        } else {
            EXPECT_EQ(n, 0u) << mode;
            EXPECT_EQ(out[0], 0xAB) << mode;
        }
    }
}

TEST(Receiver, AnswersInEveryModeAreAccepted)
{
    struct Case {
        Bytes wire;
        std::uint8_t mode, address, command;
        Bytes data;
    };
    const Case cases[] = {
        {{0x02, 0x01, 0x05, 0x00, 0x24, 0x64}, 2, 0x01, 0x05, {}},
        {{0x06, 0x01, 0x05, 0x00}, 6, 0x01, 0x05, {}},
        {{0x0E, 0x05, 0x00, 0x7E, 0xB8}, 14, 0x00, 0x05, {}},
        {{0x1E, 0x05, 0x00}, 30, 0x00, 0x05, {}},
        {{0x02, 0x00, 0x01, 0x01, 0x03, 0x71, 0x9F}, 2, 0x00, 0x01, {0x03}},
        {{0x06, 0x09, 0x80, 0x02, 0x10, 0x20}, 6, 0x09, 0x80, {0x10, 0x20}},
        {{0x1E, 0x00, 0x01, 0x55}, 30, 0x00, 0x00, {0x55}},
    };
    for (const auto& c : cases) {
        Receiver r;
        r.feed(c.wire);
        EXPECT_EQ(r.notified, std::vector<std::int32_t>{0});
        const Collected got = r.take();
        EXPECT_EQ(got.status, 0);
        EXPECT_EQ(got.mode, c.mode);
        EXPECT_EQ(got.address, c.address);
        EXPECT_EQ(got.command, c.command);
        EXPECT_EQ(got.length, c.data.size());
        EXPECT_EQ(got.data, c.data);
    }
}

TEST(Receiver, FollowsTheStateTableByteByByte)
{
    Receiver r;
    const Bytes wire{0x02, 0x01, 0x00, 0xFF, 0x02, 0xAA, 0xBB, 0x01, 0xCC, 0xFF, 0xFA, 0x45};
    // state and block sub-state after each byte
    const std::vector<std::pair<RxState, BlockState>> expected{
        {RxState::WaitAddress, BlockState::Ordinary}, {RxState::WaitCommand, BlockState::Ordinary},
        {RxState::WaitLength, BlockState::Ordinary},  {RxState::ReadData, BlockState::AtCount},
        {RxState::ReadData, BlockState::InBlock},     {RxState::ReadData, BlockState::InBlock},
        {RxState::ReadData, BlockState::AtCount},     {RxState::ReadData, BlockState::InBlock},
        {RxState::ReadData, BlockState::AtCount},     {RxState::WaitCrcHigh, BlockState::AtCount},
        {RxState::WaitCrcLow, BlockState::AtCount},   {RxState::WaitStart, BlockState::AtCount},
    };
    for (std::size_t i = 0; i < wire.size(); ++i) {
        r.feed({wire[i]});
        EXPECT_EQ(r.state.state(), expected[i].first) << "after byte " << i;
        EXPECT_EQ(r.state.blockState(), expected[i].second) << "after byte " << i;
        EXPECT_EQ(r.state.status(), i + 1 < wire.size() ? kReceptionInProgress : kAnswerReady) << i;
    }
}

TEST(Receiver, BlockListAnswerAndItsWalk)
{
    Receiver r;
    r.feed({0x02, 0x01, 0x00, 0xFF, 0x02, 0xAA, 0xBB, 0x01, 0xCC, 0xFF, 0xFA, 0x45});
    const Collected got = r.take();
    ASSERT_EQ(got.status, 0);
    EXPECT_EQ(got.length, 0xFF);
    const Bytes list{0x02, 0xAA, 0xBB, 0x01, 0xCC, 0xFF};
    ASSERT_EQ(got.data, list);

    EXPECT_EQ(LVRM_GetNbBlocks(list.data(), 6), 2);
    EXPECT_EQ(LVRM_GetNbBlocks(list.data(), 5), LVRM_ERR_WRONG_BLOCK_FORMAT);
    std::uint8_t block[255];
    std::uint32_t length = 99;
    ASSERT_EQ(LVRM_GetBlock(list.data(), 6, 0, block, &length), 1);
    EXPECT_EQ(length, 2u);
    EXPECT_EQ(Bytes(block, block + 2), (Bytes{0xAA, 0xBB}));
    ASSERT_EQ(LVRM_GetBlock(list.data(), 6, 1, block, &length), 1);
    EXPECT_EQ(length, 1u);
    EXPECT_EQ(block[0], 0xCC);
    length = 99;
    block[0] = 0x11;
    EXPECT_EQ(LVRM_GetBlock(list.data(), 6, 2, block, &length), 0);
    EXPECT_EQ(LVRM_GetBlock(list.data(), 6, -1, block, &length), 0);
    EXPECT_EQ(LVRM_GetBlock(list.data(), 5, 0, block, &length), 0);
    EXPECT_EQ(length, 99u);
    EXPECT_EQ(block[0], 0x11);
}

TEST(BlockList, EmptyListsEmptyBlocksAndMalformedLists)
{
    const Bytes empty{0xFF};
    EXPECT_EQ(LVRM_GetNbBlocks(empty.data(), 1), 0);
    std::uint8_t block[255];
    std::uint32_t length = 0;
    EXPECT_EQ(LVRM_GetBlock(empty.data(), 1, 0, block, &length), 0);

    // a count of 0 is an empty block, followed by the next count byte
    const Bytes withEmpty{0x00, 0x01, 0xAA, 0x00, 0xFF};
    EXPECT_EQ(LVRM_GetNbBlocks(withEmpty.data(), 5), 3);
    ASSERT_EQ(LVRM_GetBlock(withEmpty.data(), 5, 0, block, &length), 1);
    EXPECT_EQ(length, 0u);
    ASSERT_EQ(LVRM_GetBlock(withEmpty.data(), 5, 1, block, &length), 1);
    EXPECT_EQ(length, 1u);
    EXPECT_EQ(block[0], 0xAA);
    ASSERT_EQ(LVRM_GetBlock(withEmpty.data(), 5, 2, block, &length), 1);
    EXPECT_EQ(length, 0u);

    const Bytes noEnd{0x01, 0xAA, 0x01, 0xBB};
    EXPECT_EQ(LVRM_GetNbBlocks(noEnd.data(), 4), LVRM_ERR_WRONG_BLOCK_FORMAT);
    const Bytes overlong{0x05, 0xAA};
    EXPECT_EQ(LVRM_GetNbBlocks(overlong.data(), 2), LVRM_ERR_WRONG_BLOCK_FORMAT);
    EXPECT_EQ(LVRM_GetNbBlocks(empty.data(), 0), LVRM_ERR_WRONG_BLOCK_FORMAT);
    EXPECT_EQ(LVRM_GetNbBlocks(nullptr, 10), LVRM_ERR_WRONG_BLOCK_FORMAT);
}

TEST(Receiver, BlockListWithEmptyBlockIsReceived)
{
    Receiver r;
    const Bytes list{0x00, 0x01, 0xAA, 0x00, 0xFF};
    Bytes wire{0x0E, 0x00, 0xFF};
    wire.insert(wire.end(), list.begin(), list.end());
    const std::uint16_t crc = Crc16::compute(Bytes(wire.begin() + 1, wire.end()));
    wire.push_back(static_cast<std::uint8_t>(crc >> 8));
    wire.push_back(static_cast<std::uint8_t>(crc));
    r.feed(wire);
    const Collected got = r.take();
    EXPECT_EQ(got.status, 0);
    EXPECT_EQ(got.data, list);
}

TEST(Receiver, NoiseBeforeTheFrameStartIsSkipped)
{
    Receiver r;
    r.feed({0x41, 0x42, 0x00, 0xFF});
    EXPECT_EQ(r.state.status(), kNothingReceived);
    r.feed({0x02, 0x01, 0x05, 0x00, 0x24, 0x64});
    const Collected got = r.take();
    EXPECT_EQ(got.status, 0);
    EXPECT_EQ(got.address, 0x01);
    EXPECT_EQ(got.command, 0x05);
    EXPECT_EQ(got.length, 0);
}

TEST(Receiver, NoiseThatLooksLikeAFrameStart)
{
    { // mode without CRC: the noise frame is taken as the answer
        Receiver r;
        r.feed({0x1E, 0x41, 0x00});
        EXPECT_EQ(r.take().status, 0);
    }
    { // with CRC: it ends as a wrong CRC
        Receiver r;
        r.feed({0x0E, 0x41, 0x00, 0x12, 0x34});
        EXPECT_EQ(r.take().status, LVRM_ERR_WRONG_CRC);
    }
    { // its length announces more than arrives: stays in progress until the next request
        Receiver r;
        r.feed({0x06, 0x41, 0x42, 0x20, 0x01});
        EXPECT_EQ(r.take().status, LVRM_ERR_RECEPTION_IN_PROGRESS);
        r.state.beginRequest();
        EXPECT_EQ(r.state.status(), kNothingReceived);
        r.feed({0x02, 0x01, 0x05, 0x00, 0x24, 0x64});
        EXPECT_EQ(r.take().status, 0);
    }
}

TEST(Receiver, AfterARequestAFrameWithoutCrcMustBeInItsMode)
{
    // Noise that starts like a frame without CRC ahead of the answer to a
    // mode 2 request: skipped, and the answer comes through as sent.
    const Bytes answer = build(2, 0x00, 0x00, {0x11, 0x22, 0x33, 0x44});
    for (const Bytes& noise : {Bytes{0x1E, 0x00, 0x04}, Bytes{0x06, 0x00, 0x00, 0x04}, Bytes{0x1E, 0x06, 0x1E}}) {
        Receiver r;
        r.state.beginRequest(2);
        r.feed(noise);
        r.feed(answer);
        const Collected got = r.take();
        EXPECT_EQ(got.status, 0);
        EXPECT_EQ(got.mode, 2);
        EXPECT_EQ(got.data, (Bytes{0x11, 0x22, 0x33, 0x44}));
    }
    // A request in a mode without CRC still takes its own mode's frames.
    Receiver r;
    r.state.beginRequest(30);
    r.feed({0x06, 0x1E, 0x00, 0x01, 0x7F});
    const Collected got = r.take();
    EXPECT_EQ(got.status, 0);
    EXPECT_EQ(got.mode, 30);
    EXPECT_EQ(got.data, Bytes{0x7F});
    // An answer with CRC is taken in any mode, whatever the request's.
    const struct {
        std::uint8_t request;
        std::uint8_t answer;
    } crcAnswers[] = {{2, 14}, {6, 2}, {14, 2}, {30, 14}};
    for (const auto& c : crcAnswers) {
        Receiver crc;
        crc.state.beginRequest(c.request);
        crc.feed(build(c.answer, 0x00, 0x00, {0x5A}));
        const Collected taken = crc.take();
        EXPECT_EQ(taken.status, 0) << int{c.request} << " / " << int{c.answer};
        EXPECT_EQ(taken.mode, c.answer);
        EXPECT_EQ(taken.data, Bytes{0x5A});
    }
}

TEST(Receiver, EveryBitOfAModeTwoAnswerIsCovered)
{
    const Bytes good{0x02, 0x00, 0x01, 0x01, 0x03, 0x71, 0x9F};
    for (std::size_t byte = 1; byte < good.size(); ++byte) {
        for (int bit = 0; bit < 8; ++bit) {
            Bytes wire = good;
            wire[byte] ^= static_cast<std::uint8_t>(1u << bit);
            Receiver r;
            r.feed(wire);
            const Collected got = r.take();
            if (byte == 3) { // the length byte: the frame no longer ends where it did
                EXPECT_NE(got.status, 0) << byte << ":" << bit;
                continue;
            }
            EXPECT_EQ(got.status, LVRM_ERR_WRONG_CRC) << byte << ":" << bit;
            EXPECT_EQ(r.notified, std::vector<std::int32_t>{LVRM_ERR_WRONG_CRC});
            EXPECT_EQ(got.mode, 0);
            EXPECT_EQ(got.address, 0);
            EXPECT_EQ(got.command, 0);
            EXPECT_EQ(got.length, 0);
            EXPECT_TRUE(got.data.empty());
        }
    }
}

TEST(Receiver, CrcTravelsHighByteFirst)
{
    Receiver r;
    r.feed({0x02, 0x01, 0x05, 0x00, 0x64, 0x24});
    EXPECT_EQ(r.take().status, LVRM_ERR_WRONG_CRC);
}

TEST(Receiver, CollectingBeforeAndDuringAFrame)
{
    Receiver r;
    EXPECT_EQ(r.take().status, LVRM_ERR_NOTHING_RECEIVED);
    r.feed({0x02, 0x01});
    const Collected early = r.take();
    EXPECT_EQ(early.status, LVRM_ERR_RECEPTION_IN_PROGRESS);
    EXPECT_EQ(early.mode, 0xEE); // nothing handed out
    r.feed({0x05, 0x00, 0x24, 0x64}); // the link was not reset: the frame completes
    EXPECT_EQ(r.take().status, 0);
    EXPECT_EQ(r.take().status, LVRM_ERR_NOTHING_RECEIVED); // handed out once
}

TEST(Receiver, BytesAfterACompleteAnswerWaitForItsCollection)
{
    Receiver r;
    r.feed({0x1E, 0x05, 0x01, 0x11});
    r.feed({0x1E, 0x06, 0x01, 0x22}); // dropped: the first answer is still there
    Collected first = r.take();
    EXPECT_EQ(first.command, 0x05);
    EXPECT_EQ(first.data, Bytes{0x11});
    r.feed({0x1E, 0x07, 0x01, 0x33}); // taken again after collection
    Collected second = r.take();
    EXPECT_EQ(second.command, 0x07);

    Receiver s;
    s.feed({0x1E, 0x05, 0x00});
    s.feed({0x1E, 0x06, 0x00});
    s.state.beginRequest(); // a new request discards the unread answer
    EXPECT_EQ(s.take().status, LVRM_ERR_NOTHING_RECEIVED);
}

TEST(Receiver, AFreshLinkHoldsAnEmptyAnswer)
{
    AnswerState state;
    state.resetEmpty();
    std::uint8_t mode = 9, address = 9, command = 9, length = 9;
    EXPECT_EQ(state.take(&mode, &address, &command, &length, nullptr), 0);
    EXPECT_EQ(mode + address + command + length, 0);
    EXPECT_EQ(state.take(&mode, &address, &command, &length, nullptr), kNothingReceived);
}

TEST(Receiver, ANewRequestAbandonsAFrameHalfWay)
{
    Receiver r;
    r.feed({0x02, 0x01, 0x05, 0x04, 0x01});
    r.state.beginRequest();
    r.feed({0x02, 0x00, 0x01, 0x01, 0x03, 0x71, 0x9F});
    const Collected got = r.take();
    EXPECT_EQ(got.status, 0);
    EXPECT_EQ(got.data, Bytes{0x03});
}

namespace {

// A block list of exactly `size` bytes (blocks of 254 bytes, the end byte last).
Bytes blockList(std::size_t size)
{
    Bytes list;
    while (list.size() + 1 < size) {
        const std::size_t room = size - 1 - list.size();
        const std::size_t n = std::min<std::size_t>(254, room - 1);
        list.push_back(static_cast<std::uint8_t>(n));
        for (std::size_t i = 0; i < n; ++i)
            list.push_back(static_cast<std::uint8_t>(i * 7 + list.size()));
    }
    list.push_back(0xFF);
    return list;
}

Bytes blockListAnswer(const Bytes& list)
{
    Bytes wire{0x02, 0x01, 0x00, 0xFF};
    wire.insert(wire.end(), list.begin(), list.end());
    const std::uint16_t crc = Crc16::compute(Bytes(wire.begin() + 1, wire.end()));
    wire.push_back(static_cast<std::uint8_t>(crc >> 8));
    wire.push_back(static_cast<std::uint8_t>(crc));
    return wire;
}

} // namespace

TEST(Receiver, BlockListFillingTheDataAreaExactly)
{
    const Bytes list = blockList(kAnswerDataSize);
    ASSERT_EQ(list.size(), 4096u);
    Receiver r;
    r.feed(blockListAnswer(list));
    const Collected got = r.take();
    ASSERT_EQ(got.status, 0);
    ASSERT_EQ(got.data.size(), list.size());
    EXPECT_EQ(got.data, list);
    EXPECT_GT(LVRM_GetNbBlocks(got.data.data(), static_cast<std::int32_t>(got.data.size())), 16);
}

TEST(Receiver, BlockListLongerThanTheDataAreaIsAWrongCrc)
{
    for (std::size_t size : {std::size_t{4097}, std::size_t{5000}, std::size_t{20000}}) {
        const Bytes list = blockList(size);
        Receiver r;
        r.feed(blockListAnswer(list));
        EXPECT_LE(r.state.receivedCount(), kAnswerDataSize);
        EXPECT_EQ(r.notified, std::vector<std::int32_t>{LVRM_ERR_WRONG_CRC}) << size;
        const Collected got = r.take();
        EXPECT_EQ(got.status, LVRM_ERR_WRONG_CRC);
        EXPECT_EQ(got.length, 0);
        EXPECT_TRUE(got.data.empty());
    }
}

TEST(ErrorStrings, TextsOfEveryCode)
{
    const std::pair<int, const char*> texts[] = {
        {0, "No error"},
        {-1, "Unknown ZPX mode"},
        {-2, "Wrong CRC"},
        {-3, "Nothing received"},
        {-5, "Incomplete answer"},
        {-6, "Frame reception in progress"},
        {-7, "Wrong block format"},
        {-8, "Invalid Handle"},
        {-9, "Connection lost"},
    };
    for (const auto& [code, text] : texts) {
        char buffer[LVRM_ERROR_STRING_SIZE];
        std::memset(buffer, 'x', sizeof buffer);
        ASSERT_EQ(LVRM_GetErrorString(code, buffer), 1) << code;
        EXPECT_STREQ(buffer, text);
    }
    for (int code : {-4, -10, -100, 1, 42}) {
        char buffer[LVRM_ERROR_STRING_SIZE];
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(LVRM_GetErrorString(code, buffer), 0) << code;
        EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, 'x'));
    }
}

TEST(Version, IsOnePointFiveReleaseOne)
{
    EXPECT_EQ(LVRM_GetVersion(), 0x01050001);
    EXPECT_EQ(LVRM_GetVersion(), 17104897);
}

TEST(HostAddress, FourDottedNumbersAsScanfReadsThem)
{
    struct Case {
        const char* text;
        bool ok;
        Ipv4 address;
    };
    const Case cases[] = {
        {"10.0.0.1", true, {10, 0, 0, 1}},
        {"192.168.1.200", true, {192, 168, 1, 200}},
        {"256.257.-1.300", true, {0, 1, 255, 44}},         // low 8 bits of each number
        {"99999999999.0.0.1", true, {255, 0, 0, 1}},         // no overflow, still the low 8 bits
        {" 1. 2.\t3.+4", true, {1, 2, 3, 4}},                // white space before each number, signs
        {"1.2.3.4:8000 and more", true, {1, 2, 3, 4}},       // the rest is ignored
        {"1.2.3", false, {}},
        {"1 .2.3.4", false, {}},                              // a dot must follow the number at once
        {"1..2.3.4", false, {}},
        {"reader.local", false, {}},
        {"", false, {}},
        {"-.1.2.3", false, {}},
    };
    for (const auto& c : cases) {
        Ipv4 got{9, 9, 9, 9};
        EXPECT_EQ(parseDottedQuad(c.text, got), c.ok) << c.text;
        if (c.ok)
            EXPECT_EQ(got, c.address) << c.text;
        else
            EXPECT_EQ(got, (Ipv4{9, 9, 9, 9})) << c.text;
    }
    Ipv4 unused{};
    EXPECT_FALSE(parseDottedQuad(nullptr, unused));
}
