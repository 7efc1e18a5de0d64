// The fuzz tree's clock: the receive paths find frame ends by silence, so the
// targets move time themselves instead of sleeping. Replaces platform/ticks.cpp.
#include "platform/ticks.h"

#include <chrono>

#include "fuzz/fuzz_support.h"

namespace {
std::uint32_t now = 1000;
}  // namespace

namespace fuzzsupport {
void AdvanceClock(std::uint32_t milliseconds) { now += milliseconds; }
}  // namespace fuzzsupport

namespace platform {
std::uint32_t TickCount() { return now; }
// Microseconds come from the real steady clock; only the millisecond ticks
// are moved by the targets.
std::uint64_t NowUs() {
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count());
}
void SleepMs(std::uint32_t milliseconds) { now += milliseconds; }
std::int64_t WallSeconds() { return 1700000000 + now / 1000; }
}  // namespace platform
