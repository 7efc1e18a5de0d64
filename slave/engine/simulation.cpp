#include "slave/engine/simulation.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <numbers>

#include "common/value_format.h"
#include "common/word_order.h"
#include "slave/engine/replay.h"

namespace simulation {

namespace {

// A finite decimal number, all of the text.
bool ParseNumber(const std::string& text, double* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(text.c_str(), &end);
  if (errno != 0 || end != text.c_str() + text.size() || !std::isfinite(value)) return false;
  *out = value;
  return true;
}

bool ParsePeriod(const std::string& text, std::uint32_t* out) {
  double value = 0.0;
  if (!ParseNumber(text, &value) || value < 1.0 || value > kMaxPeriodMs || value != std::floor(value)) return false;
  *out = static_cast<std::uint32_t>(value);
  return true;
}

// splitmix64: small, fast and good enough for test values.
std::uint64_t NextRandom(std::uint64_t* state) {
  std::uint64_t z = (*state += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

// start + span * fraction; start itself at fraction 0, also when the span is
// too wide for a double (infinite span times 0 is not a number).
double Along(double start, double span, double fraction) { return fraction == 0.0 ? start : start + span * fraction; }

double RandomValue(Rule* rule, bool integral) {
  const double low = std::min(rule->a, rule->b), high = std::max(rule->a, rule->b);
  const std::uint64_t draw = NextRandom(&rule->randomState);
  const double fraction = static_cast<double>(draw >> 11) * 0x1.0p-53;
  if (!integral) return Along(low, high - low, fraction);
  const double first = std::ceil(low), span = std::floor(high) - first + 1.0;
  if (span < 1.0) return std::round(low);
  return fraction == 0.0 ? first : first + std::floor(fraction * span);
}

double Clamp(double value, double low, double high) { return value < low ? low : value > high ? high : value; }

// The value as the format's register bits (1, 2 or 4 registers).
std::uint64_t FormatBits(double value, autochange::ValueKind kind, int format) {
  switch (kind) {
    case autochange::ValueKind::Float:
      return std::bit_cast<std::uint32_t>(static_cast<float>(value));
    case autochange::ValueKind::Double:
      return std::bit_cast<std::uint64_t>(value);
    case autochange::ValueKind::Long:
      if (valuefmt::KindOf(format) == valuefmt::ValueKind::kUnsignedLong)
        return static_cast<std::uint32_t>(Clamp(std::round(value), 0.0, 4294967295.0));
      return static_cast<std::uint32_t>(static_cast<std::int32_t>(Clamp(std::round(value), -2147483648.0, 2147483647.0)));
    default:
      break;
  }
  if (format == valuefmt::kSigned)
    return static_cast<std::uint16_t>(static_cast<std::int16_t>(Clamp(std::round(value), -32768.0, 32767.0)));
  return static_cast<std::uint16_t>(Clamp(std::round(value), 0.0, 65535.0));
}

// One value of `count` registers at register offset `item`.
void PutRegisters(int item, int count, std::uint64_t bits, wordorder::Order order, std::uint8_t* image,
                  const autochange::Setters& setters) {
  std::uint16_t words[4];
  if (count == 1) words[0] = static_cast<std::uint16_t>(bits);
  else wordorder::Split(bits, count, order, words);
  for (int w = 0; w < count; ++w) {
    autochange::SetImageRegister(image, item + w, words[w]);
    if (setters.setRegister) setters.setRegister(setters.context, item + w, words[w]);
  }
}

// The recorded value of track item `item` at `elapsedMs`; false before its first
// value in the first pass. *at is where the item stood at the step before: steps
// move forward in time, so the search goes on from there (from the item's first
// change when the pass came round).
bool TrackValue(const Track& track, int item, std::uint64_t elapsedMs, std::uint32_t* at, std::uint16_t* value) {
  const std::uint32_t low = track.first[static_cast<std::size_t>(item)];
  const std::uint32_t high = track.first[static_cast<std::size_t>(item) + 1];
  if (low == high) return false;
  const std::uint64_t within = elapsedMs % track.periodMs;
  std::uint32_t k = *at < low || *at >= high || track.timesMs[*at] > within ? low : *at;
  while (k + 1 < high && track.timesMs[k + 1] <= within) ++k;
  *at = k;
  if (track.timesMs[k] > within) {  // before the item's first change in this pass
    if (elapsedMs < track.periodMs) return false;
    k = high - 1;
  }
  *value = track.values[k];
  return true;
}

// A recording rule's items: each recorded word or bit as it is.
int StepRecording(Rule& rule, bool bits, int items, std::uint64_t elapsedMs, std::uint8_t* image,
                  const autochange::Setters& setters) {
  if (!rule.track) return 0;
  const Track& track = *rule.track;
  rule.trackAt.resize(static_cast<std::size_t>(track.items()), 0);
  const int last = std::min({rule.last, items - 1, rule.first + track.items() - 1});
  int written = 0;
  for (int item = std::max(rule.first, 0); item <= last; ++item) {
    std::uint16_t value = 0;
    std::uint32_t* at = &rule.trackAt[static_cast<std::size_t>(item - rule.first)];
    if (!TrackValue(track, item - rule.first, elapsedMs, at, &value)) continue;
    ++written;
    if (bits) {
      const std::uint8_t bit = value != 0 ? 1 : 0;
      autochange::SetImageBit(image, item, bit);
      if (setters.setCoil) setters.setCoil(setters.context, item, bit);
    } else {
      autochange::SetImageRegister(image, item, value);
      if (setters.setRegister) setters.setRegister(setters.context, item, value);
    }
  }
  return written;
}

}  // namespace

bool BuildTrack(const recording::Recording& recording, int unit, int table, int address, int count, Track* track,
                std::string* error) {
  // The unit asked for, or the recording's only unit.
  int only = -1;
  bool hasUnit = false, oneUnit = true;
  for (const recording::Sample& s : recording.samples) {
    hasUnit = hasUnit || s.unit == unit;
    if (only >= 0 && s.unit != only) oneUnit = false;
    only = s.unit;
  }
  const int from = hasUnit || !oneUnit ? unit : only;
  // Each item's changes, then laid end to end.
  struct Changes {
    std::vector<std::uint64_t> timesMs;
    std::vector<std::uint16_t> values;
  };
  std::vector<Changes> changes(static_cast<std::size_t>(std::max(count, 0)));
  bool any = false;
  for (const recording::Sample& s : recording.samples) {
    if (s.unit != from || s.table != table) continue;
    const int low = std::max(s.address, address);
    const int high = std::min(s.address + static_cast<int>(s.values.size()), address + count);
    for (int a = low; a < high; ++a) {
      Changes& item = changes[static_cast<std::size_t>(a - address)];
      const std::uint16_t value = s.values[static_cast<std::size_t>(a - s.address)];
      any = true;
      if (!item.values.empty() && item.values.back() == value) continue;
      if (!item.timesMs.empty() && item.timesMs.back() == s.elapsedMs) {
        item.values.back() = value;  // a later read of the same moment wins
        continue;
      }
      item.timesMs.push_back(s.elapsedMs);
      item.values.push_back(value);
    }
  }
  if (!any) {
    *error = "the recording holds no reads of unit " + std::to_string(from) + ", table " + std::to_string(table) +
             ", addresses " + std::to_string(address) + "-" + std::to_string(address + count - 1);
    return false;
  }
  Track t;
  for (const Changes& item : changes) {
    t.first.push_back(static_cast<std::uint32_t>(t.timesMs.size()));
    t.timesMs.insert(t.timesMs.end(), item.timesMs.begin(), item.timesMs.end());
    t.values.insert(t.values.end(), item.values.begin(), item.values.end());
  }
  t.first.push_back(static_cast<std::uint32_t>(t.timesMs.size()));
  t.periodMs = std::max<std::uint64_t>(replay::LoopPeriodMs(recording.samples), 1);
  *track = std::move(t);
  return true;
}

bool ParseKind(const std::string* parts, int count, Rule* rule, std::string* error) {
  const std::string& kind = count > 0 ? parts[0] : std::string();
  bool ok = false;
  if (kind == "random") {
    rule->kind = Kind::kRandom;
    ok = count == 3 && ParseNumber(parts[1], &rule->a) && ParseNumber(parts[2], &rule->b) && rule->a <= rule->b;
    if (!ok) *error = "expected random:MIN:MAX with MIN <= MAX";
  } else if (kind == "ramp") {
    rule->kind = Kind::kRamp;
    ok = count == 4 && ParseNumber(parts[1], &rule->a) && ParseNumber(parts[2], &rule->b) &&
         ParsePeriod(parts[3], &rule->periodMs);
    if (!ok) *error = "expected ramp:MIN:MAX:PERIOD_MS with PERIOD_MS 1-86400000";
  } else if (kind == "sine") {
    rule->kind = Kind::kSine;
    ok = count == 4 && ParseNumber(parts[1], &rule->a) && ParseNumber(parts[2], &rule->b) &&
         ParsePeriod(parts[3], &rule->periodMs);
    if (!ok) *error = "expected sine:CENTRE:AMPLITUDE:PERIOD_MS with PERIOD_MS 1-86400000";
  } else if (kind == "toggle") {
    rule->kind = Kind::kToggle;
    ok = count == 2 && ParsePeriod(parts[1], &rule->periodMs);
    if (!ok) *error = "expected toggle:PERIOD_MS with PERIOD_MS 1-86400000";
  } else {
    *error = "KIND is random, ramp, sine, toggle or recording";
  }
  return ok;
}

void Seed(Rule* rule, std::uint64_t seed, int index) {
  rule->randomState = seed ^ (0xD1B54A32D192ED03ULL * static_cast<std::uint64_t>(index + 1));
}

double ValueAt(Rule* rule, std::uint64_t elapsedMs, bool integral) {
  const std::uint64_t period = rule->periodMs == 0 ? 1 : rule->periodMs;
  const double phase = static_cast<double>(elapsedMs % period) / static_cast<double>(period);
  switch (rule->kind) {
    case Kind::kRandom: return RandomValue(rule, integral);
    case Kind::kRamp: return Along(rule->a, rule->b - rule->a, phase);
    case Kind::kSine: return rule->a + rule->b * std::sin(2.0 * std::numbers::pi * phase);
    case Kind::kToggle: return (elapsedMs / period) % 2 == 0 ? 0.0 : 1.0;
    case Kind::kRecording: break;  // stepped word by word (StepRecording)
  }
  return 0.0;
}

int ItemsPerValue(int table, const Rule& rule) {
  return rule.kind == Kind::kRecording ? 1 : autochange::RegistersPerValue(table, rule.format);
}

int Step(int table, int length, Rule* rules, int count, std::uint64_t elapsedMs, std::uint8_t* image,
         const autochange::Setters& setters) {
  if (!autochange::IsKnownTable(table)) return 0;
  const int items = std::min(length, autochange::IsBitTable(table) ? autochange::kImageBytes
                                                                   : autochange::kImageBytes / 2);
  int written = 0;
  for (int r = 0; r < count; ++r) {
    Rule& rule = rules[r];
    if (rule.kind == Kind::kRecording) {
      written += StepRecording(rule, autochange::IsBitTable(table), items, elapsedMs, image, setters);
      continue;
    }
    const int format = valuefmt::IsValidFormat(rule.format) ? rule.format : valuefmt::kSigned;
    const autochange::ValueKind kind = autochange::KindOf(table, format);
    const bool integral = kind != autochange::ValueKind::Float && kind != autochange::ValueKind::Double;
    const int width = autochange::RegistersPerValue(table, format);
    for (int item = std::max(rule.first, 0); item + width - 1 <= rule.last && item + width <= items; item += width) {
      const double value = ValueAt(&rule, elapsedMs, integral);
      ++written;
      if (kind == autochange::ValueKind::Bit) {
        const std::uint8_t bit = std::round(value) != 0.0 ? 1 : 0;
        autochange::SetImageBit(image, item, bit);
        if (setters.setCoil) setters.setCoil(setters.context, item, bit);
        continue;
      }
      PutRegisters(item, width, FormatBits(value, kind, format), autochange::OrderOf(format), image, setters);
    }
  }
  return written;
}

}  // namespace simulation
