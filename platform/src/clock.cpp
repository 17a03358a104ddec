#include "platform/clock.h"

#include <atomic>
#include <cerrno>
#include <ctime>

namespace platform {

namespace {

std::uint64_t monotonicNs()
{
#ifdef TAGGING_FUZZING
    // Fuzz builds run on a clock of their own that advances one millisecond at
    // each reading. Times reach the fuzzer as compared values, and a fuzz run
    // must not depend on when or how fast it runs.
    static std::atomic<std::uint64_t> fuzzClockNs{0};
    return fuzzClockNs += 1000000u;
#endif
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1000000000u + static_cast<std::uint64_t>(ts.tv_nsec);
}

void sleepNs(std::uint64_t ns)
{
    timespec ts{static_cast<time_t>(ns / 1000000000u), static_cast<long>(ns % 1000000000u)};
    while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

// Below this, a sleep's wake-up latency is larger than the delay itself.
constexpr std::uint64_t kSpinBelowNs = 200000;

} // namespace

std::uint64_t monotonicMs() { return monotonicNs() / 1000000u; }
std::uint64_t monotonicUs() { return monotonicNs() / 1000u; }

void sleepMs(unsigned ms) { sleepNs(static_cast<std::uint64_t>(ms) * 1000000u); }

void delayUs(unsigned us)
{
    const std::uint64_t end = monotonicNs() + static_cast<std::uint64_t>(us) * 1000u;
    const std::uint64_t now = monotonicNs(); // may already be past a short delay's end
    if (now < end && end - now > kSpinBelowNs)
        sleepNs(end - now - kSpinBelowNs);
    while (monotonicNs() < end) {
    }
}

} // namespace platform
