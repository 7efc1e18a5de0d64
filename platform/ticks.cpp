#include "platform/ticks.h"

#include <cerrno>
#include <ctime>

#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace platform {

std::uint32_t TickCount() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  // Unsigned arithmetic wraps at 2^32 ms (about 49.7 days), as callers expect.
  const std::uint64_t ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                           static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<std::uint32_t>(ms);
}

void SleepMs(std::uint32_t milliseconds) {
  timespec remaining{static_cast<time_t>(milliseconds / 1000),
                     static_cast<long>(milliseconds % 1000) * 1000000L};
  // Resume after a signal so the caller always sleeps the full time.
  while (nanosleep(&remaining, &remaining) == -1 && errno == EINTR) {
  }
}

std::uint64_t NowUs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1000000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000u;
}

void SleepUs(std::uint64_t microseconds) {
  timespec remaining{static_cast<time_t>(microseconds / 1000000),
                     static_cast<long>(microseconds % 1000000) * 1000L};
  while (nanosleep(&remaining, &remaining) == -1 && errno == EINTR) {
  }
}

std::int64_t WallSeconds() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<std::int64_t>(now.tv_sec);
}

void UseFineTimerSlack() {
#ifdef __linux__
  constexpr unsigned long kSlackNs = 1000;
  prctl(PR_SET_TIMERSLACK, kSlackNs, 0, 0, 0);
#endif
}

}  // namespace platform
