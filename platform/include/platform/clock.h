// Monotonic time and delays.
#pragma once

#include <cstdint>

namespace platform {

// Milliseconds and microseconds of a monotonic clock; only differences count.
std::uint64_t monotonicMs();
std::uint64_t monotonicUs();

// Puts the calling thread to sleep for at least ms milliseconds.
void sleepMs(unsigned ms);

// Waits at least us microseconds with microsecond accuracy: short delays
// busy-wait on the monotonic clock, long ones sleep first and spin for the rest.
void delayUs(unsigned us);

} // namespace platform
