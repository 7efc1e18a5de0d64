// RTU and ASCII exchanges over a pseudo-terminal pair, the slave played by the test.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>

#include "link/serial_link.h"
#include "master/engine/comm_interface.h"
#include "master/engine/transactions.h"
#include "tests/master_engine/frame_records.h"
#include "tests/master_engine/pty_peer.h"

using namespace masterengine;
using testpeer::Answer;
using testpeer::AsciiFrame;
using testpeer::Bytes;
using testpeer::LastReceivedFrame;
using testpeer::LastSentFrame;
using testpeer::PtyPeer;
using testpeer::SerialFraming;
using testpeer::WithCrc;

namespace {

Bytes AsBytes(const char* text) { return Bytes(text, text + std::strlen(text)); }

class SerialExchangeTest : public ::testing::TestWithParam<SerialFraming> {
 protected:
  void SetUp() override { Open(GetParam()); }
  void TearDown() override {
    linklayer::CloseSerialPort();
    SetExchangeEcho(false);
  }

  void Open(SerialFraming framing) {
    framing_ = framing;
    peer_ = std::make_unique<PtyPeer>(framing, [](const Bytes&) { return Answer{}; });
    SetExchangeLinkMode(framing == SerialFraming::Rtu ? kLinkRtu : kLinkAscii);
    ASSERT_TRUE(linklayer::OpenSerialPort(1, 19200, 8, 0, 0)) << peer_->devicePath();
    // Inter-character gap, ms per byte, total constant (as the connect command sets them, shorter).
    ASSERT_TRUE(linklayer::SetSerialTimeouts(framing == SerialFraming::Rtu ? 60 : 150, 1, 400, 1, 200));
  }

  Bytes Framed(const Bytes& raw) const { return framing_ == SerialFraming::Rtu ? WithCrc(raw) : AsciiFrame(raw); }

  // The peer answers every request with this raw reply, framed.
  void AnswerWith(const Bytes& raw) {
    const Bytes framed = Framed(raw);
    peer_->setHandler([framed](const Bytes&) { return Answer{{framed}}; });
  }
  void AnswerWithWire(const Bytes& wire) {
    peer_->setHandler([wire](const Bytes&) { return Answer{{wire}}; });
  }

  SerialFraming framing_ = SerialFraming::Rtu;
  std::unique_ptr<PtyPeer> peer_;
};

struct FrameCase {
  const char* name;
  Bytes request;  // slave address first, no checksum
  Bytes reply;
  std::function<std::uint16_t()> call;
  std::function<void()> checkValues;
};

}  // namespace

