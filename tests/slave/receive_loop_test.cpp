// The serial receive loop over a pseudo-terminal pair: RTU frames cut by
// silence, CRC and LRC errors, the ASCII frame time-out and restart, overlong
// input. The test plays the master on the pty's master side.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

#include "link/serial_link.h"
#include "platform/port_map.h"
#include "platform/testing/fake_serial_device.h"
#include "platform/ticks.h"
#include "slave/engine/receive_loop.h"
#include "slave/engine/slave_engine.h"
#include "slave_test_support.h"

using namespace slavetest;

namespace {

constexpr int kPort = 3;

class ReceiveLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[256] = {};
    ASSERT_EQ(::openpty(&master_, &slaveSide_, name, nullptr, nullptr), 0) << "openpty failed";
    platform::SetSerialPortPath(kPort, name);
    slaveengine::InitEngine();
    slot_ = slaveengine::RegisterSlot(0, platform::WM_ENGINE_NOTIFY, 0, 1, slaveengine::kHoldingRegisters, 0, 10);
    slaveengine::SetRegisterValue(slot_, 0, 0x1122);
    slaveengine::SetRegisterValue(slot_, 1, 0x3344);
    ClearFrames();
    slaveengine::SetFrameObserver(ObserveFrame);
  }
  void Start(slaveloop::LinkMode mode) {
    slaveloop::SetLinkMode(mode);
    slaveloop::ResetReceivers();
    ASSERT_TRUE(slaveloop::OpenSlaveSerialPort(kPort, 9600, 8, 0, 0));
    EXPECT_EQ(slaveloop::RtuSilenceThreshold(), 20);
    EXPECT_TRUE(slaveloop::IsLinkOpen());
    ASSERT_EQ(slaveloop::StartReceiveThread(), 1);
  }
  void TearDown() override {
    slaveloop::StopReceiveThread();
    slaveloop::CloseSlaveSerialPort();
    slaveengine::SetFrameObserver(nullptr);
    platform::SetSerialPortPath(kPort, "");
    ::close(master_);
    ::close(slaveSide_);
  }
  void Write(const std::string& text) { Write(Bytes(text.begin(), text.end())); }
  // Writes and waits until the bytes are queued on the slave side of the pty,
  // so that the next receive step reads them.
  void WriteAndWaitQueued(const Bytes& bytes) {
    int before = 0;
    ASSERT_EQ(::ioctl(slaveSide_, FIONREAD, &before), 0);
    Write(bytes);
    const std::uint32_t start = platform::TickCount();
    int queued = 0;
    while (::ioctl(slaveSide_, FIONREAD, &queued) == 0 && queued < before + int(bytes.size())) {
      ASSERT_LT(platform::TickCount() - start, 2000u) << "bytes never reached the slave side";
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  void Write(const Bytes& bytes) { ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), ssize_t(bytes.size())); }
  // Everything the slave sends within the time-out, ending early once `count` bytes are in.
  Bytes Read(std::size_t count, int timeoutMs) {
    Bytes out;
    const std::uint32_t start = platform::TickCount();
    while (out.size() < count) {
      const int left = timeoutMs - static_cast<int>(platform::TickCount() - start);
      if (left <= 0) break;
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, left) <= 0) break;
      std::uint8_t chunk[600];
      const ssize_t n = ::read(master_, chunk, sizeof chunk);
      if (n <= 0) break;
      out.insert(out.end(), chunk, chunk + n);
    }
    return out;
  }
  // Waits until the loop has recorded `count` received frames.
  std::vector<Bytes> WaitReceived(std::size_t count, int timeoutMs) {
    const std::uint32_t start = platform::TickCount();
    for (;;) {
      {
        std::lock_guard<std::mutex> guard(Frames().lock);
        if (Frames().received.size() >= count || int(platform::TickCount() - start) > timeoutMs)
          return Frames().received;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  static Bytes WithCrc(Bytes frame) {
    const std::uint16_t crc = linklayer::ComputeCrc16(frame.data(), static_cast<std::uint16_t>(frame.size()));
    frame.push_back(static_cast<std::uint8_t>(crc));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    return frame;
  }
  int master_ = -1;
  int slaveSide_ = -1;
  int slot_ = -1;
};

const Bytes kReadTwo = {1, 3, 0, 0, 0, 2};
const std::string kAsciiReadTwo = ":010300000002FA\r\n";

TEST_F(ReceiveLoopTest, RtuRequestIsAnsweredAndSilenceSplitsFrames) {
  Start(slaveloop::kLinkRtu);
  const Bytes request = WithCrc(kReadTwo);
  const Bytes expected = WithCrc({1, 3, 4, 0x11, 0x22, 0x33, 0x44});
  Write(request);
  EXPECT_EQ(Read(expected.size(), 2000), expected);

  // Two writes without a pause still make one frame.
  Write(Bytes(request.begin(), request.begin() + 3));
  Write(Bytes(request.begin() + 3, request.end()));
  EXPECT_EQ(Read(expected.size(), 2000), expected);

  // A pause well beyond 20 ms ends the frame: two halves, neither answered.
  ClearFrames();
  Write(Bytes(request.begin(), request.begin() + 4));
  std::this_thread::sleep_for(std::chrono::milliseconds(120));
  Write(Bytes(request.begin() + 4, request.end()));
  const auto frames = WaitReceived(2, 2000);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0], Bytes(request.begin(), request.begin() + 4));
  EXPECT_EQ(frames[1], Bytes(request.begin() + 4, request.end()));
  EXPECT_TRUE(Read(1, 200).empty());
}

