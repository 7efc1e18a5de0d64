// Auto-change rules on the value image: wraps, toggles, word orders and the
// values handed to the engine setters.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "slave/engine/autochange.h"

using namespace autochange;

namespace {

struct Call {
  char kind;
  int index;
  double value;
  bool swap;
};

struct Recorder {
  std::vector<Call> calls;
  Setters setters() {
    Setters s;
    s.context = this;
    s.setCoil = [](void* c, int i, std::uint8_t v) { static_cast<Recorder*>(c)->calls.push_back({'c', i, double(v), false}); };
    s.setRegister = [](void* c, int i, std::uint16_t v) { static_cast<Recorder*>(c)->calls.push_back({'r', i, double(v), false}); };
    s.setFloat = [](void* c, int i, float v, bool w) { static_cast<Recorder*>(c)->calls.push_back({'f', i, double(v), w}); };
    s.setDouble = [](void* c, int i, double v, bool w) { static_cast<Recorder*>(c)->calls.push_back({'d', i, v, w}); };
    s.setLong = [](void* c, int i, std::int32_t v, bool w) { static_cast<Recorder*>(c)->calls.push_back({'l', i, double(v), w}); };
    return s;
  }
};

struct Definition {
  std::array<std::uint8_t, kImageBytes> image{};
  std::array<std::uint32_t, kFlagCount> flags{};
  std::uint16_t reg(int i) const { return ImageRegister(image.data(), i); }
};

}  // namespace

TEST(AutoChange, RegisterIncrementWrapsAt16Bits) {
  for (int format : {kSigned, kUnsigned, kHex, kBinary}) {
    Definition d;
    SetImageRegister(d.image.data(), 3, 65535);
    SetImageRegister(d.image.data(), 4, 7);
    d.flags[3] = 1;
    d.flags[4] = 1;
    Recorder rec;
    EXPECT_EQ(Step(kTableHoldingRegisters, format, 10, d.flags.data(), d.image.data(), rec.setters()), 2);
    EXPECT_EQ(d.reg(3), 0);
    EXPECT_EQ(d.reg(4), 8);
    ASSERT_EQ(rec.calls.size(), 2u);
    EXPECT_EQ(rec.calls[0].kind, 'r');
    EXPECT_EQ(rec.calls[0].index, 3);
    EXPECT_EQ(rec.calls[0].value, 0);
    EXPECT_EQ(rec.calls[1].value, 8);
  }
}

TEST(AutoChange, OnlyFlaggedElementsInsideTheDefinitionChange) {
  Definition d;
  d.flags[9] = 1;   // inside length 10
  d.flags[10] = 1;  // beyond the definition
  Recorder rec;
  EXPECT_EQ(Step(kTableInputRegisters, kUnsigned, 10, d.flags.data(), d.image.data(), rec.setters()), 1);
  EXPECT_EQ(d.reg(9), 1);
  EXPECT_EQ(d.reg(10), 0);
  EXPECT_EQ(d.reg(0), 0);
}

TEST(AutoChange, CoilsAndInputsToggle) {
  for (int table : {kTableCoils, kTableDiscreteInputs}) {
    Definition d;
    d.image[0] = 1;
    d.flags[0] = 1;
    d.flags[4095] = 1;
    Recorder rec;
    // The display format does not matter for bit tables.
    Step(table, kDouble, 4096, d.flags.data(), d.image.data(), rec.setters());
    EXPECT_EQ(d.image[0], 0);
    EXPECT_EQ(d.image[4095], 1);
    Step(table, kDouble, 4096, d.flags.data(), d.image.data(), rec.setters());
    EXPECT_EQ(d.image[0], 1);
    EXPECT_EQ(d.image[4095], 0);
    ASSERT_EQ(rec.calls.size(), 4u);
    EXPECT_EQ(rec.calls[0].kind, 'c');
    EXPECT_EQ(rec.calls[1].index, 4095);
  }
}

