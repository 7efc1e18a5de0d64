// The terminal's send rules (hexadecimal text, Modbus request frames), its
// receive-view texts, the port's definition text and its error box text.
// Frame vectors were taken from pymodbus' CRC routine.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "platform/serial_device.h"
#include "terminal/event_serial_port.h"
#include "terminal/send_data.h"

namespace kestrin {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(HexText, ParsesTokensAsTheTerminalDefines) {
  EXPECT_EQ(ParseHexText(" 01 3 ff  1a2"), (Bytes{0x01, 0x03, 0xFF, 0x1A}));
  // G is 16: the 4-bit shift pushes it out of the byte.
  EXPECT_EQ(ParseHexText("g1"), (Bytes{0x01}));
  EXPECT_EQ(ParseHexText("A"), (Bytes{0x0A}));
  EXPECT_EQ(ParseHexText("   \t 7e   00 fF"), (Bytes{0x7E, 0x00, 0xFF}));
  // A one-character token keeps its whole value, even past 15.
  EXPECT_EQ(ParseHexText("G"), (Bytes{0x10}));
}

TEST(HexText, EmptyAndBlankInputsGiveNoBytes) {
  EXPECT_TRUE(ParseHexText("").empty());
  EXPECT_TRUE(ParseHexText("    ").empty());
  EXPECT_TRUE(ParseHexText("\t\n").empty());
}

TEST(HexText, TrailingSpacesDoNotAddBytes) {
  EXPECT_EQ(ParseHexText("01 02   "), (Bytes{0x01, 0x02}));
}

TEST(HexText, LongInputGivesEveryTokenSoTheCallerCanRefuseIt) {
  std::string text;
  for (int index = 0; index < 600; ++index) text += "5a ";
  const Bytes bytes = ParseHexText(text);
  EXPECT_EQ(bytes.size(), 600u);
  EXPECT_GT(static_cast<int>(bytes.size()), kSendBufferBytes);
}

struct FrameCase {
  ModbusRequestFields fields;
  std::array<std::uint8_t, 8> expected;
};

class RequestFrame : public ::testing::TestWithParam<FrameCase> {};

TEST_P(RequestFrame, BuildsTheRequestWithItsCrc) {
  std::array<std::uint8_t, 8> frame{};
  ASSERT_EQ(BuildRequestFrame(GetParam().fields, &frame), FrameResult::Ok);
  EXPECT_EQ(frame, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, RequestFrame,
    ::testing::Values(
        // Defaults: station 1, function 3, address 0, quantity 1.
        FrameCase{{1, 3, 0, 1}, {0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A}},
        // Quantity 0 goes out as 1.
        FrameCase{{1, 3, 0, 0}, {0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A}},
        FrameCase{{1, 1, 0, 0}, {0x01, 0x01, 0x00, 0x00, 0x00, 0x01, 0xFD, 0xCA}},
        // Function 5: 0 switches off, any non-zero value on.
        FrameCase{{1, 5, 0, 0}, {0x01, 0x05, 0x00, 0x00, 0x00, 0x00, 0xCD, 0xCA}},
        FrameCase{{1, 5, 0, 1}, {0x01, 0x05, 0x00, 0x00, 0xFF, 0x00, 0x8C, 0x3A}},
        FrameCase{{1, 5, 100, 1234}, {0x01, 0x05, 0x00, 0x64, 0xFF, 0x00, 0xCD, 0xE5}},
        FrameCase{{1, 6, 1, 3}, {0x01, 0x06, 0x00, 0x01, 0x00, 0x03, 0x98, 0x0B}},
        // Station 256 is sent as 0.
        FrameCase{{256, 3, 10, 1}, {0x00, 0x03, 0x00, 0x0A, 0x00, 0x01, 0xA5, 0xD9}}));

TEST(RequestFrameRefusal, RefusesStationAbove256AndUnknownFunctions) {
  std::array<std::uint8_t, 8> frame{};
  frame.fill(0xEE);
  EXPECT_EQ(BuildRequestFrame({257, 3, 0, 1}, &frame), FrameResult::StationTooLarge);
  EXPECT_EQ(BuildRequestFrame({1, 7, 0, 1}, &frame), FrameResult::BadFunction);
  EXPECT_EQ(BuildRequestFrame({1, 0, 0, 1}, &frame), FrameResult::BadFunction);
  // The station check comes first.
  EXPECT_EQ(BuildRequestFrame({300, 9, 0, 1}, &frame), FrameResult::StationTooLarge);
  EXPECT_EQ(BuildRequestFrame({1, 3, 65536, 1}, &frame), FrameResult::FieldTooLarge);
  EXPECT_EQ(BuildRequestFrame({1, 6, 0, 65536}, &frame), FrameResult::FieldTooLarge);
  for (std::uint8_t byte : frame) EXPECT_EQ(byte, 0xEE) << "a refused frame must not touch the output";
  EXPECT_EQ(BuildRequestFrame({1, 6, 65535, 65535}, &frame), FrameResult::Ok);
}

TEST(Texts, FrameAndReceivedBytes) {
  const std::uint8_t frame[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A};
  EXPECT_EQ(FormatFrameText(frame, 8), "0x01 0x03 0x00 0x00 0x00 0x01 0x84 0x0A ");
  EXPECT_EQ(FormatReceivedByte(0x01), "   1");
  EXPECT_EQ(FormatReceivedByte(0xAB), "  ab");
  EXPECT_EQ(FormatElapsed(0), "[   0]");
  EXPECT_EQ(FormatElapsed(15), "[  15]");
  EXPECT_EQ(FormatElapsed(123456), "[123456]");
}

TEST(Texts, RemovingTimingGroupsKeepsTheRest) {
  EXPECT_EQ(RemoveTimingGroups("   1[   0]   3[  15]"), "   1   3");
  EXPECT_EQ(RemoveTimingGroups("  ff\n   1[   7]"), "  ff\n   1");
  EXPECT_EQ(RemoveTimingGroups("no groups"), "no groups");
  EXPECT_EQ(RemoveTimingGroups("   1[  12"), "   1[  12");
  EXPECT_EQ(RemoveTimingGroups(""), "");
}

TEST(DefinitionText, AppliesEveryField) {
  platform::SerialLineSettings settings;
  ASSERT_TRUE(ApplyDefinitionText("baud=19200 parity=E data=7 stop=2", &settings));
  EXPECT_EQ(settings.baudRate, 19200u);
  EXPECT_EQ(settings.parity, platform::Parity::Even);
  EXPECT_EQ(settings.dataBits, 7);
  EXPECT_EQ(settings.stopBits, platform::StopBits::Two);
  ASSERT_TRUE(ApplyDefinitionText("baud=300 parity=s data=8 stop=1.5", &settings));
  EXPECT_EQ(settings.parity, platform::Parity::Space);
  EXPECT_EQ(settings.stopBits, platform::StopBits::OneAndHalf);
}

TEST(DefinitionText, BadTextsLeaveSettingsUnchanged) {
  platform::SerialLineSettings settings;
  for (const char* bad : {"baud=0 parity=N data=8 stop=1", "baud=9600 parity=X data=8 stop=1",
                          "baud=9600 parity=N data=9 stop=1", "baud=9600 parity=N data=8 stop=3",
                          "baud=96x0 parity=N data=8 stop=1", "speed=9600", "", "baud="}) {
    platform::SerialLineSettings copy = settings;
    copy.baudRate = 4800;
    EXPECT_FALSE(ApplyDefinitionText(bad, &copy)) << bad;
    EXPECT_EQ(copy.baudRate, 4800u) << bad;
  }
}

TEST(ErrorBox, FormatsOperationTextAndPort) {
  EXPECT_EQ(FormatPortError("WriteFile()", "Input/output error", 3),
            "WARNING:  WriteFile() Failed with the following error: \nInput/output error\nPort: 3\n");
}

}  // namespace
}  // namespace kestrin

TEST(SendData, SentLinesAreMarkedAndBrokenLikeReceivedOnes) {
  const std::uint8_t bytes[] = {0x01, 0x0A, 0xFF, 0x10, 0x00};
  EXPECT_EQ(kestrin::FormatSentLines(bytes, 5, "TX:", 2), "TX:   1   a\nTX:  ff  10\nTX:   0");
  EXPECT_EQ(kestrin::FormatSentLines(bytes, 2, "TX:", 2), "TX:   1   a");
}