// Stepping the RTU receiver by hand (thread stopped): idle steps that add up to
// no more than the 20 ms threshold keep the bytes together, a longer silence
// ends the frame.
TEST_F(ReceiveLoopTest, RtuSilenceCountsIdleStepsAgainstTheThreshold) {
  slaveloop::SetLinkMode(slaveloop::kLinkRtu);
  slaveloop::ResetReceivers();
  ASSERT_TRUE(slaveloop::OpenSlaveSerialPort(kPort, 9600, 8, 0, 0));
  const Bytes request = WithCrc(kReadTwo);
  const Bytes expected = WithCrc({1, 3, 4, 0x11, 0x22, 0x33, 0x44});

  WriteAndWaitQueued(Bytes(request.begin(), request.begin() + 3));
  slaveloop::RtuStep();
  slaveloop::RtuStep();  // idle, but only a moment of silence
  slaveloop::RtuStep();
  WriteAndWaitQueued(Bytes(request.begin() + 3, request.end()));
  slaveloop::RtuStep();
  EXPECT_TRUE(WaitReceived(1, 0).empty()) << "no frame before the silence";
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  slaveloop::RtuStep();
  auto frames = WaitReceived(1, 0);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0], request) << "one frame across the short pause";
  EXPECT_EQ(Read(expected.size(), 2000), expected);

  ClearFrames();
  WriteAndWaitQueued(Bytes(request.begin(), request.begin() + 3));
  slaveloop::RtuStep();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  slaveloop::RtuStep();  // more than 20 ms without a byte: the frame ends here
  WriteAndWaitQueued(Bytes(request.begin() + 3, request.end()));
  slaveloop::RtuStep();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  slaveloop::RtuStep();
  frames = WaitReceived(2, 0);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0], Bytes(request.begin(), request.begin() + 3));
  EXPECT_EQ(frames[1], Bytes(request.begin() + 3, request.end()));
  EXPECT_TRUE(Read(1, 100).empty());
}

// The frame gap is t3.5 in microseconds: 3.5 characters, 1750 us above 19200
// baud. At 600 baud (58 ms) a short pause inside a request keeps it one frame
// and a long one makes two, neither of them answered.
TEST_F(ReceiveLoopTest, RtuPauseShorterThanT35KeepsOneFrameLongerSplitsIt) {
  const std::pair<std::uint32_t, std::uint32_t> gaps[] = {{600, 58334}, {9600, 3646}, {19200, 1823}, {38400, 1750},
                                                          {115200, 1750}};
  for (const auto& [baud, gapUs] : gaps) {
    ASSERT_TRUE(slaveloop::OpenSlaveSerialPort(kPort, baud, 8, 0, 0));
    EXPECT_EQ(slaveloop::RtuFrameGapUs(), gapUs) << baud;
    slaveloop::CloseSlaveSerialPort();
  }
  slaveloop::SetLinkMode(slaveloop::kLinkRtu);
  slaveloop::ResetReceivers();
  ASSERT_TRUE(slaveloop::OpenSlaveSerialPort(kPort, 600, 8, 0, 0));
  ASSERT_EQ(slaveloop::StartReceiveThread(), 1);
  const Bytes request = WithCrc(kReadTwo);
  const Bytes expected = WithCrc({1, 3, 4, 0x11, 0x22, 0x33, 0x44});

  Write(Bytes(request.begin(), request.begin() + 3));
  std::this_thread::sleep_for(std::chrono::milliseconds(10));
  Write(Bytes(request.begin() + 3, request.end()));
  EXPECT_EQ(Read(expected.size(), 2000), expected);
  auto frames = WaitReceived(1, 2000);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0], request);

  ClearFrames();
  Write(Bytes(request.begin(), request.begin() + 3));
  std::this_thread::sleep_for(std::chrono::milliseconds(250));
  Write(Bytes(request.begin() + 3, request.end()));
  frames = WaitReceived(2, 2000);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0], Bytes(request.begin(), request.begin() + 3));
  EXPECT_EQ(frames[1], Bytes(request.begin() + 3, request.end()));
  EXPECT_TRUE(Read(1, 300).empty());
}

