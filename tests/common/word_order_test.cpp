#include "common/word_order.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>

namespace {

using wordorder::Order;
using Regs2 = std::array<std::uint16_t, 2>;
using Regs4 = std::array<std::uint16_t, 4>;

constexpr Order kOrders[] = {Order::kABCD, Order::kCDAB, Order::kBADC, Order::kDCBA};

// float 1.5 = 0x3FC00000 and a 32-bit integer with four distinct bytes, as devices send them.
TEST(WordOrder, ThirtyTwoBitOrdersMatchRegisterImages) {
  const Regs2 floatImages[] = {{0x3FC0, 0x0000}, {0x0000, 0x3FC0}, {0xC03F, 0x0000}, {0x0000, 0xC03F}};
  const Regs2 longImages[] = {{0x1234, 0x5678}, {0x5678, 0x1234}, {0x3412, 0x7856}, {0x7856, 0x3412}};
  for (int i = 0; i < 4; ++i) {
    const Order order = kOrders[i];
    Regs2 regs{};
    wordorder::SplitFloat(1.5f, order, regs.data());
    EXPECT_EQ(regs, floatImages[i]) << i;
    EXPECT_EQ(wordorder::JoinFloat(floatImages[i].data(), order), 1.5f) << i;
    wordorder::Split32(0x12345678u, order, regs.data());
    EXPECT_EQ(regs, longImages[i]) << i;
    EXPECT_EQ(wordorder::Join32(longImages[i].data(), order), 0x12345678u) << i;
  }
}

// pi = 0x400921FB54442D18: ABCDEFGH, GHEFCDAB, BADCFEHG, HGFEDCBA.
TEST(WordOrder, SixtyFourBitPatternsMatchRegisterImages) {
  const Regs4 doubleImages[] = {{0x4009, 0x21FB, 0x5444, 0x2D18},
                                {0x2D18, 0x5444, 0x21FB, 0x4009},
                                {0x0940, 0xFB21, 0x4454, 0x182D},
                                {0x182D, 0x4454, 0xFB21, 0x0940}};
  const Regs4 integerImages[] = {{0x0123, 0x4567, 0x89AB, 0xCDEF},
                                 {0xCDEF, 0x89AB, 0x4567, 0x0123},
                                 {0x2301, 0x6745, 0xAB89, 0xEFCD},
                                 {0xEFCD, 0xAB89, 0x6745, 0x2301}};
  const double pi = 3.141592653589793;
  for (int i = 0; i < 4; ++i) {
    const Order order = kOrders[i];
    Regs4 regs{};
    wordorder::SplitDouble(pi, order, regs.data());
    EXPECT_EQ(regs, doubleImages[i]) << i;
    EXPECT_EQ(wordorder::JoinDouble(doubleImages[i].data(), order), pi) << i;
    wordorder::Split64(0x0123456789ABCDEFull, order, regs.data());
    EXPECT_EQ(regs, integerImages[i]) << i;
    EXPECT_EQ(wordorder::Join64(integerImages[i].data(), order), 0x0123456789ABCDEFull) << i;
  }
}

TEST(WordOrder, SplitThenJoinGivesTheValueBackInEveryOrder) {
  const std::uint64_t values[] = {0, 1, 0x8000000000000000ull, 0xFFFFFFFFFFFFFFFFull, 0x00FF00FF12EF34CDull};
  for (Order order : kOrders) {
    for (std::uint64_t v : values) {
      Regs4 regs{};
      wordorder::Split64(v, order, regs.data());
      EXPECT_EQ(wordorder::Join64(regs.data(), order), v);
      wordorder::Split32(static_cast<std::uint32_t>(v), order, regs.data());
      EXPECT_EQ(wordorder::Join32(regs.data(), order), static_cast<std::uint32_t>(v));
    }
    Regs4 regs{};
    wordorder::SplitFloat(-0.0f, order, regs.data());
    EXPECT_TRUE(std::signbit(wordorder::JoinFloat(regs.data(), order)));
  }
}

// The single swap flag of the engine and the inverse formats: set means most significant register first.
TEST(WordOrder, SwapFlagAndFrameFields) {
  EXPECT_EQ(wordorder::FromSwap(true), Order::kABCD);
  EXPECT_EQ(wordorder::FromSwap(false), Order::kCDAB);
  std::uint8_t frame[2] = {};
  wordorder::Put16(frame, 0xA1B2);
  EXPECT_EQ(frame[0], 0xA1);
  EXPECT_EQ(frame[1], 0xB2);
  EXPECT_EQ(wordorder::Get16(frame), 0xA1B2);
}

}  // namespace
