// The test center's frame texts, checks, traffic lines and frame-list files.
#include "master/core/test_center.h"
#include "master/engine/comm_interface.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace zelmor;

namespace {

std::vector<std::uint8_t> Bytes(std::initializer_list<int> values) {
  std::vector<std::uint8_t> bytes;
  for (int v : values) bytes.push_back(static_cast<std::uint8_t>(v));
  return bytes;
}

}  // namespace

TEST(TestCenterFrames, TextToBytesAndErrorPositions) {
  struct Row {
    std::string text;
    bool ok;
    std::size_t position;
  };
  const Row rows[] = {
      {"01,03.00 00,00,01", true, 0},  // mixed separators
      {"01 03 ", true, 0},             // a trailing separator
      {"FF", true, 0},
      {"01  03", false, 3},  // the second space
      {"1 03", false, 1},    // the space where the second digit belongs
      {"G1 02", false, 0},
      {"01 0", false, 3},    // a single digit at the very end
      {"0103", false, 2},    // no separator after a token
      {"01;03", false, 2},
      {"01 0a", false, 4},   // lower case is not a hex digit here
      {"", false, 0},
      {std::string(600, '0'), false, 599},
  };
  for (const Row& row : rows) {
    FrameParse parse = ParseFrameText(row.text);
    EXPECT_EQ(parse.ok, row.ok) << row.text;
    if (!row.ok) {
      EXPECT_EQ(parse.errorPosition, row.position) << row.text;
    }
  }
  EXPECT_EQ(ParseFrameText("01,03.00 00,00,01").bytes, Bytes({1, 3, 0, 0, 0, 1}));
  EXPECT_EQ(ParseFrameText("A5 5A").bytes, Bytes({0xA5, 0x5A}));
  // 599 characters are the most: 200 tokens with 199 separators.
  std::string longest;
  for (int i = 0; i < 200; ++i) longest += i == 0 ? "7E" : " 7E";
  ASSERT_EQ(longest.size(), 599u);
  EXPECT_EQ(ParseFrameText(longest).bytes.size(), 200u);
}

TEST(TestCenterFrames, ChecksAndTrafficLines) {
  std::vector<std::uint8_t> rtu = Bytes({0x01, 0x03, 0x00, 0x00, 0x00, 0x01});
  AppendCheck(&rtu, kCheckCrc);
  EXPECT_EQ(rtu, Bytes({0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A}));
  EXPECT_EQ(TestCenterLine(0, true, rtu.data(), rtu.size()), "000-Tx:01 03 00 00 00 01 84 0A ");
  EXPECT_EQ(TestCenterLine(1234, false, rtu.data(), 2), "1234-Rx:01 03 ");

  // ":01030000000A" as bytes: F and 2, then CR LF.
  const std::string ascii = ":01030000000A";
  std::vector<std::uint8_t> frame(ascii.begin(), ascii.end());
  AppendCheck(&frame, kCheckLrc);
  EXPECT_EQ(std::string(frame.begin(), frame.end()), ":01030000000AF2\r\n");
  // An odd character left over after the pairs is not counted.
  const std::string odd = ":0103000000010";
  std::vector<std::uint8_t> oddFrame(odd.begin(), odd.end());
  AppendCheck(&oddFrame, kCheckLrc);
  EXPECT_EQ(std::string(oddFrame.begin(), oddFrame.end()), odd + "FB\r\n");
}

TEST(TestCenterFiles, ReadingAcceptsCrLfAndLfAndKeepsAHundredEntries) {
  std::vector<std::string> entries;
  ASSERT_TRUE(ParseTestCenterText("TestCenter\r\n01 03\r\n\r\n3A 30\r\n", &entries));
  EXPECT_EQ(entries, (std::vector<std::string>{"01 03", "", "3A 30"}));
  ASSERT_TRUE(ParseTestCenterText("TestCenter\n01 03\n02 04", &entries));  // edited on Linux, no final LF
  EXPECT_EQ(entries, (std::vector<std::string>{"01 03", "02 04"}));
  std::string many = "TestCenter\r\n";
  for (int i = 0; i < 150; ++i) many += std::to_string(i) + "\r\n";
  ASSERT_TRUE(ParseTestCenterText(many, &entries));
  ASSERT_EQ(entries.size(), 100u);
  EXPECT_EQ(entries.back(), "99");
  EXPECT_FALSE(ParseTestCenterText("", &entries));
  EXPECT_FALSE(ParseTestCenterText("TestCenter \r\n01\r\n", &entries));
  EXPECT_FALSE(ParseTestCenterText("testcenter\r\n", &entries));
}

TEST(TestCenterFiles, DevicesAreWrittenInPlaceNeverReplaced) {
  EXPECT_EQ(WriteTestCenterFile("/dev/null", {"01"}), ListFileResult::kOk);
  EXPECT_EQ(::access("/dev/null.saving~", F_OK), -1);
  EXPECT_EQ(WriteTestCenterFile("/dev/full", {"01"}), ListFileResult::kWriteError);
  std::vector<std::string> entries;
  EXPECT_EQ(ReadTestCenterFile("/tmp", &entries), ListFileResult::kOpenError);  // a directory
  EXPECT_EQ(WriteTestCenterFile("/tmp", {"01"}), ListFileResult::kOpenError);
}

// Add Check follows the link: the gateway behind RTU over TCP checks the CRC of
// what it passes on, so that is the check whatever was chosen; a Modbus/UDP
// datagram carries none.
TEST(TestCenterFrames, AddCheckFollowsTheNetworkTransport) {
  std::vector<std::uint8_t> frame{1, 3, 0, 0, 0, 1};
  const int overRtu = zelmor::CheckKindForLink(zelmor::kCheckLrc, masterengine::kLinkRtuOverTcp);
  ASSERT_EQ(overRtu, zelmor::kCheckCrc);
  zelmor::AppendCheck(&frame, overRtu);
  EXPECT_EQ(frame, (std::vector<std::uint8_t>{1, 3, 0, 0, 0, 1, 0x84, 0x0A}));
  EXPECT_EQ(zelmor::CheckKindForLink(zelmor::kCheckCrc, masterengine::kLinkUdp), -1);
  EXPECT_EQ(zelmor::CheckKindForLink(zelmor::kCheckLrc, masterengine::kLinkTcp), zelmor::kCheckLrc);
  EXPECT_EQ(zelmor::CheckKindForLink(zelmor::kCheckLrc, masterengine::kLinkAscii), zelmor::kCheckLrc);
}
