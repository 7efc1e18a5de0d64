// The termios serial device over pseudo-terminal pairs: opening, exclusivity,
// line settings, byte transparency, the read and write time-outs, purge, and
// line-error marks.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/serial_device.h"
#include "platform/serial_termios.h"
#include "pty_pair.h"
#include "termios2_probe.h"

using namespace platform;
using Clock = std::chrono::steady_clock;

namespace {

long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

std::unique_ptr<SerialDevice> OpenOrFail(const std::string& path) {
  SerialOpenError error;
  auto device = OpenPosixSerialDevice(path, &error);
  EXPECT_NE(device, nullptr) << SerialOpenErrorText(error);
  return device;
}

ProbedSettings DeviceSettings(int fd) {
  ProbedSettings settings;
  EXPECT_TRUE(ProbeSettings(fd, &settings));
  return settings;
}

SerialTimeouts ReadTimeouts(std::uint32_t interval, std::uint32_t multiplier, std::uint32_t constant) {
  SerialTimeouts t;
  t.readInterval = interval;
  t.readTotalMultiplier = multiplier;
  t.readTotalConstant = constant;
  return t;
}

}  // namespace

TEST(SerialDeviceOpen, FailuresCarryStatusAndSystemText) {
  SerialOpenError error;
  EXPECT_EQ(OpenPosixSerialDevice("/dev/no-such-serial-port", &error), nullptr);
  EXPECT_EQ(error.status, SerialOpenStatus::NoSuchPort);
  EXPECT_EQ(error.systemError, ENOENT);
  EXPECT_EQ(SerialOpenErrorText(error), "No such file or directory");

  EXPECT_EQ(OpenPosixSerialDevice("/dev/null", &error), nullptr);
  EXPECT_EQ(error.status, SerialOpenStatus::NotASerialDevice);
  EXPECT_FALSE(SerialOpenErrorText(error).empty());

  // The installed opener is used by OpenSerialDevice; clearing it restores the real one.
  SetSerialDeviceOpener([](const std::string&, SerialOpenError* e) -> std::unique_ptr<SerialDevice> {
    *e = SerialOpenError{};
    e->status = SerialOpenStatus::PermissionDenied;
    e->systemError = EACCES;
    return nullptr;
  });
  EXPECT_EQ(OpenSerialDevice("/dev/anything", &error), nullptr);
  EXPECT_EQ(error.status, SerialOpenStatus::PermissionDenied);
  EXPECT_EQ(SerialOpenErrorText(error), "Permission denied: add your user to the dialout group");
  SetSerialDeviceOpener(nullptr);
  EXPECT_EQ(OpenSerialDevice("/dev/no-such-serial-port", &error), nullptr);
  EXPECT_EQ(error.status, SerialOpenStatus::NoSuchPort);
}

TEST(SerialDeviceOpen, ExclusiveUntilClosedAndRestoresSettings) {
  PtyPair pty;
  termios before{};
  ASSERT_EQ(tcgetattr(pty.slaveFd(), &before), 0);
  ASSERT_TRUE(before.c_lflag & ICANON);  // a fresh pty is in canonical mode

  {
    auto first = OpenOrFail(pty.path());
    ASSERT_NE(first, nullptr);
    termios during{};
    ASSERT_EQ(tcgetattr(pty.slaveFd(), &during), 0);
    EXPECT_FALSE(during.c_lflag & (ICANON | ECHO));  // raw while open

    SerialOpenError error;
    EXPECT_EQ(OpenPosixSerialDevice(pty.path(), &error), nullptr);
    EXPECT_EQ(error.status, SerialOpenStatus::Busy);
    EXPECT_EQ(SerialOpenErrorText(error), "Device or resource busy");
  }
  termios after{};
  ASSERT_EQ(tcgetattr(pty.slaveFd(), &after), 0);
  EXPECT_EQ(after.c_lflag, before.c_lflag);
  EXPECT_EQ(after.c_iflag, before.c_iflag);
  EXPECT_EQ(after.c_cflag, before.c_cflag);

  auto again = OpenOrFail(pty.path());
  EXPECT_NE(again, nullptr);
}

