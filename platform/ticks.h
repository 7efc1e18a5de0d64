#pragma once
#include <cstdint>

namespace platform {

// Monotonic milliseconds, wrapping at 32 bits like GetTickCount.
std::uint32_t TickCount();
// Sleeps the calling thread.
void SleepMs(std::uint32_t milliseconds);
// Wall-clock seconds (for idle limits of connections).
std::int64_t WallSeconds();

}  // namespace platform
