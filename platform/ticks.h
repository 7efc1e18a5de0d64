#pragma once
#include <cstdint>

namespace platform {

// Monotonic milliseconds, wrapping at 32 bits like GetTickCount.
std::uint32_t TickCount();
// Sleeps the calling thread.
void SleepMs(std::uint32_t milliseconds);
// Monotonic microseconds (frame gaps and line silences are shorter than a millisecond).
std::uint64_t MonotonicUs();
// Sleeps the calling thread for microseconds.
void SleepUs(std::uint64_t microseconds);
// Wall-clock seconds (for idle limits of connections).
std::int64_t WallSeconds();

}  // namespace platform
