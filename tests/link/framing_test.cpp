// The framing writers against the read-holding-registers example of the Modbus
// serial line guide (slave 0x11, address 0x006B, three registers).
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

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
  EXPECT_EQ(MbapFollowingLength(header.data()), 0x0104) << "read back as written";
  header[3] = 1;
  EXPECT_EQ(MbapFollowingLength(header.data()), -1) << "another protocol id";
  header[3] = 0;
  header[2] = 0x80;
  EXPECT_EQ(MbapFollowingLength(header.data()), -1);
}

}  // namespace

// The frame-length readers against real frames: each returns 0 until the bytes
// that fix the length are in, then the whole length, and the CRC sits at its end.
TEST(Framing, RtuFrameLengthsFromTheirFirstBytes) {
  struct Case {
    std::vector<std::uint8_t> pdu;  // address and PDU, CRC appended below
    bool request;
  };
  const std::vector<Case> cases = {
      {{0x11, 0x03, 0x00, 0x6B, 0x00, 0x03}, true},
      {{0x11, 0x10, 0x00, 0x01, 0x00, 0x02, 0x04, 0x00, 0x0A, 0x01, 0x02}, true},
      {{0x11, 0x17, 0x00, 0x03, 0x00, 0x06, 0x00, 0x0E, 0x00, 0x01, 0x02, 0x00, 0xFF}, true},
      {{0x11, 0x2B, 0x0E, 0x01, 0x00}, true},
      {{0x11, 0x11}, true},
      {{0x11, 0x03, 0x06, 0x02, 0x2B, 0x00, 0x00, 0x00, 0x64}, false},
      {{0x11, 0x83, 0x02}, false},
      {{0x11, 0x0F, 0x00, 0x13, 0x00, 0x0A}, false},
      {{0x11, 0x2B, 0x0E, 0x01, 0x01, 0x00, 0x00, 0x02, 0x00, 0x03, 'A', 'B', 'C', 0x01, 0x01, 'X'}, false},
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> frame = c.pdu;
    frame.resize(frame.size() + 2);
    AppendCrc(frame.data(), static_cast<std::uint16_t>(c.pdu.size()));
    const int whole = static_cast<int>(frame.size());
    auto lengthOf = [&](int have) {
      return c.request ? RtuRequestLength(frame.data(), have) : RtuReplyLength(frame.data(), have);
    };
    EXPECT_EQ(lengthOf(1), 0);
    EXPECT_EQ(lengthOf(whole), whole) << "function " << int(frame[1]);
    for (int have = 2; have < whole; ++have) {
      const int known = lengthOf(have);
      EXPECT_TRUE(known == 0 || known == whole) << "function " << int(frame[1]) << " at " << have;
    }
  }
  const std::uint8_t unknown[] = {0x11, 0x64, 0x00};
  EXPECT_EQ(RtuRequestLength(unknown, 3), -1);
  EXPECT_EQ(RtuReplyLength(unknown, 3), -1);
}
