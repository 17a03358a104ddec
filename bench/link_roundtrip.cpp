// One reader command's round trip through the whole stack (QVL_CmdExec ->
// LVRM_Send -> link thread -> pseudo-terminal -> answering reader -> link
// thread's receiver -> answer event -> LVRM_GetAnswer), next to the raw round
// trip of the same bytes written and read directly on the same
// pseudo-terminal against the same reader, in the same run. Then the CPU time
// an idle link's thread uses over 5 s.
//
// Usage: bench_link_roundtrip [iterations] [idle seconds]

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fstream>
#include <poll.h>
#include <set>
#include <string>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

#include "linvaro.h"
#include "platform/clock.h"
#include "platform/serial.h"
#include "quorvel.h"
#include "scripted_peer.h"

namespace {

constexpr int kPort = 5;
constexpr int kBaud = 115200;

struct Stats {
    double median, p99, mean;
};

Stats summarise(std::vector<double> us)
{
    std::sort(us.begin(), us.end());
    double sum = 0;
    for (double v : us)
        sum += v;
    const auto at = [&](double q) { return us[std::min(us.size() - 1, static_cast<std::size_t>(q * us.size()))]; };
    return {at(0.5), at(0.99), sum / static_cast<double>(us.size())};
}

std::set<int> threadIds()
{
    std::set<int> ids;
    if (DIR* dir = ::opendir("/proc/self/task")) {
        while (dirent* e = ::readdir(dir))
            if (e->d_name[0] != '.')
                ids.insert(std::atoi(e->d_name));
        ::closedir(dir);
    }
    return ids;
}

// CPU time of one thread of this process in microseconds, -1 when unknown.
double threadCpuUs(int tid)
{
    // The kernel's per-thread CPU clock: ~tid << 3 | CPUCLOCK_SCHED | CPUCLOCK_PERTHREAD.
    const clockid_t clock = static_cast<clockid_t>((~static_cast<unsigned>(tid) << 3) | 6);
    timespec ts{};
    if (::clock_gettime(clock, &ts) == 0)
        return static_cast<double>(ts.tv_sec) * 1e6 + static_cast<double>(ts.tv_nsec) / 1e3;
    std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return -1;
    const auto close = line.rfind(')');
    std::vector<std::string> fields;
    std::string field;
    for (char c : line.substr(close + 2)) {
        if (c == ' ') {
            fields.push_back(field);
            field.clear();
        } else {
            field += c;
        }
    }
    if (fields.size() < 13)
        return -1;
    const double ticks = std::stod(fields[11]) + std::stod(fields[12]); // utime, stime
    return ticks * 1e6 / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// Context switches of a thread (each wake-up is one), -1 when unknown.
long wakeUps(int tid)
{
    std::ifstream status("/proc/self/task/" + std::to_string(tid) + "/status");
    std::string line;
    long total = -1;
    while (std::getline(status, line)) {
        if (line.rfind("voluntary_ctxt_switches:", 0) == 0 || line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
            total = (total < 0 ? 0 : total) + std::atol(line.substr(line.find(':') + 1).c_str());
    }
    return total;
}

} // namespace

int main(int argc, char** argv)
{
    const int iterations = argc > 1 ? std::atoi(argv[1]) : 5000;
    const int idleSeconds = argc > 2 ? std::atoi(argv[2]) : 5;

    // A read-block-sized exchange: 10 request data bytes, 4 answer data bytes.
    const peer::Bytes request{0xE0, 0x04, 0x01, 0x00, 0x12, 0x34, 0x56, 0x78, 0x03, 0x01};
    const peer::Bytes answerData{0x11, 0x22, 0x33, 0x44};
    auto reader = peer::ScriptedPeer::pty(kPort);
    reader->answerAll(0x00, answerData);
    // The request frame QVL_CmdExec sends on a fresh link (mode 2, address 0);
    // requests and answers share one layout.
    const peer::Bytes requestFrame = peer::answerFrame(ZPX_MODE_ADDR_CRC, 0, 0x23, request);
    const std::size_t answerSize = peer::answerFrame(ZPX_MODE_ADDR_CRC, 0, 0x00, answerData).size();

    // Raw: the same bytes written and read directly on the pseudo-terminal.
    std::vector<double> raw;
    {
        auto port = platform::SerialPort::open(platform::serialPortPath(kPort), kBaud);
        if (!port.isOpen()) {
            std::perror("open port");
            return 1;
        }
        std::vector<std::uint8_t> in(64);
        for (int i = 0; i < iterations + 100; ++i) {
            const std::uint64_t start = platform::monotonicUs();
            port.write(requestFrame, 1000);
            std::size_t got = 0;
            while (got < answerSize) {
                pollfd p{port.fd(), POLLIN, 0};
                if (::poll(&p, 1, 1000) <= 0) {
                    std::fprintf(stderr, "raw round trip: no answer\n");
                    return 1;
                }
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
    if (handle < 1) {
        std::fprintf(stderr, "QVL_SerialOpen failed\n");
        return 1;
    }
    std::vector<double> full;
    std::uint8_t status = 0, length = 0;
    std::vector<std::uint8_t> data(LVRM_ANSWER_DATA_SIZE);
    for (int i = 0; i < iterations + 100; ++i) {
        const std::uint64_t start = platform::monotonicUs();
        const std::int32_t rc = QVL_CmdExec(handle, 0x23, static_cast<std::int32_t>(request.size()), request.data(),
                                            &status, &length, data.data());
        if (rc != 0 || length != answerData.size()) {
            std::fprintf(stderr, "QVL_CmdExec: %d\n", rc);
            return 1;
        }
        if (i >= 100)
            full.push_back(static_cast<double>(platform::monotonicUs() - start));
    }

    const Stats r = summarise(raw);
    const Stats f = summarise(full);
    const double wireUs = static_cast<double>(requestFrame.size() + answerSize) * 10.0 * 1e6 / kBaud;
    std::printf("command round trip over a pseudo-terminal, %d iterations, %zu bytes out, %zu bytes back\n",
                iterations, requestFrame.size(), answerSize);
    std::printf("  raw pty round trip   median %8.1f us  p99 %8.1f us  mean %8.1f us\n", r.median, r.p99, r.mean);
    std::printf("  QVL_CmdExec          median %8.1f us  p99 %8.1f us  mean %8.1f us\n", f.median, f.p99, f.mean);
    std::printf("  added by the stack   median %8.1f us  (target < 50 us)\n", f.median - r.median);
    std::printf("  ratio full/raw       median %8.2f     p99 %6.2f (p99 full / p99 raw, target < 4)\n",
                f.median / r.median, f.p99 / r.p99);
    std::printf("  wire time of these frames at %d baud: %.0f us; added latency is %.2f%% of it\n", kBaud, wireUs,
                100.0 * (f.median - r.median) / wireUs);

    // An idle link: no periodic wake-ups, so no CPU time.
    std::set<int> linkThreads;
    for (int tid : threadIds())
        if (!before.count(tid))
            linkThreads.insert(tid);
    for (int tid : linkThreads) {
        const double cpu0 = threadCpuUs(tid);
        const long wake0 = wakeUps(tid);
        platform::sleepMs(static_cast<unsigned>(idleSeconds) * 1000);
        const double cpu1 = threadCpuUs(tid);
        const long wake1 = wakeUps(tid);
        std::printf("idle link thread %d over %d s: CPU time %.0f us, wake-ups %ld\n", tid, idleSeconds,
                    cpu0 < 0 || cpu1 < 0 ? -1.0 : cpu1 - cpu0, wake0 < 0 || wake1 < 0 ? -1 : wake1 - wake0);
    }
    if (linkThreads.empty())
        std::printf("idle link thread: not found\n");
    QVL_Close(handle);
    return 0;
}