struct FramingCase {
  std::uint8_t dataBits;
  Parity parity;
  StopBits stopBits;
  tcflag_t expected;  // CSIZE | parity bits | CSTOPB
};

class SerialTermiosFraming : public ::testing::TestWithParam<FramingCase> {};

TEST_P(SerialTermiosFraming, FlagsForDataBitsParityStopBits) {
  const FramingCase& c = GetParam();
  SerialLineSettings settings;
  settings.dataBits = c.dataBits;
  settings.parity = c.parity;
  settings.stopBits = c.stopBits;
  termios t{};
  t.c_cflag = PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | CS5;  // leftovers must go
  t.c_iflag = IXON | ISTRIP | IGNPAR | BRKINT;
  bool standard = false;
  ASSERT_TRUE(detail::BuildTermios(settings, &t, &standard));
  EXPECT_TRUE(standard);
  EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS), c.expected);
  EXPECT_TRUE(t.c_cflag & CREAD);
  EXPECT_TRUE(t.c_cflag & CLOCAL);
  EXPECT_EQ(t.c_iflag & (INPCK | PARMRK | IXON | IXOFF | ISTRIP | IGNPAR | BRKINT | IGNBRK),
            static_cast<tcflag_t>(INPCK | PARMRK));
  EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG));
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
}

INSTANTIATE_TEST_SUITE_P(
    Framings, SerialTermiosFraming,
    ::testing::Values(FramingCase{8, Parity::None, StopBits::One, CS8},
                      FramingCase{7, Parity::Even, StopBits::Two, CS7 | PARENB | CSTOPB},
                      FramingCase{8, Parity::Odd, StopBits::One, CS8 | PARENB | PARODD},
                      FramingCase{8, Parity::Mark, StopBits::One, CS8 | PARENB | PARODD | CMSPAR},
                      FramingCase{8, Parity::Space, StopBits::Two, CS8 | PARENB | CMSPAR | CSTOPB},
                      FramingCase{6, Parity::None, StopBits::One, CS6},
                      FramingCase{5, Parity::None, StopBits::OneAndHalf, CS5 | CSTOPB}));

TEST(SerialTermios, FlowControlRatesAndRefusals) {
  SerialLineSettings settings;
  settings.ctsOutputFlow = true;
  settings.xonXoff = true;
  settings.baudRate = 115200;
  termios t{};
  bool standard = false;
  ASSERT_TRUE(detail::BuildTermios(settings, &t, &standard));
  EXPECT_TRUE(t.c_cflag & CRTSCTS);
  EXPECT_TRUE(t.c_iflag & IXON);
  EXPECT_TRUE(t.c_iflag & IXOFF);
  EXPECT_EQ(t.c_cc[VSTART], 0x11);
  EXPECT_EQ(t.c_cc[VSTOP], 0x13);
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B115200));
  EXPECT_TRUE(standard);

  for (std::uint32_t rate : {300u, 600u, 1200u, 2400u, 4800u, 9600u, 19200u, 38400u, 57600u}) {
    settings.baudRate = rate;
    ASSERT_TRUE(detail::BuildTermios(settings, &t, &standard));
    EXPECT_TRUE(standard) << rate;
  }
  for (std::uint32_t rate : {14400u, 56000u, 128000u}) {
    settings.baudRate = rate;
    ASSERT_TRUE(detail::BuildTermios(settings, &t, &standard));
    EXPECT_FALSE(standard) << rate;
  }
  settings.baudRate = 0;
  EXPECT_FALSE(detail::BuildTermios(settings, &t, &standard));
  settings.baudRate = 9600;
  settings.dataBits = 9;
  EXPECT_FALSE(detail::BuildTermios(settings, &t, &standard));
  settings.dataBits = 4;
  EXPECT_FALSE(detail::BuildTermios(settings, &t, &standard));
}

