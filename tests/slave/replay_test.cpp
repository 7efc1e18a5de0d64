// Replay of a hand-made recording into two definitions: what is due when, once
// against loop, the speed factor, jumps over whole passes, definitions that hold
// part of a block, and the definitions a recording needs.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/modbus_protocol.h"
#include "slave/engine/replay.h"

using namespace replay;

namespace {

constexpr int kHr = modbus::FC_READ_HOLDING_REGISTERS;
constexpr int kCoils = modbus::FC_READ_COILS;

struct Served {
  std::array<std::uint8_t, autochange::kImageBytes> image{};
  std::vector<std::pair<int, int>> calls;  // (index, value) as the setters got them
  Target target(Span span) {
    Target t;
    t.span = span;
    t.image = image.data();
    t.setters.context = this;
    t.setters.setCoil = [](void* c, int i, std::uint8_t v) { static_cast<Served*>(c)->calls.push_back({i, v}); };
    t.setters.setRegister = [](void* c, int i, std::uint16_t v) { static_cast<Served*>(c)->calls.push_back({i, v}); };
    return t;
  }
  std::vector<int> regs(int first, int count) const {
    std::vector<int> out;
    for (int i = first; i < first + count; ++i) out.push_back(autochange::ImageRegister(image.data(), i));
    return out;
  }
  std::vector<int> bits(int count) const { return std::vector<int>(image.begin(), image.begin() + count); }
};

// Holding registers 0-1 every 100 ms, coils 0-2 at 0 and 300: period 300 + 100.
recording::Recording Device() {
  recording::Recording r;
  r.samples = {{0, 1, kHr, 0, {1, 2}},   {0, 1, kCoils, 0, {1, 0, 1}}, {100, 1, kHr, 0, {3, 4}},
               {200, 1, kHr, 0, {5, 6}}, {300, 1, kCoils, 0, {0, 1, 1}}};
  return r;
}

struct Bench {
  Served regs, coils;
  std::vector<Target> targets{regs.target({1, kHr, 0, 10}), coils.target({1, kCoils, 0, 8})};
  Player player;
  int step(std::uint64_t ms) { return Step(&player, ms, targets.data(), static_cast<int>(targets.size())); }
};

}  // namespace

TEST(Replay, WritesWhatIsDueOnceAndKeepsTheLastValues) {
  Bench b;
  Start(&b.player, Device(), 1, false);
  EXPECT_EQ(NextDueMs(b.player), 0u);
  EXPECT_EQ(b.step(0), 2);
  EXPECT_EQ(b.regs.regs(0, 2), (std::vector<int>{1, 2}));
  EXPECT_EQ(b.coils.bits(3), (std::vector<int>{1, 0, 1}));
  EXPECT_EQ(NextDueMs(b.player), 100u);
  EXPECT_EQ(b.step(99), 0);
  EXPECT_EQ(b.step(150), 1);
  EXPECT_EQ(b.regs.regs(0, 2), (std::vector<int>{3, 4}));
  EXPECT_EQ(b.step(140), 0);  // time going back writes nothing
  // 200 and 300 both come due: the registers get only their latest values.
  b.regs.calls.clear();
  EXPECT_EQ(b.step(1000), 2);
  EXPECT_EQ(b.regs.calls, (std::vector<std::pair<int, int>>{{0, 5}, {1, 6}}));
  EXPECT_EQ(b.coils.bits(3), (std::vector<int>{0, 1, 1}));
  EXPECT_TRUE(Finished(b.player));
  EXPECT_EQ(NextDueMs(b.player), kNeverDue);
  EXPECT_EQ(b.step(5000), 0);
  EXPECT_EQ(b.regs.regs(0, 2), (std::vector<int>{5, 6}));
  EXPECT_EQ(DurationMs(b.player), 300u);
  EXPECT_EQ(PositionMs(b.player, 5000), 300u);
}