TEST_P(SerialExchangeTest, EveryRequestTypeIsFramedAndItsReplyDecoded) {
  static std::uint8_t bits[16];
  static std::uint16_t words[16];
  static const std::uint8_t coils[10] = {1, 0, 1, 1, 0, 0, 1, 1, 1, 0};
  static const std::uint16_t registers[2] = {0x000A, 0x0102};

  const FrameCase cases[] = {
      {"read coils", {1, 1, 0, 0, 0, 0x0A}, {1, 1, 2, 0x05, 0x02}, [] { return ReadBits(1, 1, 0, 10, bits); },
       [] { EXPECT_EQ(Bytes(bits, bits + 10), (Bytes{1, 0, 1, 0, 0, 0, 0, 0, 0, 1})); }},
      {"read inputs", {1, 2, 0, 0xC4, 0, 8}, {1, 2, 1, 0x80}, [] { return ReadBits(1, 2, 0xC4, 8, bits); },
       [] { EXPECT_EQ(Bytes(bits, bits + 8), (Bytes{0, 0, 0, 0, 0, 0, 0, 1})); }},
      {"read holding", {1, 3, 0, 0x6B, 0, 3}, {1, 3, 6, 0x02, 0x2B, 0, 0, 0, 0x64},
       [] { return ReadRegisters(1, 3, 0x6B, 3, words); },
       [] {
         EXPECT_EQ(words[0], 0x022B);
         EXPECT_EQ(words[2], 0x0064);
       }},
      {"read input registers", {0x11, 4, 0, 8, 0, 1}, {0x11, 4, 2, 0, 0x0A},
       [] { return ReadRegisters(0x11, 4, 8, 1, words); }, [] { EXPECT_EQ(words[0], 0x000A); }},
      {"write coil on", {1, 5, 0, 0xAC, 0xFF, 0}, {1, 5, 0, 0xAC, 0xFF, 0}, [] { return WriteSingleCoil(1, 0xAC, 7); },
       [] {}},
      {"write coil off", {1, 5, 0, 0xAC, 0, 0}, {1, 5, 0, 0xAC, 0, 0}, [] { return WriteSingleCoil(1, 0xAC, 0); },
       [] {}},
      {"write register", {1, 6, 0, 1, 0, 3}, {1, 6, 0, 1, 0, 3}, [] { return WriteSingleRegister(1, 1, 3); }, [] {}},
      {"write coils", {1, 0x0F, 0, 0x13, 0, 0x0A, 2, 0xCD, 0x01}, {1, 0x0F, 0, 0x13, 0, 0x0A},
       [] { return WriteMultipleCoils(1, 0x13, 10, coils); }, [] {}},
      {"write registers", {1, 0x10, 0, 1, 0, 2, 4, 0, 0x0A, 1, 2}, {1, 0x10, 0, 1, 0, 2},
       [] { return WriteMultipleRegisters(1, 1, 2, registers); }, [] {}},
      {"mask write", {1, 0x16, 0, 4, 0, 0xF2, 0, 0x25}, {1, 0x16, 0, 4, 0, 0xF2, 0, 0x25},
       [] { return MaskWriteRegister(1, 4, 0xF2, 0x25); }, [] {}},
      {"read/write registers",
       {1, 0x17, 0, 3, 0, 6, 0, 0x0E, 0, 3, 6, 0, 0xFF, 0, 0xFF, 0, 0xFF},
       {1, 0x17, 12, 0, 0xFE, 0x0A, 0xCD, 0, 1, 0, 3, 0, 0x0D, 0, 0xFF},
       [] {
         words[0] = words[1] = words[2] = 0x00FF;
         return ReadWriteRegisters(1, 3, 6, 0x0E, 3, words);
       },
       [] {
         EXPECT_EQ(words[0], 0x00FE);
         EXPECT_EQ(words[1], 0x0ACD);
         EXPECT_EQ(words[5], 0x00FF);
       }},
  };
  for (const FrameCase& c : cases) {
    SCOPED_TRACE(c.name);
    AnswerWith(c.reply);
    ASSERT_EQ(c.call(), RESULT_OK);
    ASSERT_FALSE(peer_->requests().empty());
    EXPECT_EQ(peer_->requests().back(), Framed(c.request));
    EXPECT_EQ(LastSentFrame(), Framed(c.request));
    EXPECT_EQ(LastReceivedFrame(), Framed(c.reply));
    c.checkValues();
  }
}

TEST_P(SerialExchangeTest, RequestsMatchTheKnownWireForms) {
  std::uint16_t words[10];
  AnswerWith({1, 3, 20, 0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7, 0, 8, 0, 9, 0, 10});
  ASSERT_EQ(ReadRegisters(1, 3, 0, 10, words), RESULT_OK);
  EXPECT_EQ(words[9], 10);
  if (GetParam() == SerialFraming::Rtu) {
    EXPECT_EQ(peer_->requests().back(), (Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD}));
  } else {
    EXPECT_EQ(peer_->requests().back(), AsBytes(":01030000000AF2\r\n"));
  }
}

TEST_P(SerialExchangeTest, ExceptionsWrongRepliesShortRepliesAndSilence) {
  std::uint16_t words[4] = {0xAAAA};
  AnswerWith({1, 0x83, 2});
  EXPECT_EQ(ReadRegisters(1, 3, 0, 2, words), 130);

  AnswerWith({2, 3, 4, 0, 1, 0, 2});  // complete, another slave
  EXPECT_EQ(ReadRegisters(1, 3, 0, 2, words), RESULT_RESPONSE);
  AnswerWith({1, 4, 4, 0, 1, 0, 2});  // complete, another function
  EXPECT_EQ(ReadRegisters(1, 3, 0, 2, words), RESULT_RESPONSE);
  EXPECT_EQ(words[0], 0xAAAA);

  AnswerWith({1, 6, 0, 1, 0, 4});  // the write reply does not repeat the request
  EXPECT_EQ(WriteSingleRegister(1, 1, 3), RESULT_RESPONSE);

  const Bytes whole = Framed({1, 3, 4, 0, 1, 0, 2});
  AnswerWithWire(Bytes(whole.begin(), whole.end() - 3));  // ends early
  EXPECT_EQ(ReadRegisters(1, 3, 0, 2, words), RESULT_BYTES_MISSING);

  AnswerWithWire({});
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ReadRegisters(1, 3, 0, 2, words), RESULT_TIMEOUT);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(350));
  EXPECT_LT(waited, std::chrono::milliseconds(3000));
  EXPECT_EQ(LastReceivedFrame().size(), 0u);
}