TEST(SerialDeviceConfigure, RatesReachTheDriver) {
  PtyPair pty;
  auto device = OpenOrFail(pty.path());
  ASSERT_NE(device, nullptr);

  SerialLineSettings settings;
  settings.baudRate = 19200;
  settings.parity = Parity::Even;  // a pty keeps only 8N1, but must not refuse
  ASSERT_TRUE(device->configure(settings));
  ProbedSettings t = DeviceSettings(pty.slaveFd());
  EXPECT_EQ(t.cflag & CBAUD, static_cast<tcflag_t>(B19200));
  EXPECT_TRUE(t.iflag & INPCK);
  EXPECT_TRUE(t.iflag & PARMRK);

  // Rates Linux has no constant for go through BOTHER.
  for (std::uint32_t rate : {14400u, 56000u}) {
    settings.baudRate = rate;
    ASSERT_TRUE(device->configure(settings)) << rate;
    t = DeviceSettings(pty.slaveFd());
    EXPECT_TRUE(t.customRate) << rate;
    EXPECT_EQ(t.outputSpeed, rate);
  }
  // And back to a standard rate.
  settings.baudRate = 300;
  ASSERT_TRUE(device->configure(settings));
  t = DeviceSettings(pty.slaveFd());
  EXPECT_EQ(t.cflag & CBAUD, static_cast<tcflag_t>(B300));
  EXPECT_FALSE(t.customRate);

  settings.dataBits = 9;
  EXPECT_FALSE(device->configure(settings));
}

TEST(SerialDeviceTransfer, EveryByteValuePassesBothWays) {
  PtyPair pty;
  auto device = OpenOrFail(pty.path());
  ASSERT_NE(device, nullptr);
  ASSERT_TRUE(device->configure(SerialLineSettings{}));
  ASSERT_TRUE(device->setTimeouts(ReadTimeouts(0, 0, 2000)));

  // 0xFF is doubled by the kernel's marking and 00 follows FF: both must come through as sent.
  std::vector<std::uint8_t> all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<std::uint8_t>(i));
  all.insert(all.end(), {0xFF, 0xFF, 0xFF, 0x00, 0xFF, 0x00, 0x00, 0x11, 0x13});
  pty.send(all);
  std::vector<std::uint8_t> got(all.size() + 10);
  int total = 0;
  while (total < static_cast<int>(all.size())) {
    const int n = device->read(got.data() + total, static_cast<int>(all.size()) - total);
    ASSERT_GT(n, 0);
    total += n;
  }
  got.resize(total);
  EXPECT_EQ(got, all);
  EXPECT_EQ(device->clearError(), 0u);

  ASSERT_EQ(device->write(all.data(), static_cast<int>(all.size())), static_cast<int>(all.size()));
  EXPECT_TRUE(device->waitTransmitEmpty());
  EXPECT_EQ(pty.receive(all.size()), all);
}

