#pragma once
#include <cstdint>

namespace platform {

// Monotonic milliseconds, wrapping at 32 bits like GetTickCount.
std::uint32_t TickCount();
// Sleeps the calling thread.
void SleepMs(std::uint32_t milliseconds);
// Monotonic microseconds, for frame gaps, line silences and response times.
std::uint64_t NowUs();
// Sleeps the calling thread for microseconds.
void SleepUs(std::uint64_t microseconds);
// Wall-clock seconds (for idle limits of connections).
std::int64_t WallSeconds();
// Lets the calling thread's timed waits end within a microsecond of their time
// instead of the system's default slack (50 us on Linux): for the thread that
// keeps the sub-millisecond silences of a serial line.
void UseFineTimerSlack();

}  // namespace platform