// Requests that follow each other without a gap (here in one write) end where
// their function code says and are each answered, in order.
TEST_F(ReceiveLoopTest, BackToBackRtuRequestsAreEachAnswered) {
  Start(slaveloop::kLinkRtu);
  const Bytes read = WithCrc(kReadTwo);
  const Bytes write = WithCrc({1, 6, 0, 1, 0x55, 0x66});
  const Bytes writeTwo = WithCrc({1, 0x10, 0, 0, 0, 1, 2, 0x77, 0x88});
  Bytes all = read;
  for (const Bytes* next : {&write, &writeTwo, &read}) all.insert(all.end(), next->begin(), next->end());
  Write(all);

  Bytes expected = WithCrc({1, 3, 4, 0x11, 0x22, 0x33, 0x44});
  for (const Bytes& next : {write, WithCrc({1, 0x10, 0, 0, 0, 1}), WithCrc({1, 3, 4, 0x77, 0x88, 0x55, 0x66})})
    expected.insert(expected.end(), next.begin(), next.end());
  EXPECT_EQ(Read(expected.size(), 2000), expected);
  const auto frames = WaitReceived(4, 2000);
  ASSERT_EQ(frames.size(), 4u);
  EXPECT_EQ(frames[0], read);
  EXPECT_EQ(frames[1], write);
  EXPECT_EQ(frames[2], writeTwo);
  EXPECT_EQ(frames[3], read);
}

TEST_F(ReceiveLoopTest, SilenceThresholdFollowsTheBaudRate) {
  const std::pair<std::uint32_t, std::uint16_t> rates[] = {
      {300, 300}, {600, 150}, {1200, 80}, {2400, 40}, {4800, 20}, {56000, 20}, {115200, 20}, {2400, 40}};
  for (const auto& [baud, threshold] : rates) {
    slaveloop::OpenSlaveSerialPort(kPort, baud, 8, 0, 0);
    EXPECT_EQ(slaveloop::RtuSilenceThreshold(), threshold) << baud;
    slaveloop::CloseSlaveSerialPort();
  }
  slaveloop::OpenSlaveSerialPort(kPort, 250000, 8, 0, 0);
  EXPECT_EQ(slaveloop::RtuSilenceThreshold(), 40) << "a rate outside the table keeps the previous threshold";
  slaveloop::CloseSlaveSerialPort();
}

TEST_F(ReceiveLoopTest, RtuCrcErrorIsShownButNotAnswered) {
  Start(slaveloop::kLinkRtu);
  Bytes bad = WithCrc(kReadTwo);
  bad.back() ^= 0x01;
  Write(bad);
  const auto frames = WaitReceived(1, 2000);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0], bad);
  EXPECT_TRUE(Read(1, 200).empty());
  std::lock_guard<std::mutex> guard(Frames().lock);
  EXPECT_TRUE(Frames().sent.empty());
}

TEST_F(ReceiveLoopTest, RtuOverlongNoiseIsCutAt300Bytes) {
  Start(slaveloop::kLinkRtu);
  Bytes noise(301);
  for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<std::uint8_t>(i * 13 + 5);
  Write(noise);
  const auto frames = WaitReceived(1, 2000);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0], Bytes(noise.begin(), noise.begin() + 300));
  EXPECT_TRUE(Read(1, 200).empty());
  EXPECT_EQ(WaitReceived(2, 100).size(), 1u) << "the 301st byte is dropped, not a frame of its own";

  // The receiver works normally afterwards.
  const Bytes expected = WithCrc({1, 3, 4, 0x11, 0x22, 0x33, 0x44});
  Write(WithCrc(kReadTwo));
  EXPECT_EQ(Read(expected.size(), 2000), expected);
}

