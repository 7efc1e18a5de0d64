// zelmor's master engine against headless vantor with injected faults: each
// fault shows at the master as what it stands for, the seed decides exactly
// which requests are hit, and a delayed connection does not slow the others.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "master/engine/comm_interface.h"
#include "master/engine/transactions.h"
#include "platform/port_map.h"
#include "slave/engine/faults.h"
#include "socket_client.h"
#include "vantor_child.h"

using namespace masterengine;
using slavetest::NullModem;
using slavetest::VantorChild;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::uint32_t kTcpTimeoutMs = 200;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

class TcpFaults : public ::testing::Test {
 protected:
  void start(std::vector<std::string> args) {
    InitEngine();
    args.insert(args.end(), {"--tcp", "127.0.0.1:0"});
    vantor_ = std::make_unique<VantorChild>(VANTOR_EXECUTABLE, args);
    ASSERT_TRUE(vantor_->ok()) << vantor_->readyLine();
    ready_ = Clock::now();
    ASSERT_EQ(NetConnect(kLinkTcp, "127.0.0.1", vantor_->tcpPort(), kTcpTimeoutMs), RESULT_OK);
    SetExchangeLinkMode(kLinkTcp);
  }
  void TearDown() override {
    TcpDisconnect();
    if (vantor_) {
      EXPECT_EQ(vantor_->stop(), 0);
    }
  }
  std::unique_ptr<VantorChild> vantor_;
  Clock::time_point ready_;
};

TEST_F(TcpFaults, DropLosesExactlyTheSeededRequestsOfThatSlaveOnly) {
  start({"--slave", "1:3:0:10", "--slave", "2:3:0:10", "--drop", "2=25", "--seed", "42"});
  // Slave 2 is the second definition, slot 1; dropping is its only draw.
  slavefaults::Prng expected = slavefaults::SlotPrng(42, 1);
  std::uint16_t values[10];
  int dropped = 0;
  for (int i = 0; i < 60; ++i) {
    const bool drop = expected.next() % 100 < 25;
    dropped += drop;
    EXPECT_EQ(ReadRegisters(2, 3, 0, 2, values), drop ? RESULT_TIMEOUT : RESULT_OK) << "request " << i;
  }
  EXPECT_GT(dropped, 5);
  EXPECT_LT(dropped, 30);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(ReadRegisters(1, 3, 0, 2, values), RESULT_OK);
}

TEST_F(TcpFaults, CorruptionSpoilsTransactionIdOrLengthAsSeeded) {
  start({"--slave", "1:3:0:10", "--corrupt", "50", "--seed", "9"});
  slavefaults::Prng expected = slavefaults::SlotPrng(9, 0);
  std::uint16_t values[10];
  int wrongId = 0, wrongLength = 0;
  for (int i = 0; i < 30; ++i) {
    const std::uint64_t x = expected.next();
    const bool corrupt = x % 100 < 50;
    const bool transactionId = (x >> 32) & 1;
    const auto begin = Clock::now();
    const std::uint16_t result = ReadRegisters(1, 3, 0, 2, values);
    const double ms = MsSince(begin);
    if (!corrupt) {
      EXPECT_EQ(result, RESULT_OK) << i;
      EXPECT_LT(ms, kTcpTimeoutMs * 0.9) << i;
    } else if (transactionId) {
      // A reply to some other request: skipped, and nothing else comes.
      ++wrongId;
      EXPECT_EQ(result, RESULT_TIMEOUT) << i;
    } else {
      // The length field promises one byte more than comes: the master waits
      // for it until its time-out.
      ++wrongLength;
      EXPECT_GE(ms, kTcpTimeoutMs * 0.9) << i;
    }
  }
  EXPECT_GT(wrongId, 0);
  EXPECT_GT(wrongLength, 0);
}

TEST_F(TcpFaults, FixedExceptionsForARangeAndBusyBursts) {
  start({"--slave", "1:3:0:100", "--slave", "2:3:0:10", "--exception", "1=2@10-19", "--busy", "2=2:6",
         "--exception", "2=4"});
  std::uint16_t values[20] = {};
  EXPECT_EQ(ReadRegisters(1, 3, 0, 10, values), RESULT_OK);
  EXPECT_EQ(ReadRegisters(1, 3, 9, 2, values), RESULT_EXCEPTION_BASE + 2);
  EXPECT_EQ(ReadRegisters(1, 3, 19, 1, values), RESULT_EXCEPTION_BASE + 2);
  EXPECT_EQ(WriteSingleRegister(1, 15, 7), RESULT_EXCEPTION_BASE + 2);
  EXPECT_EQ(ReadRegisters(1, 3, 20, 5, values), RESULT_OK);
  // A refused request changes nothing: its write half outside the range is not done.
  values[0] = 0x7777;
  EXPECT_EQ(ReadWriteRegisters(1, 10, 1, 30, 1, values), RESULT_EXCEPTION_BASE + 2);
  ASSERT_EQ(ReadRegisters(1, 3, 30, 1, values), RESULT_OK);
  EXPECT_EQ(values[0], 0);

  // Slave 2 is busy for the first 2 s of every 6 s (counted from its start), and
  // otherwise answers its fixed exception.
  ASSERT_LT(MsSince(ready_), 1500) << "the machine is too slow for the busy window";
  EXPECT_EQ(ReadRegisters(2, 3, 0, 1, values), RESULT_EXCEPTION_BASE + 6);
  std::this_thread::sleep_until(ready_ + std::chrono::milliseconds(2500));
  EXPECT_EQ(ReadRegisters(2, 3, 0, 1, values), RESULT_EXCEPTION_BASE + 4);
}

