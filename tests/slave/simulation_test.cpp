// Simulated values on the value image: the formulas at known times, 32- and
// 64-bit values in their word orders, clamping, seeded random draws, bits, and
// what the engine setters are handed.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <string>
#include <vector>

#include "common/value_format.h"
#include "common/word_order.h"
#include "slave/engine/simulation.h"

using namespace simulation;

namespace {

struct Served {
  std::array<std::uint8_t, autochange::kImageBytes> image{};
  std::vector<std::pair<int, int>> calls;  // (index, value) as the setters got them
  autochange::Setters setters() {
    autochange::Setters s;
    s.context = this;
    s.setCoil = [](void* c, int i, std::uint8_t v) { static_cast<Served*>(c)->calls.push_back({i, v}); };
    s.setRegister = [](void* c, int i, std::uint16_t v) { static_cast<Served*>(c)->calls.push_back({i, v}); };
    return s;
  }
  std::uint16_t reg(int i) const { return autochange::ImageRegister(image.data(), i); }
  void words(int first, int count, std::uint16_t* out) const {
    for (int w = 0; w < count; ++w) out[w] = reg(first + w);
  }
};

Rule Make(const std::string& text, int first, int last, int format) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t colon; (colon = text.find(':', start)) != std::string::npos; start = colon + 1)
    parts.push_back(text.substr(start, colon - start));
  parts.push_back(text.substr(start));
  Rule rule;
  std::string error;
  EXPECT_TRUE(ParseKind(parts.data(), static_cast<int>(parts.size()), &rule, &error)) << text << ": " << error;
  rule.first = first;
  rule.last = last;
  rule.format = format;
  return rule;
}

TEST(Simulation, SineAndRampFollowWallClockInEveryWordOrder) {
  const int formats[] = {valuefmt::kFloat, valuefmt::kFloatInverse, valuefmt::kFloatBadc, valuefmt::kFloatDcba};
  for (int format : formats) {
    Served served;
    Rule rules[] = {Make("sine:100:50:4000", 0, 1, format), Make("ramp:-10:30:2000", 2, 5, valuefmt::kDoubleDcba),
                    Make("ramp:0:70000:1000", 6, 7, valuefmt::kUnsignedLongBadc)};
    // 5 periods and a quarter later: the same phase as at a quarter period.
    ASSERT_EQ(Step(3, 20, rules, 3, 4 * 5000 + 1000, served.image.data(), served.setters()), 3);
    std::uint16_t w[4];
    served.words(0, 2, w);
    EXPECT_FLOAT_EQ(wordorder::JoinFloat(w, valuefmt::OrderOf(format)), 150.0f) << format;
    served.words(2, 4, w);
    EXPECT_DOUBLE_EQ(wordorder::JoinDouble(w, wordorder::Order::kDCBA), -10.0 + 40.0 * 0.5);
    served.words(6, 2, w);
    EXPECT_EQ(wordorder::Join32(w, wordorder::Order::kBADC), 0u);  // 21000 ms: a new period
    // The engine gets exactly the image's registers, one by one.
    ASSERT_EQ(served.calls.size(), 8u);
    for (auto [index, value] : served.calls) EXPECT_EQ(served.reg(index), value);
    Step(3, 20, rules, 3, 1500, served.image.data(), served.setters());
    served.words(0, 2, w);
    EXPECT_NEAR(wordorder::JoinFloat(w, valuefmt::OrderOf(format)), 100.0 + 50.0 * std::sin(0.75 * std::numbers::pi),
                1e-4);
  }
}