TEST(Replay, LoopsAfterTheTypicalGapAndLandsOnTheRightValuesAfterLongJumps) {
  Bench b;
  Start(&b.player, Device(), 1, true);
  EXPECT_EQ(DurationMs(b.player), 400u);
  b.step(0);
  b.step(399);
  EXPECT_EQ(b.regs.regs(0, 2), (std::vector<int>{5, 6}));
  EXPECT_EQ(NextDueMs(b.player), 400u);
  EXPECT_EQ(b.step(400), 2);  // the first samples come round again
  EXPECT_EQ(b.regs.regs(0, 2), (std::vector<int>{1, 2}));
  EXPECT_EQ(b.coils.bits(3), (std::vector<int>{1, 0, 1}));
  EXPECT_EQ(PositionMs(b.player, 450), 50u);
  // Several passes at once: each block once, with its values at 150 ms of pass 4.
  b.regs.calls.clear();
  EXPECT_EQ(b.step(4 * 400 + 150), 2);
  EXPECT_EQ(b.regs.calls, (std::vector<std::pair<int, int>>{{0, 3}, {1, 4}}));
  EXPECT_EQ(b.coils.bits(3), (std::vector<int>{1, 0, 1}));
  EXPECT_EQ(NextDueMs(b.player), 4u * 400 + 200);
}

TEST(Replay, SpeedScalesTheClock) {
  Bench b;
  Start(&b.player, Device(), 10, true);
  b.step(0);
  EXPECT_EQ(NextDueMs(b.player), 10u);
  EXPECT_EQ(b.step(9), 0);
  EXPECT_EQ(b.step(10), 1);
  EXPECT_EQ(b.regs.regs(0, 2), (std::vector<int>{3, 4}));
  EXPECT_EQ(b.step(40), 2);  // 400 recorded ms: the rest of the pass, then its first samples again
  EXPECT_EQ(b.regs.regs(0, 2), (std::vector<int>{1, 2}));
}

TEST(Replay, WritesTheHeldPartOfABlockAndOverlappingBlocksInRecordedOrder) {
  recording::Recording r;
  r.samples = {{0, 1, kHr, 8, {0x11, 0x22, 0x33, 0x44}}, {0, 1, kHr, 9, {0xAA}}, {0, 2, kHr, 8, {0x99}}};
  Served part;  // holds 10..14 of the first block's 8..11
  Served other;
  const Target targets[2] = {part.target({1, kHr, 10, 5}), other.target({1, kHr, 100, 5})};
  bool touched[2] = {false, false};
  Player player;
  Start(&player, r, 1, false);
  EXPECT_EQ(Step(&player, 0, targets, 2, touched), 3);
  EXPECT_TRUE(touched[0]);
  EXPECT_FALSE(touched[1]);  // holds none of the recorded registers
  EXPECT_EQ(part.regs(0, 3), (std::vector<int>{0x33, 0x44, 0}));
  EXPECT_EQ(part.calls, (std::vector<std::pair<int, int>>{{0, 0x33}, {1, 0x44}}));  // unit 2 is not this one's

  Served whole;
  const Target target = whole.target({1, kHr, 8, 4});
  Start(&player, r, 1, false);
  Step(&player, 0, &target, 1);
  EXPECT_EQ(whole.regs(0, 4), (std::vector<int>{0x11, 0xAA, 0x33, 0x44}));
}

TEST(Replay, PlansTheDefinitionsARecordingNeedsWithinTheEngineLimits) {
  recording::Recording r = Device();
  r.samples.push_back({500, 1, kHr, 100, {7}});
  r.samples.push_back({500, 1, kHr, 3000, {7}});   // too far to share one definition with 0..1
  r.samples.push_back({500, 4, kCoils, 10, {1}});
  std::vector<Span> added;
  std::string error;
  ASSERT_TRUE(PlanDefinitions(r, {{1, kCoils, 0, 3}}, &added, &error)) << error;
  EXPECT_EQ(added, (std::vector<Span>{{1, kHr, 0, 101}, {1, kHr, 3000, 1}, {4, kCoils, 10, 1}}));
  const std::vector<Span> many(30, Span{9, kHr, 0, 1});
  EXPECT_FALSE(PlanDefinitions(r, many, &added, &error));
  EXPECT_EQ(error, "the recording needs 4 more definitions beside the 30 there are; at most 32 definitions can be "
                   "served");
  EXPECT_EQ(added.size(), 3u);
  EXPECT_FALSE(PlanDefinitions(recording::Recording{}, {}, &added, &error));
  EXPECT_EQ(error, "the recording holds no reads");
}
