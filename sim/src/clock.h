// The simulated readers' sense of time: the gaps between bytes on their line,
// how long an alarm lasts, what their real-time clock shows. Readers read it
// through sim::Clock, never the host's clocks directly: it runs on the
// platform's monotonic clock, which fuzz builds (TAGGING_FUZZING) replace with
// one that does not depend on when or how fast they run, and there the
// calendar always starts at 2000-01-01 00:00:00. The same inputs then take
// the same paths, run after run.
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>

#include "platform/clock.h"

namespace sim {

struct Clock {
    using duration = std::chrono::microseconds;
    using rep = duration::rep;
    using period = duration::period;
    using time_point = std::chrono::time_point<Clock>;
    static constexpr bool is_steady = true;

    static time_point now() noexcept { return time_point(duration(monotonicUs())); }
    static std::uint64_t monotonicUs() noexcept { return platform::monotonicUs(); }

    // The host's calendar time, where a reader's clock starts.
    static std::time_t calendarNow() noexcept
    {
#ifdef TAGGING_FUZZING
        return 946684800; // 2000-01-01 00:00:00 UTC
#else
        return std::time(nullptr);
#endif
    }
};

} // namespace sim
