#include "link/checksums.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace linklayer;

namespace {
const std::vector<std::uint8_t> kReadRequest = {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A};
}

TEST(Crc16, KnownVectors) {
  EXPECT_EQ(ComputeCrc16(nullptr, 0), 0xFFFF);
  const char* digits = "123456789";
  EXPECT_EQ(ComputeCrc16(reinterpret_cast<const std::uint8_t*>(digits), 9), 0x4B37);
  EXPECT_EQ(ComputeCrc16(kReadRequest.data(), 6), 0xCDC5);
  // Exception reply 01 83 02 as sent by slaves: C0 F1 (from an independent implementation).
  const std::uint8_t exception[] = {0x01, 0x83, 0x02};
  EXPECT_EQ(ComputeCrc16(exception, 3), 0xF1C0);
}

TEST(Crc16, CompleteFrameChecksToZeroAndCorruptionIsCaught) {
  std::vector<std::uint8_t> frame = kReadRequest;
  const std::uint16_t crc = ComputeCrc16(frame.data(), 6);
  frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));  // low byte first on the wire
  frame.push_back(static_cast<std::uint8_t>(crc >> 8));
  EXPECT_EQ(frame, (std::vector<std::uint8_t>{0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD}));
  EXPECT_EQ(ComputeCrc16(frame.data(), 8), 0);
  for (std::size_t i = 0; i < frame.size(); ++i) {
    std::vector<std::uint8_t> broken = frame;
    broken[i] ^= 0x10;
    EXPECT_NE(ComputeCrc16(broken.data(), 8), 0) << "flipped byte " << i;
  }
  // Swapped CRC bytes must not pass either.
  std::swap(frame[6], frame[7]);
  EXPECT_NE(ComputeCrc16(frame.data(), 8), 0);
}

TEST(Lrc, RawBytes) {
  EXPECT_EQ(ComputeLrc(kReadRequest.data(), 6), 0xF2);
  EXPECT_EQ(ComputeLrc(nullptr, 0), 0);
  const std::uint8_t wraps[] = {0xFF, 0xFF, 0x03};  // sum 0x201 -> 0x01 -> LRC 0xFF
  EXPECT_EQ(ComputeLrc(wraps, 3), 0xFF);
}

TEST(HexText, NibbleConversions) {
  const char expected[] = "0123456789ABCDEF";
  for (std::uint8_t v = 0; v < 16; ++v) {
    EXPECT_EQ(NibbleToHexChar(v), expected[v]);
    EXPECT_EQ(HexCharToNibble(expected[v]), v);
  }
  EXPECT_EQ(NibbleToHexChar(16), '0');
  EXPECT_EQ(NibbleToHexChar(255), '0');
  // Lower case and other characters read as 0.
  for (char c : std::string("abcdefGgz:\r\n @")) EXPECT_EQ(HexCharToNibble(c), 0) << c;
  EXPECT_EQ(HexCharToNibble(static_cast<char>(0xC1)), 0);
  EXPECT_EQ(JoinNibbles(0x0A, 0x05), 0xA5);
  EXPECT_EQ(JoinNibbles(0x1F, 0xF3), 0xF3);  // kept to 8 bits, low masked
}

TEST(HexText, EncodeDecodeRoundTripWithoutTerminator) {
  std::vector<std::uint8_t> all(256);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<std::uint8_t>(i);
  std::string text(514, '#');
  EncodeHex(all.data(), 256, text.data());
  EXPECT_EQ(text.substr(0, 8), "00010203");
  EXPECT_EQ(text.substr(510, 2), "FF");
  EXPECT_EQ(text.substr(512), "##");  // nothing written past 2n characters
  std::vector<std::uint8_t> back(257, 0x5A);
  DecodeHex(text.data(), 256, back.data());
  EXPECT_TRUE(std::equal(all.begin(), all.end(), back.begin()));
  EXPECT_EQ(back[256], 0x5A);

  std::uint8_t lower[2];
  DecodeHex("ab1f", 2, lower);
  EXPECT_EQ(lower[0], 0x00);
  EXPECT_EQ(lower[1], 0x10);
}

TEST(AsciiFrame, BuildAndCheck) {
  // Build as the transactions do: ':' hex LRC CR LF.
  std::string frame(2 * 6 + 5, '\0');
  frame[0] = ':';
  EncodeHex(kReadRequest.data(), 6, &frame[1]);
  const std::uint8_t lrc = ComputeLrc(kReadRequest.data(), 6);
  frame[13] = NibbleToHexChar(lrc >> 4);
  frame[14] = NibbleToHexChar(lrc & 0x0F);
  frame[15] = '\r';
  frame[16] = '\n';
  EXPECT_EQ(frame, ":01030000000AF2\r\n");
  EXPECT_EQ(frame.size(), 17u);
  EXPECT_EQ(ComputeAsciiLrc(frame.data(), 17), 0xF2);
  EXPECT_TRUE(CheckAsciiLrc(frame.data(), 17));

  const std::string request = ":010300000002FA\r\n";
  EXPECT_TRUE(CheckAsciiLrc(request.data(), static_cast<std::uint16_t>(request.size())));
  // LRC written in lower case: "fa" decodes as 00, which does not match.
  const std::string lowerLrc = ":010300000002fa\r\n";
  EXPECT_FALSE(CheckAsciiLrc(lowerLrc.data(), static_cast<std::uint16_t>(lowerLrc.size())));
  const std::string wrongData = ":010300000003FA\r\n";
  EXPECT_FALSE(CheckAsciiLrc(wrongData.data(), static_cast<std::uint16_t>(wrongData.size())));
}

TEST(AsciiFrame, ShortAndEmptyFrames) {
  EXPECT_FALSE(CheckAsciiLrc(":00\r", 4));
  EXPECT_FALSE(CheckAsciiLrc("", 0));
  // ":" LRC CR LF with no data: LRC of nothing is 0.
  EXPECT_EQ(ComputeAsciiLrc(":00\r\n", 5), 0);
  EXPECT_TRUE(CheckAsciiLrc(":00\r\n", 5));
  EXPECT_FALSE(CheckAsciiLrc(":01\r\n", 5));
  EXPECT_EQ(ComputeAsciiLrc(":", 1), 0);
  // An odd length ignores the dangling character: (8 - 5) / 2 = 1 byte.
  EXPECT_EQ(ComputeAsciiLrc(":05XFB\r\n", 8), 0xFB);
}

// Characters that are no hex digit decode as 0: unless the check refuses them, a
// damaged frame with a fitting LRC passes with its values changed (found by the
// fuzz target master_reply: ";0116000000FFFF=0EB\r0" was taken as an echo).
TEST(AsciiFrame, OnlyAWholeFrameOfUpperCaseHexDigitsChecks) {
  const std::string good = ":0116000000FFFF00EB\r\n";
  ASSERT_TRUE(CheckAsciiLrc(good.data(), static_cast<std::uint16_t>(good.size())));
  for (const std::string& bad : {std::string(";0116000000FFFF00EB\r\n"), std::string(":0116000000FFFF=0EB\r\n"),
                                 std::string(":0116000000FFFF00EB\r0"), std::string(":0116000000FFFF00EB\n\r"),
                                 std::string(":0116000000FFFF00EBX\r\n"), std::string(":01 16000000FFFF00EB\r\n")})
    EXPECT_FALSE(CheckAsciiLrc(bad.data(), static_cast<std::uint16_t>(bad.size()))) << bad;
}
