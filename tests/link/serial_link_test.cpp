// The serial link over pseudo-terminals (open, close, exclusivity, time-outs,
// purge, transfers) and over the fake port (RTS handling, RS-485 mode, line
// options, error clearing). The link is module state: every test sets the
// options and time-outs it relies on and closes the port at the end.
#include "link/serial_link.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "../platform/pty_pair.h"
#include "platform/port_map.h"
#include "platform/testing/fake_serial_device.h"

using namespace linklayer;
using platform::testing::FakeSerialEvent;
using platform::testing::FakeSerialPort;
using Kind = FakeSerialEvent::Kind;
using Clock = std::chrono::steady_clock;

namespace {

long long MsBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

// Resets the module settings that persist across open and close.
class SerialLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CloseSerialPort();
    SetLineOptions(0);
    SetRtsReleaseDelay(0);
    SetSerialTimeouts(platform::kMaxDword, 0, 0, 0, 0);
  }
  void TearDown() override {
    CloseSerialPort();
    FakeSerialPort::uninstall();
    platform::SetSerialPortPath(1, "");
  }
};

class SerialLinkPtyTest : public SerialLinkTest {
 protected:
  void SetUp() override {
    SerialLinkTest::SetUp();
    platform::SetSerialPortPath(1, pty.path());
  }
  PtyPair pty;
};

class SerialLinkFakeTest : public SerialLinkTest {
 protected:
  void SetUp() override {
    SerialLinkTest::SetUp();
    port = std::make_shared<FakeSerialPort>();
    port->install();
  }
  // Kinds of the recorded events from the first write on.
  std::vector<Kind> KindsFromFirstWrite() const {
    std::vector<Kind> kinds;
    bool started = false;
    for (const FakeSerialEvent& event : port->events()) {
      if (event.kind == Kind::SetRts || event.kind == Kind::Write) started = true;
      if (started && event.kind != Kind::Read) kinds.push_back(event.kind);
    }
    return kinds;
  }
  std::shared_ptr<FakeSerialPort> port;
};

}  // namespace

TEST_F(SerialLinkPtyTest, OpenIsExclusiveAndCloseReleases) {
  EXPECT_FALSE(IsSerialPortOpen());
  ASSERT_TRUE(OpenSerialPort(1, 9600, 8, 0, 0)) << LastSerialOpenError().systemText;
  EXPECT_TRUE(IsSerialPortOpen());

  platform::SerialOpenError error;
  EXPECT_EQ(platform::OpenPosixSerialDevice(pty.path(), &error), nullptr);
  EXPECT_EQ(error.status, platform::SerialOpenStatus::Busy);

  // Seen from another thread too.
  bool seen = false;
  std::thread([&] { seen = IsSerialPortOpen(); }).join();
  EXPECT_TRUE(seen);

  EXPECT_TRUE(CloseSerialPort());
  EXPECT_FALSE(IsSerialPortOpen());
  EXPECT_FALSE(CloseSerialPort());
  auto again = platform::OpenPosixSerialDevice(pty.path(), &error);
  EXPECT_NE(again, nullptr);
}

TEST_F(SerialLinkPtyTest, FailedOpenEndsClosedWithTheSystemText) {
  platform::SetSerialPortPath(2, "/dev/no-such-serial-port");
  EXPECT_FALSE(OpenSerialPort(2, 9600, 8, 0, 0));
  EXPECT_FALSE(IsSerialPortOpen());
  EXPECT_EQ(LastSerialOpenError().status, platform::SerialOpenStatus::NoSuchPort);
  EXPECT_EQ(LastSerialOpenError().systemText, "No such file or directory");
  platform::SetSerialPortPath(2, "");

  std::uint8_t buffer[4] = {1, 2, 3, 4};
  EXPECT_EQ(SerialRead(buffer, 4), -1);
  EXPECT_FALSE(SerialWrite(buffer, 4));
  EXPECT_FALSE(PurgeSerialPort());
}

TEST_F(SerialLinkPtyTest, WriteAndReadAcrossThePort) {
  ASSERT_TRUE(OpenSerialPort(1, 19200, 8, 2, 0));
  ASSERT_TRUE(SetSerialTimeouts(ReadIntervalForBaud(19200), 1, 500, 1, 200));
  const std::vector<std::uint8_t> request = {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD};
  ASSERT_TRUE(SerialWrite(request.data(), static_cast<std::uint16_t>(request.size())));
  EXPECT_EQ(pty.receive(request.size()), request);

  const std::vector<std::uint8_t> reply = {0x01, 0x83, 0x02, 0xC0, 0xF1};
  pty.send(reply);
  std::uint8_t buffer[25] = {};
  // Asked for 25, 5 come: the inter-character interval ends the read early.
  const auto start = Clock::now();
  ASSERT_EQ(SerialRead(buffer, 25), 5);
  EXPECT_LT(MsBetween(start, Clock::now()), 400);
  EXPECT_TRUE(std::equal(reply.begin(), reply.end(), buffer));
}

