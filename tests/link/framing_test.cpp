// The framing writers against the read-holding-registers example of the Modbus
// serial line guide (slave 0x11, address 0x006B, three registers).
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "link/checksums.h"
#include "link/framing.h"

namespace {

using namespace linklayer;

constexpr std::array<std::uint8_t, 6> kRequest = {0x11, 0x03, 0x00, 0x6B, 0x00, 0x03};

TEST(Framing, RtuCrcLowByteFirstAndSpoiledCrcFailsTheCheck) {
  std::array<std::uint8_t, 8> frame{};
  std::copy(kRequest.begin(), kRequest.end(), frame.begin());
  EXPECT_EQ(AppendCrc(frame.data(), 6), 8);
  EXPECT_EQ(frame[6], 0x76);
  EXPECT_EQ(frame[7], 0x87);
  EXPECT_EQ(ComputeCrc16(frame.data(), 8), 0);

  EXPECT_EQ(AppendCrc(frame.data(), 6, Check::kSpoiled), 8);
  EXPECT_EQ(frame[6], 0x89) << "the low byte is inverted";
  EXPECT_EQ(frame[7], 0x87);
  EXPECT_NE(ComputeCrc16(frame.data(), 8), 0);
}

TEST(Framing, AsciiTextAndSpoiledLrcFailsTheCheck) {
  char text[AsciiFrameLength(6)];
  ASSERT_EQ(BuildAsciiFrame(kRequest.data(), 6, text), 17);
  EXPECT_EQ(std::string(text, 17), ":1103006B00037E\r\n");
  EXPECT_TRUE(CheckAsciiLrc(text, 17));

  ASSERT_EQ(BuildAsciiFrame(kRequest.data(), 6, text, Check::kSpoiled), 17);
  EXPECT_EQ(std::string(text, 17), ":1103006B00037F\r\n");
  EXPECT_FALSE(CheckAsciiLrc(text, 17));
}

TEST(Framing, MbapHeader) {
  std::array<std::uint8_t, 6> header{};
  PutMbapHeader(header.data(), 0x0102, 6);
  EXPECT_EQ(header, (std::array<std::uint8_t, 6>{0x01, 0x02, 0x00, 0x00, 0x00, 0x06}));
  PutMbapHeader(header.data(), 0xFFFF, 0x0104);
  EXPECT_EQ(header, (std::array<std::uint8_t, 6>{0xFF, 0xFF, 0x00, 0x00, 0x01, 0x04}));
}

}  // namespace