// A reply ends as soon as it is whole: an exception reply is shorter than the
// reply the request expects, yet waits neither for the inter-character time-out
// nor for the total time-out.
TEST_P(SerialExchangeTest, ShortRepliesEndWithoutWaitingForTheTimeouts) {
  ASSERT_TRUE(linklayer::SetSerialTimeouts(3000, 1, 5000, 1, 200));
  std::uint16_t words[10] = {};
  AnswerWith({1, 0x83, 2});
  const auto start = std::chrono::steady_clock::now();
  int exceptions = 0;
  for (int i = 0; i < 4; ++i) exceptions += ReadRegisters(1, 3, 0, 10, words) == RESULT_EXCEPTION_BASE + 2;
  AnswerWith({1, 3, 2, 0x12, 0x34});  // fewer registers than asked for
  const std::uint16_t shortReply = ReadRegisters(1, 3, 0, 10, words);
  EXPECT_EQ(exceptions, 4);
  EXPECT_EQ(shortReply, RESULT_BYTES_MISSING);
  EXPECT_EQ(LastReceivedFrame(), Framed({1, 3, 2, 0x12, 0x34}));
  // One inter-character time-out alone would take 3 s.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500));
}

TEST_P(SerialExchangeTest, BroadcastWritesReturnAtOnceWithoutAReply) {
  AnswerWith({0, 6, 0, 1, 0, 3});  // nobody should be listening for this
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(WriteSingleRegister(0, 1, 3), RESULT_OK);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
  EXPECT_EQ(LastSentFrame(), Framed({0, 6, 0, 1, 0, 3}));
  EXPECT_EQ(LastReceivedFrame().size(), 0u);
}

// A broadcast gets no reply, so the exchange itself waits until the frame has
// left and the line has been silent for a frame gap: the next request must not
// run into it.
TEST_P(SerialExchangeTest, BroadcastReturnsOnlyAfterItsFrameHasLeft) {
  linklayer::CloseSerialPort();
  ASSERT_TRUE(linklayer::OpenSerialPort(1, 1200, 8, 0, 0));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(WriteSingleRegister(0, 1, 3), RESULT_OK);
  const auto waited = std::chrono::steady_clock::now() - start;
  // RTU: 8 + 3.5 characters of 10 bits at 1200 baud; ASCII: 17 + 3.5.
  EXPECT_GE(waited, std::chrono::milliseconds(framing_ == SerialFraming::Rtu ? 95 : 170));
  EXPECT_LT(waited, std::chrono::milliseconds(1000));
}

TEST_P(SerialExchangeTest, EchoOfTheRequestIsDroppedBeforeTheReply) {
  SetExchangeEcho(true);
  const Bytes reply = Framed({1, 3, 2, 0x12, 0x34});
  peer_->setHandler([reply](const Bytes& request) { return Answer{{request, reply}, 5}; });
  std::uint16_t words[1] = {};
  ASSERT_EQ(ReadRegisters(1, 3, 0, 1, words), RESULT_OK);
  EXPECT_EQ(words[0], 0x1234);
  EXPECT_EQ(LastReceivedFrame(), reply);
}

TEST_P(SerialExchangeTest, RawFramesGoOutUnchangedAndSilenceIsNoError) {
  const Bytes raw{0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A};
  const Bytes reply{0x01, 0x03, 0x02, 0x00, 0x05, 0x78, 0x47};
  AnswerWithWire(reply);
  ASSERT_EQ(ExchangeRaw(raw.data(), static_cast<std::uint16_t>(raw.size())), RESULT_OK);
  EXPECT_EQ(peer_->requests().back(), raw) << "no checksum is added";
  EXPECT_EQ(LastSentFrame(), raw);
  EXPECT_EQ(LastReceivedFrame(), reply);

  AnswerWithWire({});
  EXPECT_EQ(ExchangeRaw(raw.data(), static_cast<std::uint16_t>(raw.size())), RESULT_OK);
  EXPECT_EQ(LastReceivedFrame().size(), 0u);
}

TEST_P(SerialExchangeTest, ClosedPortIsNoConnectionAndRecordsNothing) {
  linklayer::CloseSerialPort();
  std::uint16_t words[1];
  EXPECT_EQ(ReadRegisters(1, 3, 0, 1, words), RESULT_NO_CONNECTION);
  EXPECT_EQ(LastSentFrame().size(), 0u);
  const std::uint8_t raw[2] = {1, 2};
  EXPECT_EQ(ExchangeRaw(raw, 2), RESULT_NO_CONNECTION);
}

