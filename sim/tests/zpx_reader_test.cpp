// The reader side of ZPX framing that every first-make family stands on.
#include <gtest/gtest.h>

#include <memory>

#include "sim/reader.h"
#include "zpx/zpx_reader.h"

using namespace sim;
using Bytes = std::vector<std::uint8_t>;

namespace {

// Answers every command with its data reversed, status = command + 1;
// command 0x50 asks for a block list of its data bytes, one per block.
class EchoReader final : public zpx::ZpxReader {
public:
    EchoReader() : ZpxReader(0x07) {}

protected:
    std::optional<zpx::Answer> execute(const zpx::Request& request, Context&) override
    {
        if (request.command == 0x50) {
            std::vector<Bytes> records;
            for (std::uint8_t b : request.data)
                records.push_back(Bytes(b, b));
            return zpx::Answer::blocks(0, records);
        }
        if (request.command == 0x51)
            return std::nullopt;
        Bytes data(request.data.rbegin(), request.data.rend());
        return zpx::Answer{static_cast<std::uint8_t>(request.command + 1), data, false};
    }
};

Reader makeReader()
{
    return Reader(std::make_unique<EchoReader>(), 115200, "echo");
}

} // namespace

TEST(ZpxFraming, CrcIsKermitHighByteFirst)
{
    const Bytes check{'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(zpx::crc16(check), 0x2189);
    const Bytes data{0x01, 0x02};
    const Bytes frame = zpx::requestFrame({zpx::kModeCrc, 0, 0x60, data});
    const std::uint16_t crc = zpx::crc16(Bytes{0x60, 0x02, 0x01, 0x02});
    EXPECT_EQ(frame, (Bytes{14, 0x60, 0x02, 0x01, 0x02, static_cast<std::uint8_t>(crc >> 8),
                            static_cast<std::uint8_t>(crc & 0xFF)}));
}

TEST(ZpxFraming, AnswersInTheModeOfTheRequest)
{
    Reader reader = makeReader();
    const Bytes data{0xAA, 0xBB};
    for (std::uint8_t mode : {zpx::kModeAddrCrc, zpx::kModeAddr, zpx::kModeCrc, zpx::kModePlain}) {
        const Bytes request = zpx::requestFrame({mode, 0x07, 0x20, data});
        const Bytes expected = zpx::answerFrame(mode, 0x07, zpx::Answer{0x21, {0xBB, 0xAA}, false});
        EXPECT_EQ(reader.exchange(request), expected) << "mode " << int(mode);
    }
}

TEST(ZpxFraming, IgnoresOtherAddressesAndBadCrcButSkipsNoise)
{
    Reader reader = makeReader();
    EXPECT_TRUE(reader.exchange(zpx::requestFrame({zpx::kModeAddrCrc, 0x08, 0x20, {}})).empty());
    EXPECT_FALSE(reader.exchange(zpx::requestFrame({zpx::kModeAddrCrc, 0xFF, 0x20, {}})).empty())
        << "0xFF reaches any reader";

    Bytes bad = zpx::requestFrame({zpx::kModeAddrCrc, 0x07, 0x20, {}});
    bad.back() ^= 1;
    EXPECT_TRUE(reader.exchange(bad).empty());

    Bytes noisy{0x00, 0x55, 0xFF};
    const Bytes good = zpx::requestFrame({zpx::kModeCrc, 0, 0x30, {}});
    noisy.insert(noisy.end(), good.begin(), good.end());
    EXPECT_EQ(reader.exchange(noisy), zpx::answerFrame(zpx::kModeCrc, 0x07, zpx::Answer{0x31, {}, false}));
}

TEST(ZpxFraming, BlockListAnswer)
{
    Reader reader = makeReader();
    const Bytes counts{2, 0, 1};
    const Bytes answer = reader.exchange(zpx::requestFrame({zpx::kModePlain, 0, 0x50, counts}));
    EXPECT_EQ(answer, (Bytes{30, 0x00, 0xFF, 2, 2, 2, 0, 1, 1, 0xFF}));
}

TEST(ZpxFraming, DescribesBlockListAnswersWithinTheFrame)
{
    EchoReader reader;
    const Bytes answer = zpx::answerFrame(zpx::kModeAddrCrc, 7, zpx::Answer::blocks(0, {Bytes{0xAA}}));
    EXPECT_EQ(reader.describe(answer), "mode 2 cmd 00 len 3: 01 AA FF");
}

TEST(ZpxFraming, LongestRequestIsTakenWhole)
{
    Reader reader = makeReader();
    const Bytes data(255, 0x11);
    const Bytes answer = reader.exchange(zpx::requestFrame({zpx::kModeAddrCrc, 0x07, 0x20, data}));
    ASSERT_EQ(answer.size(), 4u + 255u + 2u);
    EXPECT_EQ(answer[3], 255);
}

TEST(ZpxFraming, FaultHooks)
{
    EchoReader reader;
    Bytes plain = zpx::answerFrame(zpx::kModeAddr, 7, zpx::Answer::ok({1}));
    EXPECT_FALSE(reader.corruptCrc(plain)) << "frames without CRC have nothing to break";
    Bytes withCrc = zpx::answerFrame(zpx::kModeAddrCrc, 7, zpx::Answer::ok({1}));
    const Bytes before = withCrc;
    EXPECT_TRUE(reader.corruptCrc(withCrc));
    EXPECT_NE(before, withCrc);

    const Bytes request = zpx::requestFrame({zpx::kModeCrc, 0, 0x20, Bytes{1, 2}});
    EXPECT_EQ(reader.statusAnswer(request, 0x84), zpx::answerFrame(zpx::kModeCrc, 7, zpx::Answer::error(0x84)));
}
