#pragma once
// Simulated values of a slave definition: per rule a range of items that follow
// random (MIN..MAX), a ramp (MIN to MAX over a period), a sine (CENTRE, AMPLITUDE,
// period), a toggle (0 and 1, flipping every period) or a device recording (the
// raw words or bits read at the same addresses, at the recorded moments, looped).
// Qt-free; the periodic refresh that runs the auto-change rules steps these rules
// after them.
//
// Ramp, sine and toggle are functions of the time since the simulation started
// (wall-clock periods, not refresh counts), so a late or skipped refresh never
// shifts them. Random draws from a per-rule generator seeded at Seed(): the same
// seed gives the same sequence of values.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/recording.h"

#include "slave/engine/autochange.h"

namespace simulation {

enum class Kind { kRandom, kRamp, kSine, kToggle, kRecording };

// The recorded values of a recording rule's items over one pass of the
// recording: per item, the moments its value changed and the values, all items'
// changes in two arrays (item k's are [first[k], first[k + 1])) so that a step
// over thousands of items walks memory in order. A pass lasts periodMs (the
// replay's loop period); an item keeps its last value of a pass until its first
// change of the next, and is left alone before its first recorded value in the
// first pass.
struct Track {
  std::vector<std::uint32_t> first;    // per item, then the end: items + 1 entries
  std::vector<std::uint64_t> timesMs;  // increasing within an item
  std::vector<std::uint16_t> values;   // registers, or bits as 0/1
  std::uint64_t periodMs = 1;
  int items() const { return first.empty() ? 0 : static_cast<int>(first.size()) - 1; }
};

// One rule. first/last are item indices inside the definition (register or bit
// offsets from its address); a 32- or 64-bit format fills 2 or 4 registers per value.
struct Rule {
  int first = 0;
  int last = 0;
  Kind kind = Kind::kRandom;
  double a = 0.0;  // random, ramp: MIN; sine: CENTRE
  double b = 0.0;  // random, ramp: MAX; sine: AMPLITUDE
  std::uint32_t periodMs = 1000;  // ramp, sine, toggle
  int format = 0;  // a display format of common/value_format.h (0..19)
  std::uint64_t randomState = 0;  // random: the generator state, set by Seed
  std::shared_ptr<const Track> track;  // recording: set by BuildTrack; without it the rule writes nothing
  std::vector<std::uint32_t> trackAt;  // recording: per item, the change in effect at the last step
};

constexpr std::uint32_t kMaxPeriodMs = 86400000;  // one day

// "random:MIN:MAX", "ramp:MIN:MAX:PERIOD_MS", "sine:CENTRE:AMPLITUDE:PERIOD_MS",
// "toggle:PERIOD_MS" (already split at ':', kind first) into the kind and the
// parameters of *rule; false with *error saying what is expected.
bool ParseKind(const std::string* parts, int count, Rule* rule, std::string* error);

// The track of `count` items of `table` from protocol address `address` out of a
// recording: the reads of unit `unit`, or of the one unit the recording holds
// when it holds no reads of `unit`. False with *error when the recording holds
// no reads of these items.
bool BuildTrack(const recording::Recording& recording, int unit, int table, int address, int count, Track* track,
                std::string* error);

// Seeds the random generator of a rule; `index` keeps rules with one seed apart.
void Seed(Rule* rule, std::uint64_t seed, int index);

// The rule's value at `elapsedMs`; random takes the next draw, a whole number
// when `integral` (bits, 16-bit and long formats).
double ValueAt(Rule* rule, std::uint64_t elapsedMs, bool integral);

// Registers per value of the rule's format in `table` (bits: 1).
int ItemsPerValue(int table, const Rule& rule);

// Writes the value of every rule at `elapsedMs` into the image (the layout of
// autochange.h) and hands it to the setters: bits to setCoil (1 for any value
// that rounds to non-zero), registers one by one to setRegister in the format's
// word order. Values are rounded and clamped to what the format holds; a
// recording rule writes its recorded words as they are, whatever the format.
// Items beyond `length` are left alone. Returns the number of values written.
int Step(int table, int length, Rule* rules, int count, std::uint64_t elapsedMs, std::uint8_t* image,
         const autochange::Setters& setters);

}  // namespace simulation
