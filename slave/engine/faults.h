#pragma once
// Fault injection settings of one slave definition: an answer delay, a fixed
// exception (for every request or an address range), a drop rate, a corruption
// rate and busy bursts. Off unless set; never stored in documents or
// workspaces. Also the option-text parsers shared by the headless runner and the
// Faults dialog, the marks the traffic monitor shows and the repeatable
// pseudo-random numbers the engine draws from.
#include <cstdint>
#include <string>

#include "common/modbus_protocol.h"

namespace slavefaults {

constexpr std::uint32_t kMaxDelayMs = 60000;
constexpr std::uint32_t kMaxBusySeconds = 86400;
constexpr std::uint8_t kBusyException = modbus::EXCEPTION_SLAVE_OR_SERVER_BUSY;

struct FaultSettings {
  std::uint32_t delayMinMs = 0;
  std::uint32_t delayMaxMs = 0;  // equal to delayMinMs for a fixed delay
  std::uint8_t exceptionCode = 0;  // 0 none, 1..11
  bool exceptionRange = false;     // false: every request
  std::uint16_t exceptionFirst = 0;  // protocol addresses, inclusive
  std::uint16_t exceptionLast = 0;
  std::uint8_t dropPercent = 0;
  std::uint8_t corruptPercent = 0;
  std::uint32_t busySeconds = 0;  // exception 6 for busySeconds at the start of every busyPeriodSeconds
  std::uint32_t busyPeriodSeconds = 0;

  bool active() const {
    return delayMaxMs > 0 || exceptionCode != 0 || dropPercent > 0 || corruptPercent > 0 || busySeconds > 0;
  }
  bool operator==(const FaultSettings&) const = default;
};

// What happened to a reply, as a bit mask; the traffic monitor and the headless
// traffic lines show it next to the frame.
enum FaultMark : std::uint8_t {
  kMarkDelayed = 1,
  kMarkException = 2,
  kMarkBusy = 4,
  kMarkCorrupted = 8,
  kMarkDropped = 16,
};
// What the faults decided for one request; the receive loop and the TCP server
// apply it to the reply they frame.
struct FaultPlan {
  bool drop = false;
  std::uint8_t exception = 0;         // answer with this exception instead
  bool corrupt = false;               // spoil the checksum (TCP: the length field)
  bool corruptTransactionId = false;  // TCP: a wrong transaction id instead of a wrong length
  std::uint32_t delayMs = 0;          // send the reply this much later
  std::uint8_t marks = 0;             // FaultMark bits
};

// "[fault: delayed 50 ms, corrupted]"; empty for no marks.
std::string FaultMarkText(std::uint8_t marks, std::uint32_t delayMs);

// Parsers of the option values; each sets its part of *settings and returns
// false with a message in *error for a bad value.
bool ParseDelay(const std::string& text, FaultSettings* settings, std::string* error);      // MS or MIN:MAX
bool ParseException(const std::string& text, FaultSettings* settings, std::string* error);  // CODE[@FIRST-LAST]
bool ParseDrop(const std::string& text, FaultSettings* settings, std::string* error);       // PCT
bool ParseCorrupt(const std::string& text, FaultSettings* settings, std::string* error);    // PCT
bool ParseBusy(const std::string& text, FaultSettings* settings, std::string* error);       // N:M

// The same texts back (empty when that fault is off), for the dialog and the
// status bar.
std::string DelayText(const FaultSettings& settings);
std::string ExceptionText(const FaultSettings& settings);
std::string BusyText(const FaultSettings& settings);
// A short summary: "delay 50 ms, drop 10 %"; empty when nothing is on.
std::string Summary(const FaultSettings& settings);

// splitmix64: small, fast and the same sequence on every platform for a seed.
class Prng {
 public:
  explicit Prng(std::uint64_t seed = 0) : state_(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }

 private:
  std::uint64_t state_;
};

// The generator of one slot: seeded from the run's seed and the slot index, so
// that each definition draws its own repeatable sequence.
// The tick count at which a reply held back by delayMs is due. The count moves
// in whole milliseconds, so one more is added: the reply never leaves before
// the whole delay has passed.
inline std::uint32_t DelayDue(std::uint32_t now, std::uint32_t delayMs) { return now + delayMs + 1; }

inline Prng SlotPrng(std::uint64_t seed, int slot) {
  return Prng(seed ^ (0xD1B54A32D192ED03ull * static_cast<std::uint64_t>(slot + 1)));
}

}  // namespace slavefaults