TEST(Simulation, IntegersAreRoundedAndClampedToTheirFormat) {
  Served served;
  Rule rules[] = {Make("ramp:0:80000:1000", 0, 0, valuefmt::kSigned), Make("sine:-5:1:1000", 1, 1, valuefmt::kUnsigned),
                  Make("ramp:-6000000000:0:1000", 2, 3, valuefmt::kLong), Make("ramp:2.4:3:1000", 4, 4, valuefmt::kHex)};
  Step(3, 20, rules, 4, 500, served.image.data(), served.setters());
  EXPECT_EQ(served.reg(0), 32767);  // 40000 does not fit a signed register
  EXPECT_EQ(served.reg(1), 0);      // -5 does not fit an unsigned one
  std::uint16_t w[2];
  served.words(2, 2, w);
  EXPECT_EQ(static_cast<std::int32_t>(wordorder::Join32(w, valuefmt::OrderOf(valuefmt::kLong))), INT32_MIN);
  EXPECT_EQ(served.reg(4), 3);  // 2.7 rounds up
}

// A ramp between the ends of the double range starts at its MIN: the span does
// not fit a double, and an infinite span times phase 0 once gave not-a-number,
// which no integer register can hold.
TEST(Simulation, RampWiderThanTheDoubleRangeStartsAtItsMin) {
  Served served;
  Rule rules[] = {Make("ramp:-1e308:1e308:1000", 0, 0, valuefmt::kSigned),
                  Make("ramp:1e308:-1e308:1000", 1, 1, valuefmt::kSigned),
                  Make("ramp:-1e308:1e308:1000", 2, 3, valuefmt::kLong)};
  Step(3, 20, rules, 3, 2000, served.image.data(), served.setters());
  EXPECT_EQ(served.reg(0), 0x8000);
  EXPECT_EQ(served.reg(1), 32767);
  std::uint16_t w[2];
  served.words(2, 2, w);
  EXPECT_EQ(static_cast<std::int32_t>(wordorder::Join32(w, valuefmt::OrderOf(valuefmt::kLong))), INT32_MIN);
  EXPECT_EQ(ValueAt(&rules[0], 2000, true), -1e308);
  EXPECT_GT(ValueAt(&rules[0], 2500, true), 0.0);  // past the start: the direction of the ramp
}

TEST(Simulation, RandomStaysInBoundsAndRepeatsWithItsSeed) {
  Rule a = Make("random:-7:12", 0, 0, valuefmt::kSigned), b = a, c = a;
  Seed(&a, 42, 0);
  Seed(&b, 42, 0);
  Seed(&c, 42, 1);
  bool seenLow = false, seenHigh = false, differs = false;
  for (int i = 0; i < 2000; ++i) {
    const double x = ValueAt(&a, 0, true);
    EXPECT_GE(x, -7.0);
    EXPECT_LE(x, 12.0);
    EXPECT_EQ(x, std::floor(x));
    seenLow = seenLow || x == -7.0;
    seenHigh = seenHigh || x == 12.0;
    EXPECT_EQ(x, ValueAt(&b, 0, true));
    differs = differs || x != ValueAt(&c, 0, true);
  }
  EXPECT_TRUE(seenLow && seenHigh);
  EXPECT_TRUE(differs);
  Rule real = Make("random:0.25:0.5", 0, 0, valuefmt::kFloat);
  for (int i = 0; i < 200; ++i) {
    const double x = ValueAt(&real, 0, false);
    EXPECT_TRUE(x >= 0.25 && x <= 0.5 && x != std::floor(x)) << x;
  }
}

TEST(Simulation, BitsToggleEveryPeriodAndStayInsideTheDefinition) {
  Served served;
  Rule rules[] = {Make("toggle:300", 0, 9, valuefmt::kSigned)};
  const std::uint64_t times[] = {0, 299, 300, 599, 600, 900 * 1001};
  const int expected[] = {0, 0, 1, 1, 0, 1};
  for (int k = 0; k < 6; ++k) {
    served.calls.clear();
    EXPECT_EQ(Step(1, 4, rules, 1, times[k], served.image.data(), served.setters()), 4);  // length 4 of 10
    for (int i = 0; i < 4; ++i) EXPECT_EQ(served.image[i], expected[k]) << times[k];
    EXPECT_EQ(served.image[4], 0);
    ASSERT_EQ(served.calls.size(), 4u);
  }
  Rule refused;
  std::string error;
  const std::string bad[][4] = {{"toggle", "0"}, {"random", "5", "1"}, {"ramp", "0", "1", "1.5"},
                                {"sine", "nan", "1", "100"}, {"wobble", "1"}};
  const int counts[] = {2, 3, 4, 4, 2};
  for (int k = 0; k < 5; ++k) EXPECT_FALSE(ParseKind(bad[k], counts[k], &refused, &error)) << bad[k][0];
}

}  // namespace

