// The fuzz tree's clock: the receive paths find frame ends by silence, so the
// targets move time themselves instead of sleeping. Replaces platform/ticks.cpp.
// Atomic because a target's peer thread may end the waits (RunOutClock).
#include "platform/ticks.h"

#include <atomic>

#include "fuzz/fuzz_support.h"

namespace {
std::atomic<std::uint64_t> nowUs{1000 * 1000};
std::atomic<bool> runningOut{false};
// While the clock runs out, every reading is a second on: any wait ends at once.
constexpr std::uint64_t kRunOutStepUs = 1000 * 1000;

std::uint64_t Read() {
  if (runningOut.load(std::memory_order_acquire)) return nowUs.fetch_add(kRunOutStepUs) + kRunOutStepUs;
  return nowUs.load();
}
}  // namespace

namespace fuzzsupport {
void AdvanceClock(std::uint32_t milliseconds) { nowUs.fetch_add(std::uint64_t{milliseconds} * 1000); }
void AdvanceClockUs(std::uint64_t microseconds) { nowUs.fetch_add(microseconds); }
void RunOutClock(bool on) { runningOut.store(on, std::memory_order_release); }
}  // namespace fuzzsupport

namespace platform {
std::uint32_t TickCount() { return static_cast<std::uint32_t>(Read() / 1000); }
void SleepMs(std::uint32_t milliseconds) { fuzzsupport::AdvanceClock(milliseconds); }
std::uint64_t NowUs() { return Read(); }
void UseFineTimerSlack() {}
void SleepUs(std::uint64_t microseconds) { fuzzsupport::AdvanceClockUs(microseconds); }
std::int64_t WallSeconds() { return 1700000000 + static_cast<std::int64_t>(Read() / 1000000); }
}  // namespace platform
