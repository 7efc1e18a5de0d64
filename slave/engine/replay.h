#pragma once
// Replay of a device recording (common/recording.h): the values a master read
// from a device are written into the slave definitions at the moments they were
// read, scaled by a speed factor, once or in a loop. Qt-free; plain functions
// over a Player that the caller steps from its periodic refresh (or sooner, at
// NextDueMs), like the simulation rules.
//
// Time: a sample recorded at elapsedMs is due when the time since Start times the
// speed reaches elapsedMs. Each step writes every sample that has come due since
// the step before; of several due samples of one block (unit, table, address)
// only the latest is written, and blocks are written in recorded order, so that
// of two overlapping blocks the later read wins.
//
// Loop: the recording repeats with a period of the last sample's time plus the
// typical gap between reads (the median of the gaps between successive distinct
// times; 1000 ms when all rows share one time), so the last sample stays in place
// for one ordinary gap before the first comes round again. Once: after the last
// sample the values stay.
#include <cstdint>
#include <string>
#include <vector>

#include "common/recording.h"
#include "slave/engine/autochange.h"

namespace replay {

constexpr int kMinSpeed = 1;
constexpr int kMaxSpeed = 1000;
constexpr std::uint64_t kSingleTimePeriodGapMs = 1000;
constexpr std::uint64_t kNeverDue = UINT64_MAX;

// A range of a slave definition: what it holds, not its values.
struct Span {
  int slaveId = 1;
  int table = 3;  // autochange's tables 1..4 (the read function codes)
  int address = 0;
  int length = 0;
  bool operator==(const Span& other) const = default;
};

// A definition the replay writes into: its range, its value image (the layout of
// autochange.h) and the setters that hand values to the engine slot.
struct Target {
  Span span;
  std::uint8_t* image = nullptr;
  autochange::Setters setters;
};

// The definitions a recording needs beside `existing`: for each unit and table,
// the blocks no existing definition holds whole, joined into as few definitions
// as fit the engine's lengths (4096 bits, 2048 registers). False with *error when
// the recording holds no reads or the definitions would be more than the engine's 32.
bool PlanDefinitions(const recording::Recording& recording, const std::vector<Span>& existing,
                     std::vector<Span>* added, std::string* error);

struct Player {
  std::vector<recording::Sample> samples;
  std::vector<int> block;  // per sample: its block (unit, table, address)
  int speed = 1;
  bool loop = true;
  std::uint64_t periodMs = 0;  // loop period in recorded milliseconds
  std::uint64_t cycle = 0;     // written so far: samples [0, next) of pass `cycle`
  std::size_t next = 0;
  // Scratch of Step: the step that last chose a block, the samples chosen.
  std::vector<std::uint64_t> chosenIn;
  std::uint64_t steps = 0;
  std::vector<std::size_t> chosen;
};

// The loop period of these samples: the last sample's time plus the typical gap.
std::uint64_t LoopPeriodMs(const std::vector<recording::Sample>& samples);

// Takes the recording's samples; speed is clamped to kMinSpeed..kMaxSpeed.
// Nothing is written until the first Step.
void Start(Player* player, recording::Recording recording, int speed, bool loop);

// Writes every sample due at `elapsedMs` (milliseconds since the replay started)
// and not yet written into the targets that hold its items (a target may hold
// part of a block). Returns the number of samples written; time that goes back
// writes nothing. With `touched` (count flags), sets the flag of every target
// written into.
int Step(Player* player, std::uint64_t elapsedMs, const Target* targets, int count, bool* touched = nullptr);

// When (milliseconds since the replay started) the next unwritten sample is due;
// kNeverDue after the last sample of a replay played once.
std::uint64_t NextDueMs(const Player& player);
// The length of one pass in recorded milliseconds: the loop period, or the last
// sample's time when played once.
std::uint64_t DurationMs(const Player& player);
// Where the replay is at `elapsedMs`, in recorded milliseconds of the current pass
// (at most DurationMs).
std::uint64_t PositionMs(const Player& player, std::uint64_t elapsedMs);
// True when a replay played once has written its last sample.
bool Finished(const Player& player);

}  // namespace replay
