#include <gtest/gtest.h>

#include "platform/clock.h"

TEST(Clock, DelaysLastAtLeastTheirTime)
{
    for (const unsigned us : {0u, 1u, 50u, 1000u, 250000u}) {
        const std::uint64_t start = platform::monotonicUs();
        platform::delayUs(us);
        const std::uint64_t took = platform::monotonicUs() - start;
        EXPECT_GE(took, us);
        EXPECT_LT(took, us + 1000000u) << us << " us";
    }
}

TEST(Clock, ShortDelaysReturnEvenWhenTheirEndHasPassed)
{
    // A delay whose end has passed before it looks at the clock again (no
    // time at all, or a thread preempted between two readings) must not wait.
    const std::uint64_t start = platform::monotonicUs();
    for (int i = 0; i < 10000; ++i)
        platform::delayUs(i % 2);
    EXPECT_LT(platform::monotonicUs() - start, 5000000u);
}
