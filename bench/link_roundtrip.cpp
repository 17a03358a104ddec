// One reader command's round trip through the whole stack (QVL_CmdExec ->
// LVRM_Send -> link thread -> pseudo-terminal -> answering reader -> link
// thread's receiver -> answer event -> LVRM_GetAnswer), next to the raw round
// trip of the same bytes written and read directly on the same
// pseudo-terminal against the same reader, in the same run. Then the CPU time
// an idle link's thread uses.
#include <algorithm>
#include <cstdio>
#include <poll.h>
#include <set>
#include <vector>

#include "benchmarks.h"
#include "linvaro.h"
#include "platform/clock.h"
#include "platform/serial.h"
#include "quorvel.h"
#include "scripted_peer.h"

namespace bench {

namespace {

constexpr int kPort = 5;
constexpr int kBaud = 115200;

} // namespace

void linkRoundTrip(Report& report, int iterations, int idleSeconds)
{
    // A read-block-sized exchange: 10 request data bytes, 4 answer data bytes.
    const peer::Bytes request{0xE0, 0x04, 0x01, 0x00, 0x12, 0x34, 0x56, 0x78, 0x03, 0x01};
    const peer::Bytes answerData{0x11, 0x22, 0x33, 0x44};
    auto reader = peer::ScriptedPeer::pty(kPort);
    reader->answerAll(0x00, answerData);
    // The request frame QVL_CmdExec sends on a fresh link (mode 2, address 0);
    // requests and answers share one layout.
    const peer::Bytes requestFrame = peer::answerFrame(ZPX_MODE_ADDR_CRC, 0, 0x23, request);
    const std::size_t answerSize = peer::answerFrame(ZPX_MODE_ADDR_CRC, 0, 0x00, answerData).size();
    const char* measure = "command round trip, QVL_CmdExec";

    // Raw: the same bytes written and read directly on the pseudo-terminal.
    std::vector<double> raw;
    {
        auto port = platform::SerialPort::open(platform::serialPortPath(kPort), kBaud);
        if (!port.isOpen())
            return report.failed(measure, "the pseudo-terminal cannot be opened");
        std::vector<std::uint8_t> in(64);
        for (int i = 0; i < iterations + 100; ++i) {
            const std::uint64_t start = platform::monotonicUs();
            port.write(requestFrame, 1000);
            std::size_t got = 0;
            while (got < answerSize) {
                pollfd p{port.fd(), POLLIN, 0};
                if (::poll(&p, 1, 1000) <= 0)
                    return report.failed(measure, "no raw answer");
                const long n = port.read(std::span(in).subspan(got));
                if (n > 0)
                    got += static_cast<std::size_t>(n);
            }
            if (i >= 100)
                raw.push_back(static_cast<double>(platform::monotonicUs() - start));
        }
    }

    // Full stack.
    const auto before = threadIds();
    const std::int32_t handle = QVL_SerialOpen(kPort, kBaud);
    if (handle < 1)
        return report.failed(measure, "QVL_SerialOpen failed");
    std::vector<double> full;
    std::uint8_t status = 0, length = 0;
    std::vector<std::uint8_t> data(LVRM_ANSWER_DATA_SIZE);
    for (int i = 0; i < iterations + 100; ++i) {
        const std::uint64_t start = platform::monotonicUs();
        const std::int32_t rc = QVL_CmdExec(handle, 0x23, static_cast<std::int32_t>(request.size()), request.data(),
                                            &status, &length, data.data());
        if (rc != 0 || length != answerData.size()) {
            QVL_Close(handle);
            return report.failed(measure, "QVL_CmdExec failed");
        }
        if (i >= 100)
            full.push_back(static_cast<double>(platform::monotonicUs() - start));
    }

    const double rawMedian = percentile(raw, 0.5), rawP99 = percentile(raw, 0.99);
    const double fullMedian = percentile(full, 0.5), fullP99 = percentile(full, 0.99);
    const double wireUs = static_cast<double>(requestFrame.size() + answerSize) * 10.0 * 1e6 / kBaud;
    std::printf("command round trip over a pseudo-terminal, %d iterations, %zu bytes out, %zu bytes back\n",
                iterations, requestFrame.size(), answerSize);
    std::printf("  raw pty round trip   median %8.1f us  p99 %8.1f us\n", rawMedian, rawP99);
    std::printf("  QVL_CmdExec          median %8.1f us  p99 %8.1f us\n", fullMedian, fullP99);
    std::printf("  added by the stack   median %8.1f us, %.2f%% of the frames' wire time at %d baud (%.0f us)\n",
                fullMedian - rawMedian, 100.0 * (fullMedian - rawMedian) / wireUs, kBaud, wireUs);
    // The link thread adds two thread hand-offs by design: about twice the raw
    // round trip is the floor, so the targets are on the added time and p99.
    const double added = fullMedian - rawMedian;
    report.add({"command round trip, median", fullMedian, "raw pty round trip, median", rawMedian, "us",
                fullMedian / rawMedian, "added < 50 us", added < 50});
    report.add({"command round trip, p99", fullP99, "raw pty round trip, p99", rawP99, "us", fullP99 / rawP99, "< 4",
                fullP99 / rawP99 < 4});

    // An idle link: no periodic wake-ups, so no CPU time.
    std::vector<int> linkThreads;
    for (int tid : threadIds())
        if (std::find(before.begin(), before.end(), tid) == before.end())
            linkThreads.push_back(tid);
    if (linkThreads.size() != 1) {
        QVL_Close(handle);
        return report.failed("idle link thread", "the link thread was not found");
    }
    const int tid = linkThreads.front();
    const double cpu0 = threadCpuUs(tid);
    const long wake0 = threadWakeUps(tid);
    platform::sleepMs(static_cast<unsigned>(idleSeconds) * 1000);
    const double cpuUs = threadCpuUs(tid) - cpu0;
    const long wakeUps = threadWakeUps(tid) - wake0;
    std::printf("idle link thread over %d s: CPU time %.0f us, wake-ups %ld\n", idleSeconds, cpuUs, wakeUps);
    report.add({"idle link thread CPU time (" + std::to_string(wakeUps) + " wake-ups)", cpuUs / 1000.0,
                "idle time", idleSeconds * 1000.0, "ms", cpuUs / (idleSeconds * 1e6), "no periodic wake-ups",
                wakeUps <= 1});
    QVL_Close(handle);
}

} // namespace bench
