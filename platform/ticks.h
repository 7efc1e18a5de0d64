#pragma once
#include <cstdint>

namespace platform {

// Monotonic milliseconds, wrapping at 32 bits like GetTickCount.
std::uint32_t TickCount();
// Monotonic microseconds (the steady clock), for frame gaps and response times.
std::uint64_t NowUs();
// Sleeps the calling thread.
void SleepMs(std::uint32_t milliseconds);
// Wall-clock seconds (for idle limits of connections).
std::int64_t WallSeconds();

}  // namespace platform
