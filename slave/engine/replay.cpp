#include "slave/engine/replay.h"

#include <algorithm>
#include <map>
#include <tuple>

#include "common/modbus_protocol.h"
#include "slave/engine/slave_engine.h"

namespace replay {
namespace {

int MaxLength(int table) {
  return autochange::IsBitTable(table) ? slaveengine::kMaxBitLength : slaveengine::kMaxRegisterLength;
}

bool Holds(const Span& s, int unit, int table, int address, int count) {
  return s.slaveId == unit && s.table == table && s.address <= address &&
         address + count <= s.address + std::min(s.length, MaxLength(s.table));
}

// The median of the gaps between successive distinct times.
std::uint64_t TypicalGap(const std::vector<recording::Sample>& samples) {
  std::vector<std::uint64_t> gaps;
  for (std::size_t i = 1; i < samples.size(); ++i)
    if (samples[i].elapsedMs > samples[i - 1].elapsedMs) gaps.push_back(samples[i].elapsedMs - samples[i - 1].elapsedMs);
  if (gaps.empty()) return kSingleTimePeriodGapMs;
  std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
  return gaps[gaps.size() / 2];
}

// The recorded time `elapsedMs` of wall time reaches, as (pass, samples due in it).
void Position(const Player& p, std::uint64_t elapsedMs, std::uint64_t* cycle, std::size_t* due) {
  const std::uint64_t recorded = elapsedMs * static_cast<std::uint64_t>(p.speed);
  const std::uint64_t within = p.loop ? recorded % p.periodMs : recorded;
  *cycle = p.loop ? recorded / p.periodMs : 0;
  const auto after = std::upper_bound(p.samples.begin(), p.samples.end(), within,
                                      [](std::uint64_t t, const recording::Sample& s) { return t < s.elapsedMs; });
  *due = static_cast<std::size_t>(after - p.samples.begin());
}

// One sample into every target that holds some of its items.
void Write(const recording::Sample& s, const Target* targets, int count, bool* touched) {
  const int first = s.address, end = s.address + static_cast<int>(s.values.size());
  const bool bits = modbus::IsBitRead(s.table);
  for (int t = 0; t < count; ++t) {
    const Target& target = targets[t];
    const Span& span = target.span;
    if (span.slaveId != s.unit || span.table != s.table || target.image == nullptr) continue;
    const int low = std::max(first, span.address);
    const int high = std::min(end, span.address + std::min(span.length, MaxLength(span.table)));
    const autochange::Setters& set = target.setters;
    if (touched && low < high) touched[t] = true;
    for (int a = low; a < high; ++a) {
      const int item = a - span.address;
      const std::uint16_t value = s.values[static_cast<std::size_t>(a - first)];
      if (bits) {
        const std::uint8_t bit = value != 0 ? 1 : 0;
        autochange::SetImageBit(target.image, item, bit);
        if (set.setCoil) set.setCoil(set.context, item, bit);
      } else {
        autochange::SetImageRegister(target.image, item, value);
        if (set.setRegister) set.setRegister(set.context, item, value);
      }
    }
  }
}

}  // namespace

bool PlanDefinitions(const recording::Recording& recording, const std::vector<Span>& existing,
                     std::vector<Span>* added, std::string* error) {
  if (recording.samples.empty()) return *error = "the recording holds no reads", false;
  // The distinct reads no existing definition holds, in unit, table, address order.
  std::vector<std::tuple<int, int, int, int>> loose;
  for (const recording::Sample& s : recording.samples) {
    const int count = static_cast<int>(s.values.size());
    bool held = false;
    for (const Span& e : existing) held = held || Holds(e, s.unit, s.table, s.address, count);
    if (!held) loose.emplace_back(s.unit, s.table, s.address, count);
  }
  std::sort(loose.begin(), loose.end());
  loose.erase(std::unique(loose.begin(), loose.end()), loose.end());
  std::vector<Span> spans;
  for (const auto& [unit, table, address, count] : loose) {
    Span* last = spans.empty() ? nullptr : &spans.back();
    const int end = address + count;
    if (last && last->slaveId == unit && last->table == table &&
        std::max(end, last->address + last->length) - last->address <= MaxLength(table)) {
      last->length = std::max(end, last->address + last->length) - last->address;
      continue;
    }
    spans.push_back({unit, table, address, count});
  }
  if (existing.size() + spans.size() > static_cast<std::size_t>(slaveengine::kSlotCount)) {
    *error = "the recording needs " + std::to_string(spans.size()) + " more definitions beside the " +
             std::to_string(existing.size()) + " there are; at most " + std::to_string(slaveengine::kSlotCount) +
             " definitions can be served";
    return false;
  }
  *added = std::move(spans);
  return true;
}

std::uint64_t LoopPeriodMs(const std::vector<recording::Sample>& samples) {
  return (samples.empty() ? 0 : samples.back().elapsedMs) + TypicalGap(samples);
}

void Start(Player* p, recording::Recording recording, int speed, bool loop) {
  p->samples = std::move(recording.samples);
  p->speed = std::clamp(speed, kMinSpeed, kMaxSpeed);
  p->loop = loop;
  p->periodMs = LoopPeriodMs(p->samples);
  p->cycle = 0;
  p->next = 0;
  std::map<std::tuple<int, int, int>, int> blocks;
  p->block.clear();
  for (const recording::Sample& s : p->samples)
    p->block.push_back(blocks.emplace(std::make_tuple(s.unit, s.table, s.address), static_cast<int>(blocks.size()))
                           .first->second);
  p->chosenIn.assign(blocks.size(), 0);
  p->steps = 0;
  p->chosen.clear();
  p->chosen.reserve(blocks.size());
}

int Step(Player* p, std::uint64_t elapsedMs, const Target* targets, int count, bool* touched) {
  const std::uint64_t n = p->samples.size();
  if (n == 0) return 0;
  std::uint64_t cycle = 0;
  std::size_t due = 0;
  Position(*p, elapsedMs, &cycle, &due);
  // Passes laid end to end: sample i of pass c sits at c * n + i.
  const std::uint64_t target = cycle * n + due;
  std::uint64_t from = p->cycle * n + p->next;
  if (target <= from) return 0;
  from = std::max(from, target > n ? target - n : 0);  // a whole pass or more: each block's latest
  ++p->steps;
  p->chosen.clear();
  for (std::uint64_t v = target; v-- > from;) {
    const std::size_t i = static_cast<std::size_t>(v % n);
    std::uint64_t& mark = p->chosenIn[static_cast<std::size_t>(p->block[i])];
    if (mark == p->steps) continue;
    mark = p->steps;
    p->chosen.push_back(i);
  }
  for (auto i = p->chosen.rbegin(); i != p->chosen.rend(); ++i) Write(p->samples[*i], targets, count, touched);
  p->cycle = cycle;
  p->next = due;
  return static_cast<int>(p->chosen.size());
}

std::uint64_t NextDueMs(const Player& p) {
  if (p.samples.empty() || (!p.loop && p.next >= p.samples.size())) return kNeverDue;
  const bool wrap = p.next >= p.samples.size();
  const std::uint64_t recorded =
      (p.cycle + (wrap ? 1 : 0)) * (p.loop ? p.periodMs : 0) + p.samples[wrap ? 0 : p.next].elapsedMs;
  const std::uint64_t speed = static_cast<std::uint64_t>(p.speed);
  return (recorded + speed - 1) / speed;
}

std::uint64_t DurationMs(const Player& p) {
  if (p.loop) return p.periodMs;
  return p.samples.empty() ? 0 : p.samples.back().elapsedMs;
}

std::uint64_t PositionMs(const Player& p, std::uint64_t elapsedMs) {
  const std::uint64_t recorded = elapsedMs * static_cast<std::uint64_t>(p.speed);
  return p.loop && p.periodMs > 0 ? recorded % p.periodMs : std::min(recorded, DurationMs(p));
}

bool Finished(const Player& p) { return !p.loop && p.next >= p.samples.size(); }

}  // namespace replay