TEST_F(ReceiveLoopTest, AsciiRequestAnsweredLowerCaseLrcIsNot) {
  Start(slaveloop::kLinkAscii);
  const std::string expected = ":010304112233444E\r\n";
  Write(kAsciiReadTwo);
  const Bytes reply = Read(expected.size(), 2000);
  EXPECT_EQ(std::string(reply.begin(), reply.end()), expected);

  Write(":010300000002fa\r\n");
  const auto frames = WaitReceived(2, 2000);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(std::string(frames[1].begin(), frames[1].end()), ":010300000002fa\r\n");
  EXPECT_TRUE(Read(1, 200).empty());

  // Text without a leading colon is shown, never decoded.
  Write("010300000002FA\r\n");
  EXPECT_EQ(WaitReceived(3, 2000).size(), 3u);
  EXPECT_TRUE(Read(1, 200).empty());
}

TEST_F(ReceiveLoopTest, AsciiColonRestartsAndStalledFrameTimesOut) {
  Start(slaveloop::kLinkAscii);
  const std::string expected = ":010304112233444E\r\n";
  Write(":0103");
  Write(kAsciiReadTwo);
  Bytes reply = Read(expected.size(), 2000);
  EXPECT_EQ(std::string(reply.begin(), reply.end()), expected);
  auto frames = WaitReceived(2, 2000);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(std::string(frames[0].begin(), frames[0].end()), ":0103");

  ClearFrames();
  Write(":010300");
  frames = WaitReceived(1, 3000);
  ASSERT_EQ(frames.size(), 1u) << "discarded after a second of silence";
  EXPECT_EQ(std::string(frames[0].begin(), frames[0].end()), ":010300");
  Write("000002FA\r\n");  // the rest of the stalled frame alone is not a request
  EXPECT_TRUE(Read(1, 300).empty());
  Write(kAsciiReadTwo);
  reply = Read(expected.size(), 2000);
  EXPECT_EQ(std::string(reply.begin(), reply.end()), expected);
}

TEST_F(ReceiveLoopTest, AsciiOverlongTextIsCutAt600Characters) {
  Start(slaveloop::kLinkAscii);
  const std::string noise = ":" + std::string(650, 'A');
  Write(noise + kAsciiReadTwo);
  const std::string expected = ":010304112233444E\r\n";
  const Bytes reply = Read(expected.size(), 3000);
  EXPECT_EQ(std::string(reply.begin(), reply.end()), expected) << "the request after the noise is answered";
  const auto frames = WaitReceived(3, 2000);
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(std::string(frames[0].begin(), frames[0].end()), noise.substr(0, 600));
  EXPECT_EQ(std::string(frames[1].begin(), frames[1].end()), std::string(51, 'A'));
  EXPECT_EQ(std::string(frames[2].begin(), frames[2].end()), kAsciiReadTwo);
}

TEST_F(ReceiveLoopTest, ClosedPortFlushesAndThreadStops) {
  Start(slaveloop::kLinkRtu);
  Write(Bytes{1, 3, 0});
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  slaveloop::StopReceiveThread();
  EXPECT_FALSE(slaveloop::IsReceiveThreadRunning());
  slaveloop::CloseSlaveSerialPort();
  EXPECT_FALSE(slaveloop::IsLinkOpen());
  slaveloop::RtuStep();  // a read on the closed port fails and flushes what was buffered
  const auto frames = WaitReceived(1, 100);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0], (Bytes{1, 3, 0}));
}

}  // namespace

// The slave's reads return at once, but a reply must never wait for ever on a line
// whose flow control the master holds off: the port gets a write time-out.
TEST(SlaveSerialOpen, ReadsReturnAtOnceAndWritesAreBounded) {
  auto port = std::make_shared<platform::testing::FakeSerialPort>();
  port->install();
  ASSERT_TRUE(slaveloop::OpenSlaveSerialPort(1, 9600, 8, 0, 0));
  const platform::SerialTimeouts t = port->timeouts();
  EXPECT_EQ(t.readInterval, platform::kMaxDword);
  EXPECT_EQ(t.readTotalMultiplier, 0u);
  EXPECT_EQ(t.readTotalConstant, 0u);
  EXPECT_EQ(t.writeTotalMultiplier, linklayer::TimeoutMultiplierForBaud(9600));
  EXPECT_EQ(t.writeTotalConstant, slaveloop::kReplyWriteTimeoutMs);
  slaveloop::CloseSlaveSerialPort();
  platform::testing::FakeSerialPort::uninstall();
}