TEST(SerialDeviceTimeouts, ReturnAtOnceGivesWhatIsThere) {
  PtyPair pty;
  auto device = OpenOrFail(pty.path());
  ASSERT_NE(device, nullptr);
  ASSERT_TRUE(device->setTimeouts(SerialTimeouts{}));  // MAXDWORD, 0, 0

  std::uint8_t buffer[300];
  auto start = Clock::now();
  EXPECT_EQ(device->read(buffer, 300), 0);
  EXPECT_LT(MsSince(start), 100);

  pty.send({1, 2, 3});
  // The bytes need a moment to cross the pty; poll until they show.
  int n = 0;
  for (int tries = 0; tries < 200 && n == 0; ++tries) {
    n = device->read(buffer, 300);
    if (n == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_EQ(n, 3);
  EXPECT_EQ(buffer[2], 3);
  EXPECT_EQ(device->read(buffer, 300), 0);
}

TEST(SerialDeviceTimeouts, TotalTimeoutWithNothingArriving) {
  PtyPair pty;
  auto device = OpenOrFail(pty.path());
  ASSERT_NE(device, nullptr);
  // 9600 baud, 25 bytes, "Timeout" 1000: 2 x 25 + 1000 = 1050 ms.
  ASSERT_TRUE(device->setTimeouts(ReadTimeouts(240, 2, 1000)));
  std::uint8_t buffer[25];
  const auto start = Clock::now();
  EXPECT_EQ(device->read(buffer, 25), 0);
  const long long elapsed = MsSince(start);
  EXPECT_GE(elapsed, 1040);
  EXPECT_LT(elapsed, 1600);
}

TEST(SerialDeviceTimeouts, IntervalEndsShortReplyCompleteReplyReturnsAtOnce) {
  PtyPair pty;
  auto device = OpenOrFail(pty.path());
  ASSERT_NE(device, nullptr);
  ASSERT_TRUE(device->setTimeouts(ReadTimeouts(100, 2, 3000)));
  std::uint8_t buffer[25];

  // A 5-byte exception reply while 25 were asked: ends about 100 ms after the last byte.
  std::thread peer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    pty.send({0x01, 0x83, 0x02, 0xC0, 0xF1});
  });
  auto start = Clock::now();
  const int n = device->read(buffer, 25);
  long long elapsed = MsSince(start);
  peer.join();
  EXPECT_EQ(n, 5);
  EXPECT_GE(elapsed, 240);   // 150 before the first byte + the 100 ms gap
  EXPECT_LT(elapsed, 1500);  // far below the 3050 ms total

  // All requested bytes present: no waiting for the interval.
  pty.send(std::vector<std::uint8_t>(25, 0x42));
  start = Clock::now();
  int total = 0;
  while (total < 25) {
    const int got = device->read(buffer + total, 25 - total);
    ASSERT_GT(got, 0);
    total += got;
  }
  EXPECT_LT(MsSince(start), 90);

  // Bytes that trickle in with gaps below the interval are all collected.
  std::thread trickle([&] {
    for (int i = 0; i < 6; ++i) {
      pty.send({static_cast<std::uint8_t>(i)});
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
  });
  EXPECT_EQ(device->read(buffer, 6), 6);
  trickle.join();
  EXPECT_EQ(buffer[5], 5);
}

TEST(SerialDeviceTimeouts, TotalTimeoutEndsReadWithPartialData) {
  PtyPair pty;
  auto device = OpenOrFail(pty.path());
  ASSERT_NE(device, nullptr);
  // No interval: only the total (10 x 10 + 200 = 300 ms) ends the read.
  ASSERT_TRUE(device->setTimeouts(ReadTimeouts(0, 10, 200)));
  pty.send({9, 8, 7});
  std::uint8_t buffer[10];
  const auto start = Clock::now();
  EXPECT_EQ(device->read(buffer, 10), 3);
  const long long elapsed = MsSince(start);
  EXPECT_GE(elapsed, 290);
  EXPECT_LT(elapsed, 900);
}

// readAvailable takes what has come and never waits, whatever the time-outs:
// a frame receiver polls the descriptor itself. Doubled FF bytes and marks read
// as with read().
TEST(SerialDeviceTransfer, ReadAvailableTakesWhatHasComeWithoutWaiting) {
  PtyPair pty;
  auto device = OpenOrFail(pty.path());
  ASSERT_NE(device, nullptr);
  SerialLineSettings settings;
  settings.parity = Parity::Even;
  ASSERT_TRUE(device->configure(settings));
  ASSERT_TRUE(device->setTimeouts(ReadTimeouts(500, 10, 2000)));
  std::uint8_t buffer[16];
  auto start = Clock::now();
  EXPECT_EQ(device->readAvailable(buffer, 16), 0);
  EXPECT_LT(MsSince(start), 100);

  const std::vector<std::uint8_t> sent = {0x01, 0xFF, 0x00, 0xFF, 0xFF, 0x02};
  pty.send(sent);
  std::vector<std::uint8_t> got;
  start = Clock::now();
  while (got.size() < sent.size() && MsSince(start) < 2000) {
    const int n = device->readAvailable(buffer, 4);  // at most 4 a call
    ASSERT_GE(n, 0);
    ASSERT_LE(n, 4);
    got.insert(got.end(), buffer, buffer + n);
  }
  EXPECT_EQ(got, sent);
  EXPECT_LT(MsSince(start), 400);  // the 500 ms interval was never waited for
  EXPECT_EQ(device->readAvailable(buffer, 16), 0);

  // A break mark behind good bytes (PARMRK off behind the device's back, see
  // the line-error test below): the good bytes, then one failure until cleared.
  termios t{};
  ASSERT_EQ(tcgetattr(pty.slaveFd(), &t), 0);
  t.c_iflag &= ~static_cast<tcflag_t>(PARMRK);
  ASSERT_EQ(tcsetattr(pty.slaveFd(), TCSANOW, &t), 0);
  pty.send({0x05, 0xFF, 0x00, 0x00});
  int n = 0;
  for (int tries = 0; tries < 200 && n == 0; ++tries) {
    n = device->readAvailable(buffer, 16);
    if (n == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_EQ(n, 1);
  EXPECT_EQ(buffer[0], 0x05);
  EXPECT_EQ(device->readAvailable(buffer, 16), -1);
  EXPECT_EQ(device->clearError(), static_cast<std::uint32_t>(kErrorBreak));
  EXPECT_EQ(device->readAvailable(buffer, 16), 0);
}

TEST(SerialDeviceTransfer, PurgeDiscardsReceivedBytes) {
  PtyPair pty;
  auto device = OpenOrFail(pty.path());
  ASSERT_NE(device, nullptr);
  ASSERT_TRUE(device->setTimeouts(ReadTimeouts(0, 0, 300)));
  pty.send({1, 2, 3, 4});
  for (int tries = 0; tries < 200 && device->bytesWaiting() < 4; ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(device->bytesWaiting(), 4);
  EXPECT_TRUE(device->purge(true, true));
  EXPECT_EQ(device->bytesWaiting(), 0);
  std::uint8_t buffer[4];
  EXPECT_EQ(device->read(buffer, 4), 0);
  pty.send({5});
  EXPECT_EQ(device->read(buffer, 1), 1);
  EXPECT_EQ(buffer[0], 5);
}

TEST(SerialDeviceTransfer, WriteTimeoutReturnsWhatWentOut) {
  PtyPair pty;
  auto device = OpenOrFail(pty.path());
  ASSERT_NE(device, nullptr);
  SerialTimeouts t;
  t.writeTotalConstant = 200;
  ASSERT_TRUE(device->setTimeouts(t));
  // Nobody reads the far end, so the pty buffer fills and the rest times out.
  std::vector<std::uint8_t> big(1 << 20, 0x55);
  const auto start = Clock::now();
  const int written = device->write(big.data(), static_cast<int>(big.size()));
  const long long elapsed = MsSince(start);
  EXPECT_GT(written, 0);
  EXPECT_LT(written, static_cast<int>(big.size()));
  EXPECT_GE(elapsed, 190);
  EXPECT_LT(elapsed, 1500);
}

TEST(SerialDeviceTransfer, ReadFailsWhenTheFarEndIsGone) {
  PtyPair pty;
  auto device = OpenOrFail(pty.path());
  ASSERT_NE(device, nullptr);
  ASSERT_TRUE(device->setTimeouts(ReadTimeouts(0, 0, 0)));  // would wait forever
  pty.closeMaster();
  std::uint8_t buffer[8];
  const auto start = Clock::now();
  EXPECT_EQ(device->read(buffer, 8), -1);
  EXPECT_LT(MsSince(start), 2000);
}

// The kernel marks a byte with a parity or framing error as FF 00 x and a break
// as FF 00 00. A pty never produces marks, so the test switches PARMRK off
// behind the device's back: the far end's FF 00 x then arrives exactly as the
// driver would deliver a marked byte.
TEST(SerialDeviceLineErrors, MarkFailsOneReadUntilCleared) {
  PtyPair pty;
  auto device = OpenOrFail(pty.path());
  ASSERT_NE(device, nullptr);
  SerialLineSettings settings;
  settings.parity = Parity::Even;
  ASSERT_TRUE(device->configure(settings));
  ASSERT_TRUE(device->setTimeouts(ReadTimeouts(50, 0, 300)));
  termios t{};
  ASSERT_EQ(tcgetattr(pty.slaveFd(), &t), 0);
  t.c_iflag &= ~static_cast<tcflag_t>(PARMRK);
  ASSERT_EQ(tcsetattr(pty.slaveFd(), TCSANOW, &t), 0);

  std::uint8_t buffer[16];
  // A marked byte first: the read fails, and keeps failing until the error is cleared.
  pty.send({0xFF, 0x00, 0x41, 0x10, 0x11});
  EXPECT_EQ(device->read(buffer, 16), -1);
  EXPECT_EQ(device->read(buffer, 16), -1);
  EXPECT_EQ(device->write(buffer, 1), -1);
  EXPECT_EQ(device->clearError(), static_cast<std::uint32_t>(kErrorParity));
  // The bytes after the damaged one survive.
  ASSERT_EQ(device->read(buffer, 2), 2);
  EXPECT_EQ(buffer[0], 0x10);
  EXPECT_EQ(buffer[1], 0x11);

  // Good bytes ahead of a break are delivered; the next read fails once.
  pty.send({0x01, 0x02, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x03});
  ASSERT_EQ(device->read(buffer, 16), 3);
  EXPECT_EQ(buffer[2], 0xFF);
  EXPECT_EQ(device->read(buffer, 16), -1);
  EXPECT_EQ(device->clearError(), static_cast<std::uint32_t>(kErrorBreak));
  ASSERT_EQ(device->read(buffer, 16), 1);
  EXPECT_EQ(buffer[0], 0x03);
  EXPECT_EQ(device->clearError(), 0u);

  // A mark split across two reads of one byte each is still recognised.
  pty.send({0xFF, 0x00, 0x7E});
  EXPECT_EQ(device->read(buffer, 1), -1);
  EXPECT_NE(device->clearError(), 0u);
}

TEST(SerialDeviceModem, PseudoTerminalHasNoRs485) {
  PtyPair pty;
  auto device = OpenOrFail(pty.path());
  ASSERT_NE(device, nullptr);
  SerialLineSettings settings;
  settings.rts = RtsControl::Toggle;
  EXPECT_FALSE(device->configure(settings));  // the caller then drives RTS itself
  settings.rts = RtsControl::Enable;
  EXPECT_TRUE(device->configure(settings));
  EXPECT_EQ(device->pollDescriptor() >= 0, true);
}

// A pty forces 8 bits without parity, which the C library reports as a refusal;
// the device must take every framing anyway, whatever framing it had before,
// while the rest (rate, raw mode, error marking) is applied.
TEST(SerialDeviceConfigure, PseudoTerminalTakesEveryFraming) {
  PtyPair pty;
  EXPECT_TRUE(detail::IsPseudoTerminal(pty.slaveFd()));
  const int devNull = ::open("/dev/null", O_RDWR);
  ASSERT_GE(devNull, 0);
  EXPECT_FALSE(detail::IsPseudoTerminal(devNull));
  ::close(devNull);

  auto device = OpenOrFail(pty.path());
  ASSERT_NE(device, nullptr);
  for (std::uint32_t rate : {9600u, 14400u}) {
    for (std::uint8_t dataBits : {7, 8}) {
      for (Parity parity : {Parity::None, Parity::Odd, Parity::Even}) {
        for (StopBits stopBits : {StopBits::One, StopBits::Two}) {
          SCOPED_TRACE(::testing::Message() << rate << " " << int(dataBits) << " " << int(parity) << " "
                                            << int(stopBits));
          // Start from the framing furthest from the wanted one.
          SerialLineSettings before;
          before.baudRate = 19200;
          before.dataBits = dataBits == 7 ? 8 : 7;
          before.parity = parity == Parity::None ? Parity::Even : Parity::None;
          before.stopBits = stopBits == StopBits::One ? StopBits::Two : StopBits::One;
          ASSERT_TRUE(device->configure(before));
          SerialLineSettings settings;
          settings.baudRate = rate;
          settings.dataBits = dataBits;
          settings.parity = parity;
          settings.stopBits = stopBits;
          ASSERT_TRUE(device->configure(settings));
          const ProbedSettings t = DeviceSettings(pty.slaveFd());
          EXPECT_EQ(t.outputSpeed, rate);
          EXPECT_EQ((t.cflag & CSTOPB) != 0, stopBits == StopBits::Two);
          EXPECT_TRUE(t.iflag & PARMRK);
        }
      }
    }
  }
}
