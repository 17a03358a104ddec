#include <gtest/gtest.h>

#include <string>

#include "frame_codec.h"
#include "pty_peer.h"

using dalrix::Bytes;
using dalrix::TDalrix1;
using dalrix_test::hex;

namespace {

const std::uint8_t kUid[8] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};

Bytes bytesOf(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

} // namespace

TEST(Crc, IsMcrf4xxWithItsCheckValue)
{
    EXPECT_EQ(TDalrix1::crc(bytesOf("123456789")), 0x6F91);
    EXPECT_EQ(dalrix_test::crc16(bytesOf("123456789")), 0x6F91) << "the tests' own CRC";
    EXPECT_EQ(TDalrix1::crc({}), 0xFFFF);
}

struct RequestCase {
    const char* what;
    std::uint8_t address, command, state;
    bool uid;
    Bytes data;
    Bytes frame;
};

class Requests : public ::testing::TestWithParam<RequestCase> {};

TEST_P(Requests, AreBuiltByteForByte)
{
    const RequestCase& c = GetParam();
    const auto frame = TDalrix1::buildRequest(c.address, c.command, c.state,
                                              c.uid ? std::span<const std::uint8_t>(kUid) : std::span<const std::uint8_t>(),
                                              c.data);
    ASSERT_TRUE(frame);
    EXPECT_EQ(hex(*frame), hex(c.frame));
}

INSTANTIATE_TEST_SUITE_P(
    EdgeVectors, Requests,
    ::testing::Values(
        RequestCase{"reader information to any reader", 0xFF, 0x00, 0xF0, false, {}, {0x05, 0xFF, 0x00, 0xF0, 0x0A, 0x5C}},
        RequestCase{"RF off to address 0", 0x00, 0x01, 0xF0, false, {}, {0x05, 0x00, 0x01, 0xF0, 0x21, 0x83}},
        RequestCase{"RF on to address 0", 0x00, 0x02, 0xF0, false, {}, {0x05, 0x00, 0x02, 0xF0, 0x49, 0xA9}},
        RequestCase{"stream inventory type 6", 0x00, 0x01, 0x06, false, {}, {0x05, 0x00, 0x01, 0x06, 0x98, 0x11}},
        RequestCase{"stream inventory type 7, AFI 7", 0x00, 0x01, 0x07, false, {0x07},
                    {0x06, 0x00, 0x01, 0x07, 0x07, 0x7B, 0x68}},
        RequestCase{"addressed block read", 0x00, 0x20, 0x00, true, {0x03},
                    {0x0E, 0x00, 0x20, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x03, 0xD8, 0x01}},
        RequestCase{"state 1 leaves the UID out", 0x00, 0x20, 0x01, true, {0x03}, {0x06, 0x00, 0x20, 0x01, 0x03, 0x68, 0x23}},
        RequestCase{"reader command never carries a UID", 0x00, 0x02, 0xF0, true, {}, {0x05, 0x00, 0x02, 0xF0, 0x49, 0xA9}}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(Requests, CarryTheUidOnlyInAddressingStates)
{
    for (int state = 0; state < 256; ++state) {
        const bool addressed = state == 0 || state == 4 || state == 8 || state == 12 || state == 0xA0 || state == 0xA8;
        const auto with = TDalrix1::buildRequest(0, 0x20, static_cast<std::uint8_t>(state), kUid, Bytes{1});
        const auto without = TDalrix1::buildRequest(0, 0x20, static_cast<std::uint8_t>(state), {}, Bytes{1});
        ASSERT_TRUE(with && without);
        EXPECT_EQ(with->size(), addressed ? 15u : 7u) << "state " << state;
        EXPECT_EQ(without->size(), 7u) << "state " << state;
        EXPECT_EQ((*with)[0], with->size() - 1);
    }
}

TEST(Requests, AreAtMost256Bytes)
{
    const Bytes most(241, 0xAA); // 4 + 8 + 1 + 241 + 2 = 256
    Bytes data{0x00};
    data.insert(data.end(), most.begin(), most.end());
    const auto fits = TDalrix1::buildRequest(0, 0x21, 0x00, kUid, data);
    ASSERT_TRUE(fits);
    EXPECT_EQ(fits->size(), 256u);
    EXPECT_EQ((*fits)[0], 0xFF);
    data.push_back(0xAA);
    EXPECT_FALSE(TDalrix1::buildRequest(0, 0x21, 0x00, kUid, data));
    EXPECT_TRUE(TDalrix1::buildRequest(0, 0x21, 0x01, kUid, data)) << "without the UID it fits again";
}

TEST(Answers, SuccessWithoutData)
{
    const Bytes frame{0x04, 0x00, 0x00, 0x52, 0x5A};
    EXPECT_TRUE(TDalrix1::isCompleteAnswer(frame));
    const auto answer = TDalrix1::checkAnswer(frame);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->address, 0x00);
    EXPECT_EQ(answer->status, 0x00);
    EXPECT_EQ(answer->errorCode, 0x00);
    EXPECT_TRUE(answer->data.empty());
}

TEST(Answers, ErrorCodeFollowsStatus0F)
{
    const auto answer = TDalrix1::checkAnswer(Bytes{0x05, 0x00, 0x0F, 0x10, 0x3F, 0xFE});
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 0x0F);
    EXPECT_EQ(answer->errorCode, 0x10);
    EXPECT_TRUE(answer->data.empty());

    const auto withData = TDalrix1::checkAnswer(dalrix_test::withCrc({0x07, 0x03, 0x0F, 0x22, 0xAB, 0xCD}));
    ASSERT_TRUE(withData);
    EXPECT_EQ(withData->address, 0x03);
    EXPECT_EQ(withData->errorCode, 0x22);
    EXPECT_EQ(hex(withData->data), "AB CD");

    // Too short to hold the error code it announces: no code, no data.
    const auto bare = TDalrix1::checkAnswer(dalrix_test::withCrc({0x04, 0x00, 0x0F}));
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->status, 0x0F);
    EXPECT_EQ(bare->errorCode, 0x00);
    EXPECT_TRUE(bare->data.empty());
}