TEST(AutoChange, FloatAddsOneInBothWordOrders) {
  Definition d;
  // 1.0f = 0x3F800000: plain order puts the low word first.
  SetImageRegister(d.image.data(), 0, 0x0000);
  SetImageRegister(d.image.data(), 1, 0x3F80);
  d.flags[0] = 1;
  Recorder rec;
  Step(kTableHoldingRegisters, kFloat, 10, d.flags.data(), d.image.data(), rec.setters());
  // 2.0f = 0x40000000
  EXPECT_EQ(d.reg(0), 0x0000);
  EXPECT_EQ(d.reg(1), 0x4000);
  ASSERT_EQ(rec.calls.size(), 1u);
  EXPECT_EQ(rec.calls[0].kind, 'f');
  EXPECT_EQ(rec.calls[0].value, 2.0);
  EXPECT_FALSE(rec.calls[0].swap);

  Definition inv;
  SetImageRegister(inv.image.data(), 2, 0x3F80);  // value 1, high word first
  SetImageRegister(inv.image.data(), 3, 0x0000);
  inv.flags[1] = 1;
  Recorder rec2;
  Step(kTableHoldingRegisters, kFloatInverse, 10, inv.flags.data(), inv.image.data(), rec2.setters());
  EXPECT_EQ(inv.reg(2), 0x4000);
  EXPECT_EQ(inv.reg(3), 0x0000);
  ASSERT_EQ(rec2.calls.size(), 1u);
  EXPECT_EQ(rec2.calls[0].index, 1);
  EXPECT_TRUE(rec2.calls[0].swap);
}

TEST(AutoChange, FloatPairsBeyondAnOddLengthAreNotTouched) {
  Definition d;
  d.flags[4] = 1;  // value 4 would need registers 8 and 9; length 9 has only 8
  Recorder rec;
  EXPECT_EQ(Step(kTableHoldingRegisters, kFloat, 9, d.flags.data(), d.image.data(), rec.setters()), 0);
  EXPECT_TRUE(rec.calls.empty());
  EXPECT_EQ(d.reg(8), 0);
}

TEST(AutoChange, DoubleAddsOneInBothWordOrders) {
  Definition d;
  // 1.0 = 0x3FF0000000000000: the plain order puts the highest word last.
  SetImageRegister(d.image.data(), 7, 0x3FF0);
  d.flags[1] = 1;
  Recorder rec;
  Step(kTableHoldingRegisters, kDouble, 8, d.flags.data(), d.image.data(), rec.setters());
  EXPECT_EQ(d.reg(7), 0x4000);  // 2.0
  EXPECT_EQ(ImageDouble(d.image.data(), 1, false), 2.0);

  Definition inv;
  SetImageRegister(inv.image.data(), 4, 0x3FF0);  // highest word first
  inv.flags[1] = 1;
  Recorder rec2;
  Step(kTableHoldingRegisters, kDoubleInverse, 8, inv.flags.data(), inv.image.data(), rec2.setters());
  EXPECT_EQ(inv.reg(4), 0x4000);
  EXPECT_EQ(inv.reg(7), 0);
  ASSERT_EQ(rec2.calls.size(), 1u);
  EXPECT_TRUE(rec2.calls[0].swap);
  EXPECT_EQ(rec2.calls[0].value, 2.0);
}

TEST(AutoChange, LongWrapsAt32Bits) {
  Definition d;
  SetImageLong(d.image.data(), 0, 0x7FFFFFFF, false);
  SetImageLong(d.image.data(), 1, -1, false);
  d.flags[0] = d.flags[1] = 1;
  Recorder rec;
  Step(kTableHoldingRegisters, kLong, 4, d.flags.data(), d.image.data(), rec.setters());
  EXPECT_EQ(ImageLong(d.image.data(), 0, false), INT32_MIN);
  EXPECT_EQ(ImageLong(d.image.data(), 1, false), 0);
  EXPECT_EQ(d.reg(0), 0x0000);
  EXPECT_EQ(d.reg(1), 0x8000);

  Definition inv;
  SetImageRegister(inv.image.data(), 0, 0x0000);  // high word
  SetImageRegister(inv.image.data(), 1, 0xFFFF);  // low word
  inv.flags[0] = 1;
  Recorder rec2;
  Step(kTableHoldingRegisters, kLongInverse, 2, inv.flags.data(), inv.image.data(), rec2.setters());
  EXPECT_EQ(inv.reg(0), 0x0001);  // carry into the high word
  EXPECT_EQ(inv.reg(1), 0x0000);
  EXPECT_EQ(rec2.calls[0].value, 65536.0);
}

