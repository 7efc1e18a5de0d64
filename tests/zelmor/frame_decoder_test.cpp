// The frame decoder on good, cut short and bad-checksum frames in the three
// framings, requests and replies, and on pasted text.
#include "master/core/frame_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/framing.h"

namespace {

using framedecode::DecodeFrame;
using framedecode::Direction;
using framedecode::Framing;

std::vector<std::uint8_t> Rtu(std::vector<std::uint8_t> bytes) {
  bytes.resize(bytes.size() + 2);
  linklayer::AppendCrc(bytes.data(), static_cast<std::uint16_t>(bytes.size() - 2));
  return bytes;
}

std::string Joined(const framedecode::Decoded& d) {
  std::string text;
  for (const std::string& line : d.lines) text += line + "\n";
  return text;
}

bool Has(const framedecode::Decoded& d, const std::string& line) {
  return Joined(d).find(line) != std::string::npos;
}

TEST(FrameDecoder, RtuRequestAndReplyOfAReadFieldByField) {
  auto request = DecodeFrame(Rtu({0x11, 0x03, 0x00, 0x6B, 0x00, 0x03}), Framing::kAuto, Direction::kAuto);
  EXPECT_EQ(request.framing, Framing::kRtu);
  EXPECT_TRUE(request.fits && request.checkGood) << Joined(request);
  EXPECT_EQ(request.direction, Direction::kRequest);
  EXPECT_TRUE(Has(request, "Slave: 17\n"));
  EXPECT_TRUE(Has(request, "Function: 3 (Read Holding Registers)\n"));
  EXPECT_TRUE(Has(request, "Address: 107 (0x006B)\nQuantity: 3 (0x0003)\n"));
  EXPECT_TRUE(Has(request, "(right)"));

  auto reply = DecodeFrame(Rtu({0x11, 0x03, 0x04, 0x02, 0x2B, 0xFF, 0xFF}), Framing::kRtu, Direction::kAuto);
  EXPECT_EQ(reply.direction, Direction::kReply) << Joined(reply);
  EXPECT_TRUE(Has(reply, "Byte count: 4\nValue 1: 555 (0x022B)\nValue 2: 65535 (0xFFFF)\n"));
}

TEST(FrameDecoder, ExceptionsAndEchoesAreNamed) {
  auto exception = DecodeFrame(Rtu({0x01, 0x83, 0x02}), Framing::kAuto, Direction::kAuto);
  EXPECT_TRUE(exception.fits);
  EXPECT_TRUE(Has(exception, "Function: 3 (Read Holding Registers), exception reply\n"));
  EXPECT_TRUE(Has(exception, "Exception: 2 (Illigal Data Address)\n"));
  auto gateway = DecodeFrame(Rtu({0x01, 0x84, 0x0B}), Framing::kAuto, Direction::kReply);
  EXPECT_TRUE(Has(gateway, "Exception: 11 (Gateway Target Device Failed to Respond)\n"));
  auto echo = DecodeFrame(Rtu({0x01, 0x06, 0x00, 0x05, 0x12, 0x34}), Framing::kAuto, Direction::kAuto);
  EXPECT_TRUE(Has(echo, "Fits a request and a reply")) << Joined(echo);
  EXPECT_TRUE(Has(echo, "Value: 4660 (0x1234)\n"));
  auto coils = DecodeFrame(Rtu({0x01, 0x0F, 0x00, 0x13, 0x00, 0x0A, 0x02, 0xCD, 0x01}), Framing::kAuto,
                           Direction::kRequest);
  EXPECT_TRUE(coils.fits) << Joined(coils);
  EXPECT_TRUE(Has(coils, "Bits (first first): 1011001110000000\n"));
}

TEST(FrameDecoder, WrongChecksumsAndCutFramesAreSaidNotHidden) {
  auto frame = Rtu({0x01, 0x03, 0x00, 0x00, 0x00, 0x0A});
  frame.back() ^= 0xFF;
  auto badCrc = DecodeFrame(frame, Framing::kRtu, Direction::kRequest);
  EXPECT_FALSE(badCrc.checkGood);
  EXPECT_TRUE(Has(badCrc, "(wrong, should be ")) << Joined(badCrc);
  EXPECT_TRUE(badCrc.fits);  // the fields are still shown

  // A reply cut after two of its four value bytes.
  auto cut = Rtu({0x01, 0x03, 0x04, 0x00, 0x01});
  auto cutReply = DecodeFrame(cut, Framing::kRtu, Direction::kReply);
  EXPECT_FALSE(cutReply.fits);
  EXPECT_TRUE(Has(cutReply, "has 9 bytes (cut short)")) << Joined(cutReply);
  EXPECT_TRUE(Has(cutReply, "Does not fit a reply"));

  for (std::size_t n = 0; n < 4; ++n) {
    auto tiny = DecodeFrame(std::vector<std::uint8_t>(n, 0x01), Framing::kAuto, Direction::kAuto);
    EXPECT_FALSE(tiny.fits);
    EXPECT_TRUE(Has(tiny, "Cut short")) << n;
  }
  // Every prefix of a good frame decodes without running past its end.
  auto whole = Rtu({0x01, 0x17, 0x00, 0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0x01, 0x02, 0xAA, 0xBB});
  for (std::size_t n = 0; n <= whole.size(); ++n) {
    for (Framing f : {Framing::kRtu, Framing::kAscii, Framing::kTcp})
      DecodeFrame(std::vector<std::uint8_t>(whole.begin(), whole.begin() + static_cast<long>(n)), f, Direction::kAuto);
  }
}

TEST(FrameDecoder, AsciiAndTcpFrames) {
  std::vector<std::uint8_t> pdu{0x01, 0x03, 0x00, 0x00, 0x00, 0x02};
  char text[32];
  const auto length = linklayer::BuildAsciiFrame(pdu.data(), static_cast<std::uint16_t>(pdu.size()), text);
  std::vector<std::uint8_t> ascii(text, text + length);
  auto good = DecodeFrame(ascii, Framing::kAuto, Direction::kAuto);
  EXPECT_EQ(good.framing, Framing::kAscii);
  EXPECT_TRUE(good.checkGood && good.fits) << Joined(good);
  EXPECT_TRUE(Has(good, "Quantity: 2 (0x0002)"));
  ascii[length - 3] = ascii[length - 3] == '0' ? '1' : '0';  // spoil the LRC
  auto bad = DecodeFrame(ascii, Framing::kAuto, Direction::kAuto);
  EXPECT_FALSE(bad.checkGood);
  EXPECT_TRUE(Has(bad, "LRC: ")) << Joined(bad);
  EXPECT_TRUE(Has(bad, "wrong, should be"));

  std::vector<std::uint8_t> tcp(linklayer::kMbapHeaderSize);
  linklayer::PutMbapHeader(tcp.data(), 7, 5);
  for (std::uint8_t b : {0x09, 0x03, 0x02, 0x00, 0x2A}) tcp.push_back(b);
  auto reply = DecodeFrame(tcp, Framing::kAuto, Direction::kAuto);
  EXPECT_EQ(reply.framing, Framing::kTcp);
  EXPECT_TRUE(reply.fits);
  EXPECT_TRUE(Has(reply, "Transaction id: 7\n"));
  EXPECT_TRUE(Has(reply, "Unit id: 9\n"));
  EXPECT_TRUE(Has(reply, "Value 1: 42 (0x002A)\n"));
  tcp.pop_back();
  auto cut = DecodeFrame(tcp, Framing::kTcp, Direction::kAuto);
  EXPECT_FALSE(cut.fits);
  EXPECT_TRUE(Has(cut, "Length: 5 (cut short: 4 bytes follow)")) << Joined(cut);
}

TEST(FrameDecoder, PastedText) {
  std::vector<std::uint8_t> bytes;
  std::string error;
  ASSERT_TRUE(framedecode::ParseFrameInput(" 01 03,00.00 00 0a c5 cd ", &bytes, &error)) << error;
  EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD}));
  ASSERT_TRUE(framedecode::ParseFrameInput(":010300000002FA", &bytes, &error));
  EXPECT_EQ(bytes.front(), ':');
  EXPECT_EQ(bytes.back(), '\n');
  EXPECT_FALSE(framedecode::ParseFrameInput("01 0", &bytes, &error));
  EXPECT_FALSE(framedecode::ParseFrameInput("01 0x", &bytes, &error));
  EXPECT_FALSE(framedecode::ParseFrameInput("013", &bytes, &error));
  EXPECT_FALSE(framedecode::ParseFrameInput("  ", &bytes, &error));
}

}  // namespace