TEST(Answers, AnyChangedByteFailsTheCheck)
{
    const Bytes good = dalrix_test::withCrc({0x0D, 0x00, 0x00, 0x00, 1, 2, 3, 4, 5, 6, 7, 8});
    ASSERT_TRUE(TDalrix1::checkAnswer(good));
    for (std::size_t i = 0; i < good.size(); ++i)
        for (std::uint8_t flip : {0x01, 0x80, 0xFF}) {
            Bytes bad = good;
            bad[i] ^= flip;
            EXPECT_FALSE(TDalrix1::checkAnswer(bad)) << "byte " << i << " ^ " << int(flip);
        }
    EXPECT_FALSE(TDalrix1::checkAnswer(Bytes{0x03, 0x00, 0x00, 0x00}));
}

TEST(Answers, SingleAnswerMustFillTheBufferExactly)
{
    const Bytes frame{0x04, 0x00, 0x00, 0x52, 0x5A};
    Bytes buffer;
    for (std::uint8_t b : frame) {
        EXPECT_FALSE(TDalrix1::isCompleteAnswer(buffer));
        buffer.push_back(b);
    }
    EXPECT_TRUE(TDalrix1::isCompleteAnswer(buffer));
    Bytes two = frame;
    two.insert(two.end(), frame.begin(), frame.end());
    EXPECT_FALSE(TDalrix1::isCompleteAnswer(two)) << "extra bytes after a frame";
    Bytes stray{0x00};
    stray.insert(stray.end(), frame.begin(), frame.end());
    EXPECT_FALSE(TDalrix1::isCompleteAnswer(stray)) << "a stray byte before it";
    EXPECT_FALSE(TDalrix1::isCompleteAnswer(Bytes{0x03, 0x00, 0x00, 0x00})) << "shorter than 5 bytes";
}

TEST(Answers, StreamFramesAreCutFromTheFront)
{
    const Bytes tag = dalrix_test::withCrc({0x0D, 0x00, 0x00, 0x00, 1, 2, 3, 4, 5, 6, 7, 8});
    const Bytes end{0x04, 0x00, 0x01, 0xDB, 0x4B};
    EXPECT_EQ(hex(tag), "0D 00 00 00 01 02 03 04 05 06 07 08 49 FB");
    Bytes buffer = tag;
    buffer.insert(buffer.end(), end.begin(), end.begin() + 3);
    EXPECT_EQ(TDalrix1::completeFrontFrame(buffer), tag.size());
    buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(tag.size()));
    EXPECT_EQ(TDalrix1::completeFrontFrame(buffer), 0u) << "the closing frame is not complete yet";
    buffer.insert(buffer.end(), end.begin() + 3, end.end());
    EXPECT_EQ(TDalrix1::completeFrontFrame(buffer), 5u);
    EXPECT_EQ(TDalrix1::completeFrontFrame(Bytes{0x02, 0x00, 0x00, 0x00, 0x00}), 3u)
        << "a short length still cuts (and then fails the check)";
}