TEST(AutoChange, FlagIndexFollowsTheValueIndexOfTheFormat) {
  // Flag 1 means register 1 in Unsigned, value 1 (registers 2, 3) in Long.
  Definition d;
  d.flags[1] = 1;
  Recorder rec;
  Step(kTableHoldingRegisters, kLong, 10, d.flags.data(), d.image.data(), rec.setters());
  EXPECT_EQ(d.reg(1), 0);
  EXPECT_EQ(d.reg(2), 1);
  Step(kTableHoldingRegisters, kUnsigned, 10, d.flags.data(), d.image.data(), rec.setters());
  EXPECT_EQ(d.reg(1), 1);
}

TEST(AutoChange, BadTableOrFormatIsHarmless) {
  Definition d;
  d.flags.fill(1);
  Recorder rec;
  EXPECT_EQ(Step(0, kSigned, 10, d.flags.data(), d.image.data(), rec.setters()), 0);
  EXPECT_EQ(Step(5, kSigned, 10, d.flags.data(), d.image.data(), rec.setters()), 0);
  // A format from a damaged file acts as Signed; a length from it is clamped.
  EXPECT_EQ(Step(kTableHoldingRegisters, 77, 100000, d.flags.data(), d.image.data(), rec.setters()), 2048);
  EXPECT_EQ(d.reg(2047), 1);
}

TEST(ValueImage, WordOrdersOfThirtyTwoAndSixtyFourBitValues) {
  std::array<std::uint8_t, kImageBytes> image{};
  SetImageUint32(image.data(), 1, 0x11223344u, false);
  EXPECT_EQ(ImageRegister(image.data(), 2), 0x3344);
  EXPECT_EQ(ImageRegister(image.data(), 3), 0x1122);
  EXPECT_EQ(ImageUint32(image.data(), 1, true), 0x33441122u);
  SetImageUint64(image.data(), 2, 0x1111222233334444ull, true);
  EXPECT_EQ(ImageRegister(image.data(), 8), 0x1111);
  EXPECT_EQ(ImageRegister(image.data(), 11), 0x4444);
  EXPECT_EQ(ImageUint64(image.data(), 2, false), 0x4444333322221111ull);
  // Out-of-range indices read zero and write nothing.
  SetImageUint64(image.data(), 512, ~0ull, false);
  SetImageRegister(image.data(), -1, 0xFFFF);
  EXPECT_EQ(ImageUint64(image.data(), 512, false), 0u);
  EXPECT_EQ(ImageRegister(image.data(), 2048), 0);
}

TEST(AutoChange, OtherOrdersAddOneAndHandTheirRegistersToTheEngine) {
  Definition d;
  d.flags[0] = 1;
  // 1.0f in BADC: 0x3F800000 -> registers 0x803F, 0x0000.
  SetImageValue(d.image.data(), 0, 2, 0x3F800000u, wordorder::Order::kBADC);
  Recorder rec;
  EXPECT_EQ(Step(kTableHoldingRegisters, valuefmt::kFloatBadc, 4, d.flags.data(), d.image.data(), rec.setters()), 1);
  EXPECT_EQ(d.reg(0), 0x0040);  // 2.0f = 0x40000000
  EXPECT_EQ(d.reg(1), 0x0000);
  ASSERT_EQ(rec.calls.size(), 2u);
  EXPECT_EQ(rec.calls[0].kind, 'r');
  EXPECT_EQ(rec.calls[0].value, double(0x0040));
  EXPECT_EQ(rec.calls[1].index, 1);
  // Unsigned long DCBA wraps at 32 bits like the longs.
  rec.calls.clear();
  SetImageValue(d.image.data(), 0, 2, 0xFFFFFFFFu, wordorder::Order::kDCBA);
  Step(kTableHoldingRegisters, valuefmt::kUnsignedLongDcba, 4, d.flags.data(), d.image.data(), rec.setters());
  EXPECT_EQ(ImageValue(d.image.data(), 0, 2, wordorder::Order::kDCBA), 0u);
  // Double DCBA: 1.0 + 1.
  SetImageValue(d.image.data(), 0, 4, 0x3FF0000000000000u, wordorder::Order::kDCBA);
  Step(kTableHoldingRegisters, valuefmt::kDoubleDcba, 4, d.flags.data(), d.image.data(), rec.setters());
  EXPECT_EQ(ImageValue(d.image.data(), 0, 4, wordorder::Order::kDCBA), 0x4000000000000000u);
  EXPECT_EQ(d.reg(3), 0x0040);
}
