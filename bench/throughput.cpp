// The frame receiver and the CRCs against the memory bandwidth of a plain
// copy of the same number of bytes: how far byte-by-byte work stays from the
// fastest the machine moves those bytes.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "benchmarks.h"
#include "frame.h"
#include "frame_codec.h"
#include "platform/clock.h"

namespace bench {

namespace {

constexpr std::size_t kBytes = 16u << 20;
constexpr int kRounds = 5;

// The best of several rounds, in MB/s.
template <typename Work>
double megabytesPerSecond(std::size_t bytes, Work&& work)
{
    double best = 0;
    for (int round = 0; round < kRounds; ++round) {
        const std::uint64_t start = platform::monotonicUs();
        work();
        const auto us = static_cast<double>(std::max<std::uint64_t>(platform::monotonicUs() - start, 1));
        best = std::max(best, static_cast<double>(bytes) / us);
    }
    return best;
}

// Answer frames of 254 data bytes with their CRC, back to back.
std::vector<std::uint8_t> answerStream(std::size_t bytes)
{
    std::vector<std::uint8_t> data(254);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 7);
    std::array<std::uint8_t, linvaro::kMaxFrame> frame{};
    const std::size_t length = linvaro::buildFrame(2, 0, 0, data, frame);
    std::vector<std::uint8_t> stream;
    while (stream.size() + length <= bytes)
        stream.insert(stream.end(), frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(length));
    return stream;
}

} // namespace

void throughput(Report& report)
{
    std::vector<std::uint8_t> source(kBytes), copy(kBytes);
    for (std::size_t i = 0; i < source.size(); ++i)
        source[i] = static_cast<std::uint8_t>(i * 31 + 7);
    volatile std::uint8_t sink = 0;
    const double copyRate = megabytesPerSecond(kBytes, [&] {
        std::memcpy(copy.data(), source.data(), kBytes);
        sink = sink + copy[kBytes / 2];
    });

    const std::vector<std::uint8_t> stream = answerStream(kBytes);
    static linvaro::AnswerState state; // 4 KB of answer data
    std::vector<std::uint8_t> data(linvaro::kAnswerDataSize);
    std::size_t answers = 0;
    const double receiverRate = megabytesPerSecond(stream.size(), [&] {
        state.resetEmpty();
        state.beginRequest();
        for (const std::uint8_t byte : stream) {
            if (state.feed(byte)) {
                std::uint8_t mode, address, command, length;
                if (state.take(&mode, &address, &command, &length, data.data()) == 0)
                    ++answers;
            }
        }
    });
    const double zpxCrcRate = megabytesPerSecond(kBytes, [&] { sink = sink + (linvaro::Crc16::compute(source) & 1); });
    const double dalrixCrcRate =
        megabytesPerSecond(kBytes, [&] { sink = sink + (dalrix::TDalrix1::crc(source) & 1); });
    if (answers == 0)
        return report.failed("frame receiver", "no answer completed");

    std::printf("throughput over %zu MB (best of %d): plain copy %.0f MB/s, frame receiver %.0f MB/s, "
                "ZPX CRC %.0f MB/s, second-make CRC %.0f MB/s\n",
                kBytes >> 20, kRounds, copyRate, receiverRate, zpxCrcRate, dalrixCrcRate);
    report.add({"frame receiver throughput", receiverRate, "plain copy bandwidth", copyRate, "MB/s",
                receiverRate / copyRate, "", std::nullopt});
    report.add({"ZPX CRC-16 throughput", zpxCrcRate, "plain copy bandwidth", copyRate, "MB/s",
                zpxCrcRate / copyRate, "", std::nullopt});
    report.add({"second-make CRC throughput", dalrixCrcRate, "plain copy bandwidth", copyRate, "MB/s",
                dalrixCrcRate / copyRate, "", std::nullopt});
}

} // namespace bench