TEST_F(SerialLinkPtyTest, MasterTimeoutGivesUpAfterMultiplierTimesCountPlusTimeout) {
  ASSERT_TRUE(OpenSerialPort(1, 9600, 8, 0, 0));
  ASSERT_TRUE(SetSerialTimeouts(ReadIntervalForBaud(9600), TimeoutMultiplierForBaud(9600), 1000,
                                TimeoutMultiplierForBaud(9600), 200));
  std::uint8_t buffer[25];
  const auto start = Clock::now();
  EXPECT_EQ(SerialRead(buffer, 25), 0);
  const long long elapsed = MsBetween(start, Clock::now());
  EXPECT_GE(elapsed, 1040);  // 2 x 25 + 1000
  EXPECT_LT(elapsed, 1600);
}

TEST_F(SerialLinkPtyTest, SlaveReadsReturnAtOnceAndPurgeDiscards) {
  // The slave never sets time-outs: MAXDWORD, 0, 0 from the start.
  ASSERT_TRUE(OpenSerialPort(1, 9600, 8, 0, 0));
  std::uint8_t buffer[300];
  const auto start = Clock::now();
  EXPECT_EQ(SerialRead(buffer, 300), 0);
  EXPECT_LT(MsBetween(start, Clock::now()), 100);

  pty.send({0x11, 0x22, 0x33});
  int got = 0;
  for (int tries = 0; tries < 200 && got == 0; ++tries) {
    got = SerialRead(buffer, 300);
    if (got == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(got, 3);

  pty.send({0x44, 0x55});
  ASSERT_TRUE(pty.waitQueued(2));
  EXPECT_TRUE(PurgeSerialPort());
  EXPECT_EQ(SerialRead(buffer, 300), 0);
}

// The exchange purges before each request; a frame written just before (a
// broadcast, which waits for no reply) must still reach the line whole.
TEST_F(SerialLinkPtyTest, PurgeKeepsAFrameStillGoingOut) {
  ASSERT_TRUE(OpenSerialPort(1, 9600, 8, 0, 0));
  const std::uint8_t broadcast[] = {0x00, 0x06, 0x00, 0x09, 0x55, 0x55, 0x00, 0x00};
  const std::uint8_t next[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD};
  std::vector<std::uint8_t> expected;
  // Many rounds: the device side holds the bytes only briefly.
  for (int round = 0; round < 50; ++round) {
    ASSERT_TRUE(SerialWrite(broadcast, sizeof broadcast));
    EXPECT_TRUE(PurgeSerialPort());
    ASSERT_TRUE(SerialWrite(next, sizeof next));
    expected.insert(expected.end(), broadcast, broadcast + sizeof broadcast);
    expected.insert(expected.end(), next, next + sizeof next);
  }
  EXPECT_EQ(pty.receive(expected.size()), expected);
}

TEST_F(SerialLinkPtyTest, CloseDuringAReadDoesNotPullTheDeviceAway) {
  ASSERT_TRUE(OpenSerialPort(1, 9600, 8, 0, 0));
  ASSERT_TRUE(SetSerialTimeouts(0, 0, 400, 0, 0));
  int result = -2;
  std::atomic<bool> reading{false};
  std::thread reader([&] {
    std::uint8_t buffer[16];
    reading = true;
    result = SerialRead(buffer, 16);
  });
  while (!reading) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // well inside its 400 ms read
  EXPECT_TRUE(CloseSerialPort());
  EXPECT_FALSE(IsSerialPortOpen());
  reader.join();
  EXPECT_EQ(result, 0);  // the read ran out its time-out on a device still valid
  std::uint8_t buffer[4];
  EXPECT_EQ(SerialRead(buffer, 4), -1);
  // The device went away with the last user: the port can be opened again.
  EXPECT_TRUE(OpenSerialPort(1, 9600, 8, 0, 0));
}

TEST_F(SerialLinkPtyTest, TimeoutsStoredWhileClosedApplyAtOpen) {
  EXPECT_FALSE(SetSerialTimeouts(0, 0, 300, 0, 0));  // closed: stored, not applied
  ASSERT_TRUE(OpenSerialPort(1, 9600, 8, 0, 0));
  std::uint8_t buffer[4];
  const auto start = Clock::now();
  EXPECT_EQ(SerialRead(buffer, 4), 0);
  EXPECT_GE(MsBetween(start, Clock::now()), 290);
}

TEST_F(SerialLinkFakeTest, PortNumbersOutsideOneToEightTouchNoDevice) {
  EXPECT_FALSE(OpenSerialPort(9, 9600, 8, 0, 0));
  EXPECT_FALSE(OpenSerialPort(0, 9600, 8, 0, 0));
  EXPECT_FALSE(OpenSerialPort(-1, 9600, 8, 0, 0));
  EXPECT_EQ(port->openCount(), 0);
  EXPECT_EQ(port->lastPath(), "");
  EXPECT_EQ(LastSerialOpenError().status, platform::SerialOpenStatus::NoSuchPort);

  ASSERT_TRUE(OpenSerialPort(1, 9600, 8, 0, 0));
  EXPECT_EQ(port->lastPath(), "/dev/ttyUSB0");
  ASSERT_TRUE(OpenSerialPort(8, 9600, 8, 0, 0));  // reopening closes the first device
  EXPECT_EQ(port->lastPath(), "/dev/ttyUSB7");
  EXPECT_EQ(port->openCount(), 2);
  EXPECT_TRUE(port->isOpen());
}

TEST_F(SerialLinkFakeTest, LineSettingsAndOptionsReachTheDevice) {
  SetLineOptions(kOptionDsrFlow | kOptionCtsFlow | kOptionXonXoff);
  SetSerialTimeouts(240, 2, 1000, 2, 200);
  ASSERT_TRUE(OpenSerialPort(3, 4800, 7, 1, 2));
  platform::SerialLineSettings s = port->lineSettings();
  EXPECT_EQ(s.baudRate, 4800u);
  EXPECT_EQ(s.dataBits, 7);
  EXPECT_EQ(s.parity, platform::Parity::Odd);
  EXPECT_EQ(s.stopBits, platform::StopBits::Two);
  EXPECT_TRUE(s.dsrOutputFlow);
  EXPECT_TRUE(s.ctsOutputFlow);
  EXPECT_TRUE(s.xonXoff);
  EXPECT_TRUE(s.dtrOn);
  EXPECT_EQ(s.rts, platform::RtsControl::Enable);
  EXPECT_TRUE(port->rts());
  const platform::SerialTimeouts t = port->timeouts();
  EXPECT_EQ(t.readInterval, 240u);
  EXPECT_EQ(t.readTotalMultiplier, 2u);
  EXPECT_EQ(t.readTotalConstant, 1000u);
  EXPECT_EQ(t.writeTotalMultiplier, 2u);
  EXPECT_EQ(t.writeTotalConstant, 200u);
  CloseSerialPort();

  SetLineOptions(0);
  ASSERT_TRUE(OpenSerialPort(3, 9600, 8, 2, 0));
  s = port->lineSettings();
  EXPECT_EQ(s.parity, platform::Parity::Even);
  EXPECT_EQ(s.stopBits, platform::StopBits::One);
  EXPECT_FALSE(s.dsrOutputFlow || s.ctsOutputFlow || s.xonXoff);
}

TEST_F(SerialLinkFakeTest, RefusedSettingsCloseTheDevice) {
  port->setRefuseConfigure(true);
  EXPECT_FALSE(OpenSerialPort(1, 9600, 8, 0, 0));
  EXPECT_FALSE(IsSerialPortOpen());
  EXPECT_FALSE(port->isOpen());
  EXPECT_EQ(port->openCount(), 1);
  port->setRefuseConfigure(false);
  EXPECT_FALSE(OpenSerialPort(1, 9600, 9, 0, 0));  // 9 data bits: refused before opening
  EXPECT_EQ(port->openCount(), 1);
}

TEST_F(SerialLinkFakeTest, RtsHeldOnWithoutOptionAndNeverToggled) {
  ASSERT_TRUE(OpenSerialPort(1, 9600, 8, 0, 0));
  const std::uint8_t bytes[] = {1, 2, 3};
  ASSERT_TRUE(SerialWrite(bytes, 3));
  EXPECT_TRUE(port->events(Kind::SetRts).empty());
  EXPECT_TRUE(port->rts());
  EXPECT_FALSE(port->rs485Enabled());
}

TEST_F(SerialLinkFakeTest, DriverRs485ModeDrivesRtsWithoutExplicitCalls) {
  SetLineOptions(kOptionRtsToggle);
  SetRtsReleaseDelay(15);
  ASSERT_TRUE(OpenSerialPort(1, 9600, 8, 0, 0));
  EXPECT_TRUE(port->rs485Enabled());
  EXPECT_EQ(port->lineSettings().rts, platform::RtsControl::Toggle);
  EXPECT_EQ(port->lineSettings().rs485DelayAfterSendMs, 15u);
  const std::uint8_t bytes[] = {1, 2, 3, 4};
  ASSERT_TRUE(SerialWrite(bytes, 4));
  ASSERT_TRUE(SerialWrite(bytes, 4));
  EXPECT_TRUE(port->events(Kind::SetRts).empty());
  EXPECT_EQ(port->written().size(), 8u);
}

TEST_F(SerialLinkFakeTest, ProgramDrivenRtsStaysUpUntilSentPlusReleaseDelay) {
  port->setRefuseRs485(true);
  port->setTransmitTime(std::chrono::milliseconds(30));
  SetLineOptions(kOptionRtsToggle);
  SetRtsReleaseDelay(40);
  ASSERT_TRUE(OpenSerialPort(1, 9600, 8, 0, 0));
  EXPECT_FALSE(port->rs485Enabled());
  EXPECT_EQ(port->lineSettings().rts, platform::RtsControl::Enable);  // held on until the first write

  const std::uint8_t bytes[] = {0x01, 0x06, 0x00, 0x01, 0x00, 0x03};
  ASSERT_TRUE(SerialWrite(bytes, 6));
  EXPECT_FALSE(port->rts());
  EXPECT_EQ(KindsFromFirstWrite(),
            (std::vector<Kind>{Kind::SetRts, Kind::Write, Kind::WaitTransmitEmpty, Kind::SetRts}));
  const auto rts = port->events(Kind::SetRts);
  ASSERT_EQ(rts.size(), 2u);
  EXPECT_TRUE(rts[0].on);
  EXPECT_FALSE(rts[1].on);
  const auto write = port->events(Kind::Write);
  const auto empty = port->events(Kind::WaitTransmitEmpty);
  ASSERT_EQ(write.size(), 1u);
  ASSERT_EQ(empty.size(), 1u);
  EXPECT_GE(MsBetween(write[0].at, empty[0].at), 29);   // the bytes left the wire
  EXPECT_GE(MsBetween(empty[0].at, rts[1].at), 39);     // then the release delay
  EXPECT_GE(MsBetween(rts[0].at, rts[1].at), 69);
}

TEST_F(SerialLinkFakeTest, ProgramDrivenRtsDropsWhenTheWriteFails) {
  port->setRefuseRs485(true);
  SetLineOptions(kOptionRtsToggle);
  SetRtsReleaseDelay(40);
  ASSERT_TRUE(OpenSerialPort(1, 9600, 8, 0, 0));
  port->setFailWrites(true);
  const std::uint8_t bytes[] = {1, 2};
  EXPECT_FALSE(SerialWrite(bytes, 2));
  EXPECT_FALSE(port->rts());
  EXPECT_EQ(KindsFromFirstWrite(), (std::vector<Kind>{Kind::SetRts, Kind::Write, Kind::ClearError, Kind::SetRts}));

  // The next write works again.
  port->setFailWrites(false);
  port->clearEvents();
  EXPECT_TRUE(SerialWrite(bytes, 2));
  EXPECT_EQ(port->written(), (std::vector<std::uint8_t>{1, 2}));
}

TEST_F(SerialLinkFakeTest, WriteFailureClearsTheErrorWithoutRtsOption) {
  ASSERT_TRUE(OpenSerialPort(1, 9600, 8, 0, 0));
  port->setFailWrites(true);
  const std::uint8_t bytes[] = {9};
  EXPECT_FALSE(SerialWrite(bytes, 1));
  EXPECT_EQ(KindsFromFirstWrite(), (std::vector<Kind>{Kind::Write, Kind::ClearError}));
}

TEST_F(SerialLinkFakeTest, LineErrorFailsExactlyOneRead) {
  SetSerialTimeouts(platform::kMaxDword, 0, 0, 0, 0);
  ASSERT_TRUE(OpenSerialPort(1, 9600, 8, 2, 0));
  port->injectLineError(platform::kErrorParity);
  port->queueReceive({0x01, 0x03});
  std::uint8_t buffer[8];
  EXPECT_EQ(SerialRead(buffer, 8), -1);
  EXPECT_EQ(SerialRead(buffer, 8), 2);
  EXPECT_EQ(buffer[1], 0x03);
  EXPECT_EQ(SerialRead(buffer, 8), 0);
  EXPECT_EQ(port->events(Kind::ClearError).size(), 1u);
}

TEST_F(SerialLinkFakeTest, ReleaseDelayAndOptionsPersistAcrossReopen) {
  SetLineOptions(kOptionRtsToggle | kOptionCtsFlow);
  SetRtsReleaseDelay(7);
  SetSerialTimeouts(100, 1, 50, 1, 20);
  ASSERT_TRUE(OpenSerialPort(1, 9600, 8, 0, 0));
  CloseSerialPort();
  ASSERT_TRUE(OpenSerialPort(1, 9600, 8, 0, 0));
  EXPECT_TRUE(port->lineSettings().ctsOutputFlow);
  EXPECT_EQ(port->lineSettings().rs485DelayAfterSendMs, 7u);
  EXPECT_EQ(port->timeouts().readInterval, 100u);
  EXPECT_EQ(port->timeouts().writeTotalConstant, 20u);
}

struct BaudRow {
  std::uint32_t baud;
  std::uint32_t multiplier;
  std::uint32_t interval;
  std::uint16_t slaveGap;
};

class SerialLinkBaudTable : public ::testing::TestWithParam<BaudRow> {};

TEST_P(SerialLinkBaudTable, TimeoutsAndSlaveFrameGap) {
  const BaudRow& row = GetParam();
  EXPECT_EQ(TimeoutMultiplierForBaud(row.baud), row.multiplier);
  EXPECT_EQ(ReadIntervalForBaud(row.baud), row.interval);
  EXPECT_EQ(SlaveFrameGapForBaud(row.baud), row.slaveGap);
}

INSTANTIATE_TEST_SUITE_P(
    Rates, SerialLinkBaudTable,
    ::testing::Values(BaudRow{300, 32, 1720, 300}, BaudRow{600, 16, 1720, 150}, BaudRow{1200, 8, 1720, 80},
                      BaudRow{2400, 4, 960, 40}, BaudRow{4800, 2, 480, 20}, BaudRow{9600, 2, 240, 20},
                      BaudRow{14400, 1, 180, 20}, BaudRow{19200, 1, 120, 20}, BaudRow{38400, 1, 60, 20},
                      BaudRow{56000, 1, 32, 20}, BaudRow{57600, 1, 32, 20}, BaudRow{115200, 1, 32, 20},
                      // Rates outside the table: no slave gap; times of the next slower listed rate.
                      BaudRow{110, 32, 1720, 0}, BaudRow{7200, 2, 480, 0}, BaudRow{230400, 1, 32, 0}));

// Virtual port pairs (ptys, socat) keep their own framing: every line setting
// the connection dialogs offer must open, with and without the line options,
// and bytes must still pass both ways.
TEST_F(SerialLinkPtyTest, EveryDialogLineSettingOpensAVirtualPort) {
  const std::uint32_t rates[] = {300, 9600, 14400, 56000, 115200};
  const std::uint8_t optionSets[] = {0, kOptionDsrFlow | kOptionCtsFlow, kOptionRtsToggle, kOptionXonXoff};
  SetSerialTimeouts(100, 0, 300, 0, 300);  // stored while closed, applied at every open
  for (std::uint8_t options : optionSets) {
    SetLineOptions(options);
    for (std::uint32_t rate : rates) {
      for (int dataBits : {7, 8}) {
        for (int parity : {0, 1, 2}) {
          for (int stopBits : {0, 2}) {
            SCOPED_TRACE(::testing::Message() << "options " << int(options) << ", " << rate << " baud, " << dataBits
                                              << " data bits, parity " << parity << ", stop bits " << stopBits);
            ASSERT_TRUE(OpenSerialPort(1, rate, dataBits, parity, stopBits)) << LastSerialOpenError().systemText;
            const std::uint8_t request[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD};
            if ((options & (kOptionDsrFlow | kOptionCtsFlow)) == 0) {
              ASSERT_TRUE(SerialWrite(request, sizeof request));
              EXPECT_EQ(pty.receive(sizeof request), std::vector<std::uint8_t>(request, request + sizeof request));
              pty.send({0x12, 0xFF, 0x00});
              std::uint8_t buffer[3] = {};
              EXPECT_EQ(SerialRead(buffer, 3), 3);
            }
            EXPECT_TRUE(CloseSerialPort());
          }
        }
      }
    }
  }
}

// A write only queues the bytes; after a frame that gets no reply the caller
// waits until it has left plus the 3.5-character gap that ends a frame.
TEST_F(SerialLinkPtyTest, FrameSentWaitFollowsTheLineSettings) {
  auto timed = [](std::uint16_t count) {
    const auto start = Clock::now();
    WaitSerialFrameSent(count);
    return MsBetween(start, Clock::now());
  };
  EXPECT_LT(timed(200), 50) << "no port open: nothing to wait for";

  ASSERT_TRUE(OpenSerialPort(1, 1200, 8, 0, 0));  // 10 bits a character
  long long waited = timed(8);
  EXPECT_GE(waited, 95);  // 11.5 characters at 1200 baud: 95.8 ms
  EXPECT_LT(waited, 600);
  ASSERT_TRUE(CloseSerialPort());

  ASSERT_TRUE(OpenSerialPort(1, 1200, 8, 2, 2));  // start, 8 data, parity, 2 stop: 12 bits
  waited = timed(8);
  EXPECT_GE(waited, 114);  // 115 ms
  EXPECT_LT(waited, 600);
}

// The t3.5 before a request counts from the last byte on the line: a byte that
// comes in while the link waits (the tail of a late reply) starts the silence
// again, and a line that never falls silent holds the request up only for the
// time of the longest frame.
TEST_F(SerialLinkPtyTest, FrameGapStartsAgainAfterBytesThatComeDuringIt) {
  ASSERT_TRUE(OpenSerialPort(1, 1200, 8, 0, 0));  // t3.5 = 29.2 ms, a character 8.3 ms
  const std::uint8_t request = 0x01;
  ASSERT_TRUE(SerialWrite(&request, 1));  // the line is busy until about 8 ms from now
  Clock::time_point strayAt;
  std::thread peer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(15));
    strayAt = Clock::now();
    pty.send({0x55});
  });
  WaitFrameGap();
  const Clock::time_point end = Clock::now();
  peer.join();
  EXPECT_GE(std::chrono::duration_cast<std::chrono::microseconds>(end - strayAt).count(), 29000);
  EXPECT_LT(MsBetween(strayAt, end), 600);

  std::atomic<bool> babbling{true};
  std::thread noise([&] {
    while (babbling.load()) {
      pty.send({0x00});
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_TRUE(SerialWrite(&request, 1));
  const Clock::time_point start = Clock::now();
  WaitFrameGap();
  const long long waited = MsBetween(start, Clock::now());
  babbling = false;
  noise.join();
  EXPECT_GT(waited, 100);   // the noise kept the line busy beyond one t3.5
  EXPECT_LT(waited, 3500);  // 256 characters (2133 ms) and a t3.5, with room for a loaded machine
}

// A signal that wakes the poll thread during the t3.5 (ppoll is never
// restarted, whatever the handler's flags; the headless runner catches SIGINT
// and SIGTERM) must not end the silence early: the request still waits until
// the line has been quiet for the whole t3.5.
TEST_F(SerialLinkPtyTest, FrameGapOutlastsASignalThatWakesTheWait) {
  struct sigaction quiet {};
  quiet.sa_handler = [](int) {};
  struct sigaction previous {};
  ASSERT_EQ(sigaction(SIGUSR1, &quiet, &previous), 0);
  ASSERT_TRUE(OpenSerialPort(1, 1200, 8, 0, 0));  // t3.5 = 29.2 ms, a character 8.3 ms
  const std::uint8_t request = 0x01;
  const Clock::time_point start = Clock::now();
  ASSERT_TRUE(SerialWrite(&request, 1));  // the line is quiet from about 8.3 ms on
  const pthread_t waiter = pthread_self();
  std::thread signaller([&] {
    for (int ms : {5, 15, 25}) {
      std::this_thread::sleep_until(start + std::chrono::milliseconds(ms));
      pthread_kill(waiter, SIGUSR1);
    }
  });
  WaitFrameGap();
  const long long waitedUs = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
  signaller.join();
  sigaction(SIGUSR1, &previous, nullptr);
  EXPECT_GE(waitedUs, 37000);  // the character and the whole t3.5
  EXPECT_LT(waitedUs, 600000);
}