// A recording rule: each item changes at its recorded moments, is left alone
// before its first value, keeps the last value of a pass until its first change
// in the next, and a later read of the same moment wins; reads of other units
// are not taken when the recording holds the asked unit.
TEST(Simulation, RecordingRuleReplaysEachItemAndLoops) {
  recording::Recording rec;
  rec.samples = {{0, 1, 3, 10, {0x0101, 0x0202}},  {0, 2, 3, 10, {0xDEAD, 0xDEAD}},
                 {100, 1, 3, 11, {0x0303}},         {200, 1, 3, 10, {0x0404, 0x0505}},
                 {200, 1, 3, 11, {0x0606}},         {300, 1, 3, 12, {0x0707}}};
  Rule rule;
  rule.kind = Kind::kRecording;
  rule.first = 2;  // items 2..4 of a definition at address 8: addresses 10..12
  rule.last = 4;
  auto track = std::make_shared<Track>();
  std::string error;
  ASSERT_TRUE(BuildTrack(rec, 1, 3, 10, 3, track.get(), &error)) << error;
  EXPECT_EQ(track->periodMs, 400u);  // last row 300 + the typical gap of 100
  rule.track = track;
  Served s;
  const auto at = [&](std::uint64_t ms) {
    s.image.fill(0);
    Step(3, 10, &rule, 1, ms, s.image.data(), s.setters());
    return std::vector<std::uint16_t>{s.reg(2), s.reg(3), s.reg(4)};
  };
  EXPECT_EQ(at(0), (std::vector<std::uint16_t>{0x0101, 0x0202, 0}));  // item 4 untouched yet
  EXPECT_EQ(at(150), (std::vector<std::uint16_t>{0x0101, 0x0303, 0}));
  EXPECT_EQ(at(250), (std::vector<std::uint16_t>{0x0404, 0x0606, 0}));  // the later read of 200 ms
  EXPECT_EQ(at(399), (std::vector<std::uint16_t>{0x0404, 0x0606, 0x0707}));
  EXPECT_EQ(at(150), (std::vector<std::uint16_t>{0x0101, 0x0303, 0}));  // time that goes back
  EXPECT_EQ(at(399), (std::vector<std::uint16_t>{0x0404, 0x0606, 0x0707}));
  EXPECT_EQ(at(400 + 50), (std::vector<std::uint16_t>{0x0101, 0x0202, 0x0707}));  // next pass
  EXPECT_EQ(s.calls.back(), (std::pair<int, int>{4, 0x0707}));

  // A recording of one unit serves any slave id; of several, only the asked one.
  recording::Recording one;
  one.samples = {{0, 7, 1, 0, {1, 0, 1}}};
  ASSERT_TRUE(BuildTrack(one, 3, 1, 1, 2, track.get(), &error));
  EXPECT_EQ(track->values, (std::vector<std::uint16_t>{0, 1}));  // addresses 1 and 2
  EXPECT_FALSE(BuildTrack(rec, 5, 3, 10, 1, track.get(), &error));
  EXPECT_EQ(error, "the recording holds no reads of unit 5, table 3, addresses 10-10");
  EXPECT_FALSE(BuildTrack(rec, 1, 3, 20, 2, track.get(), &error));
}