TEST_F(TcpFaults, DelayedConnectionDoesNotHoldTheOthers) {
  start({"--slave", "1:3:0:10", "--slave", "2:3:0:10", "--delay", "1=50"});
  slavetest::Client other(vantor_->tcpPort());
  ASSERT_TRUE(other.connected());

  // The master reads the delayed slave 1 over and over while another
  // connection reads slave 2 as fast as it can.
  std::atomic<bool> done{false};
  std::atomic<int> delayedCount{0};
  std::vector<double> delayed;
  std::thread master([&] {
    std::uint16_t values[2];
    while (!done) {
      const auto begin = Clock::now();
      if (ReadRegisters(1, 3, 0, 2, values) != RESULT_OK) break;
      delayed.push_back(MsSince(begin));
      ++delayedCount;
    }
  });
  std::vector<double> fast;
  const auto deadline = Clock::now() + std::chrono::seconds(3);
  for (std::uint16_t i = 0; delayedCount < 8 && Clock::now() < deadline; ++i) {
    const auto begin = Clock::now();
    ASSERT_TRUE(other.send(slavetest::ReadHoldingRequest(i, 2, 0, 2)));
    const std::vector<std::uint8_t> reply = other.receive(13, 1000);
    ASSERT_EQ(reply.size(), 13u) << i;
    EXPECT_EQ(reply[1], static_cast<std::uint8_t>(i));
    fast.push_back(MsSince(begin));
  }
  done = true;
  master.join();

  ASSERT_GE(delayed.size(), 8u);
  for (double ms : delayed) {
    EXPECT_GE(ms, 49.0);
    EXPECT_LT(ms, 120.0);
  }
  std::sort(fast.begin(), fast.end());
  // Were the delay served by sleeping, most of these would wait up to 50 ms.
  EXPECT_LT(fast[fast.size() / 2], 5.0);
  EXPECT_LT(fast[fast.size() * 95 / 100], 25.0);
}

// Serial framings: a corrupted reply fails the master's CRC or LRC check, and
// delays fall in their range.
class SerialFaults : public ::testing::TestWithParam<bool> {};

TEST_P(SerialFaults, CorruptedChecksumsAndDelayRangeAsSeeded) {
  const bool rtu = GetParam();
  InitEngine();
  NullModem modem;
  ASSERT_TRUE(modem.ok());
  std::vector<std::string> args = {"--slave", "1:3:0:10", "--serial",  modem.pathA(), "--baud", "19200",
                                   "--corrupt", "30", "--delay", "20:40", "--seed", "5"};
  if (!rtu) args.push_back("--ascii");
  VantorChild vantor(VANTOR_EXECUTABLE, args);
  ASSERT_TRUE(vantor.ok()) << vantor.readyLine();
  platform::SetSerialPortPath(1, modem.pathB());
  ASSERT_TRUE(OpenSerialPort(1, 19200, 8, 0, 0));
  ASSERT_TRUE(SetSerialTimeouts(rtu ? 60 : 1000, 1, 2000, 1, 200));
  SetExchangeLinkMode(rtu ? kLinkRtu : kLinkAscii);

  slavefaults::Prng expected = slavefaults::SlotPrng(5, 0);
  std::uint16_t values[10];
  int corrupted = 0;
  for (int i = 0; i < 30; ++i) {
    const bool corrupt = expected.next() % 100 < 30;
    const double delay = 20 + static_cast<double>(expected.next() % 21);
    corrupted += corrupt;
    const auto begin = Clock::now();
    EXPECT_EQ(ReadRegisters(1, 3, 0, 2, values), corrupt ? RESULT_CRC : RESULT_OK) << "request " << i;
    const double ms = MsSince(begin);
    EXPECT_GE(ms, delay) << i;
    EXPECT_LT(ms, delay + 150) << i;
  }
  EXPECT_GT(corrupted, 2);
  CloseSerialPort();
  platform::SetSerialPortPath(1, "");
  EXPECT_EQ(vantor.stop(), 0);
}

INSTANTIATE_TEST_SUITE_P(RtuAndAscii, SerialFaults, ::testing::Values(true, false),
                         [](const auto& info) { return std::string(info.param ? "Rtu" : "Ascii"); });

}  // namespace