INSTANTIATE_TEST_SUITE_P(Framings, SerialExchangeTest, ::testing::Values(SerialFraming::Rtu, SerialFraming::Ascii),
                         [](const auto& info) { return info.param == SerialFraming::Rtu ? "Rtu" : "Ascii"; });

// Checks that depend on the framing's own checksum and layout.
class RtuChecksTest : public SerialExchangeTest {
 protected:
  void SetUp() override { Open(SerialFraming::Rtu); }
};

TEST_F(RtuChecksTest, CrcErrorsAndShortExceptionReplies) {
  std::uint16_t words[2];
  Bytes bad = WithCrc({1, 0x83, 2});
  bad.back() ^= 0x55;
  AnswerWithWire(bad);
  EXPECT_EQ(ReadRegisters(1, 3, 0, 2, words), RESULT_CRC);

  bad = WithCrc({1, 3, 4, 0, 1, 0, 2});
  bad[4] ^= 0x01;
  AnswerWithWire(bad);
  EXPECT_EQ(ReadRegisters(1, 3, 0, 2, words), RESULT_CRC);

  // An exception reply cut short is not checked beyond the bytes that came.
  AnswerWithWire({1, 0x83});
  EXPECT_EQ(ReadRegisters(1, 3, 0, 2, words), RESULT_BYTES_MISSING);
  AnswerWithWire({1, 0x83, 2, 0xC0});
  EXPECT_EQ(ReadRegisters(1, 3, 0, 2, words), RESULT_BYTES_MISSING);
}

class AsciiChecksTest : public SerialExchangeTest {
 protected:
  void SetUp() override { Open(SerialFraming::Ascii); }
};

TEST_F(AsciiChecksTest, LrcErrorsLowerCaseAndShortReplies) {
  std::uint16_t words[2];
  AnswerWithWire(AsBytes(":0183027A\r\n"));
  EXPECT_EQ(ReadRegisters(1, 3, 0, 2, words), 130);
  AnswerWithWire(AsBytes(":01830200\r\n"));  // exception replies are taken without an LRC check
  EXPECT_EQ(ReadRegisters(1, 3, 0, 2, words), 130);

  Bytes bad = AsciiFrame({1, 3, 4, 0, 1, 0, 2});
  bad[bad.size() - 3] = bad[bad.size() - 3] == '0' ? '1' : '0';
  AnswerWithWire(bad);
  EXPECT_EQ(ReadRegisters(1, 3, 0, 2, words), RESULT_CRC);

  AnswerWithWire(AsBytes(":010304000a000be3\r\n"));  // lower-case hex is not understood
  EXPECT_EQ(ReadRegisters(1, 3, 0, 2, words), RESULT_CRC);

  // Replies too short to carry a function code or an exception code.
  AnswerWithWire(AsBytes(":01"));
  EXPECT_EQ(ReadRegisters(1, 3, 0, 2, words), RESULT_BYTES_MISSING);
  AnswerWithWire(AsBytes(":0183"));
  EXPECT_EQ(ReadRegisters(1, 3, 0, 2, words), RESULT_BYTES_MISSING);
}

// A reply that is no whole ASCII frame, or carries a character that is no hex
// digit, is an LRC error even when its LRC fits: it used to be taken as good,
// the stray character read as 0 (found by the fuzz target master_reply).
TEST_F(AsciiChecksTest, RepliesThatAreNoWholeFrameAreRefused) {
  AnswerWithWire(AsBytes(";0116000000FFFF=0EB\r0"));
  EXPECT_EQ(MaskWriteRegister(1, 0, 0x00FF, 0xFF00), RESULT_CRC);
  std::uint16_t words[2] = {7, 7};
  Bytes noDigit = AsciiFrame({1, 3, 4, 0, 1, 0, 2});
  noDigit[7] = 'G';  // the first '0' of the data: the LRC still fits when G counts as 0
  AnswerWithWire(noDigit);
  EXPECT_EQ(ReadRegisters(1, 3, 0, 2, words), RESULT_CRC);
  Bytes noColon = AsciiFrame({1, 3, 4, 0, 1, 0, 2});
  noColon[0] = ';';
  AnswerWithWire(noColon);
  EXPECT_EQ(ReadRegisters(1, 3, 0, 2, words), RESULT_CRC);
  AnswerWithWire(AsciiFrame({1, 3, 4, 0, 1, 0, 2}));
  EXPECT_EQ(ReadRegisters(1, 3, 0, 2, words), RESULT_OK);
  EXPECT_EQ(words[1], 2);
}
