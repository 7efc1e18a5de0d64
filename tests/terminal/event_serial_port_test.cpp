// The terminal's serial port over pseudo-terminal pairs (byte notifications,
// queued writes, reopening) and over the fake device (failing platform calls,
// line errors).
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/port_map.h"
#include "platform/serial_device.h"
#include "platform/testing/fake_serial_device.h"
#include "platform/testing/message_recorder.h"
#include "pty_pair.h"
#include "terminal/event_serial_port.h"

namespace kestrin {
namespace {

using platform::testing::MessageIs;
using platform::testing::MessageRecorder;
using platform::testing::RecordedMessage;
using Bytes = std::vector<std::uint8_t>;

constexpr platform::WindowHandle kOwner = 0x77;
constexpr std::uint32_t kTerminalMask = EV_RXCHAR | EV_CTS;

// Records error boxes instead of showing them.
struct ErrorBoxes {
  static std::mutex mutex;
  static std::vector<std::string> texts;
  static std::vector<std::string> titles;
  static void Record(const std::string& text, const std::string& title) {
    std::lock_guard<std::mutex> lock(mutex);
    texts.push_back(text);
    titles.push_back(title);
  }
  static std::vector<std::string> Texts() {
    std::lock_guard<std::mutex> lock(mutex);
    return texts;
  }
  static void Clear() {
    std::lock_guard<std::mutex> lock(mutex);
    texts.clear();
    titles.clear();
  }
};
std::mutex ErrorBoxes::mutex;
std::vector<std::string> ErrorBoxes::texts;
std::vector<std::string> ErrorBoxes::titles;

int ThreadCount() {
  int count = 0;
  if (DIR* tasks = ::opendir("/proc/self/task")) {
    while (dirent* entry = ::readdir(tasks)) {
      if (entry->d_name[0] != '.') ++count;
    }
    ::closedir(tasks);
  }
  return count;
}

Bytes CharBytes(const std::vector<RecordedMessage>& messages, int portNumber) {
  Bytes bytes;
  for (const RecordedMessage& message : messages) {
    if (message.message == WM_PORT_CHAR && message.lParam == portNumber) {
      bytes.push_back(static_cast<std::uint8_t>(message.wParam));
    }
  }
  return bytes;
}

class PortOverPty : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(first.ok() && second.ok()) << "openpty failed";
    platform::SetSerialPortPath(1, first.path());
    platform::SetSerialPortPath(2, second.path());
    ErrorBoxes::Clear();
    SetPortErrorReporter(&ErrorBoxes::Record);
  }
  void TearDown() override {
    SetPortErrorReporter(nullptr);
    platform::SetSerialPortPath(1, "");
    platform::SetSerialPortPath(2, "");
  }

  bool Open(EventSerialPort& port, int number, std::uint32_t mask = kTerminalMask, int sendBuffer = 512) {
    return port.OpenPort(kOwner, number, 9600, 'N', 8, 1, mask, sendBuffer);
  }

  kestrin::testing::PtyPair first;
  kestrin::testing::PtyPair second;
  MessageRecorder recorder;  // declared last: ports in tests end before it goes
};

TEST_F(PortOverPty, BytesArrivingTogetherGiveOneNotificationEachInOrder) {
  EventSerialPort port;
  ASSERT_TRUE(Open(port, 1));
  ASSERT_TRUE(port.StartPortThread());
  const Bytes sent = {0x01, 0x03, 0x00, 0xFF, 0x7E};
  ASSERT_TRUE(first.send(sent));
  ASSERT_TRUE(recorder.waitForCount(MessageIs(WM_PORT_CHAR, kOwner), 5, 3000));
  const auto messages = recorder.messages();
  EXPECT_EQ(CharBytes(messages, 1), sent);
  for (const RecordedMessage& message : messages) {
    EXPECT_TRUE(message.sent) << "byte notifications are synchronous";
    EXPECT_EQ(message.window, kOwner);
  }
  // With EV_CTS in the mask every burst also sends WM_PORT_CTS, before its bytes.
  ASSERT_GE(recorder.count(MessageIs(WM_PORT_CTS, kOwner)), 1u);
  EXPECT_EQ(messages.front().message, WM_PORT_CTS);
  EXPECT_EQ(recorder.count(MessageIs(WM_PORT_ERROR)), 0u) << "EV_ERR is not in the mask";
  EXPECT_TRUE(ErrorBoxes::Texts().empty());
}

TEST_F(PortOverPty, ALargeBurstArrivesCompleteAndInOrder) {
  EventSerialPort port;
  ASSERT_TRUE(Open(port, 1, EV_RXCHAR));
  ASSERT_TRUE(port.StartPortThread());
  Bytes sent(3000);
  for (std::size_t index = 0; index < sent.size(); ++index) sent[index] = static_cast<std::uint8_t>(index * 7);
  ASSERT_TRUE(first.send(sent));
  ASSERT_TRUE(recorder.waitForCount(MessageIs(WM_PORT_CHAR), sent.size(), 5000));
  EXPECT_EQ(CharBytes(recorder.messages(), 1), sent);
}

TEST_F(PortOverPty, QueuedWritesReachThePeerAndQuickSuccessiveWritesAreNotLost) {
  EventSerialPort port;
  ASSERT_TRUE(Open(port, 1));
  ASSERT_TRUE(port.StartPortThread());
  const Bytes request = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A};
  ASSERT_TRUE(port.QueueWrite(request.data(), 8));
  EXPECT_EQ(first.receive(8, 2000), request);

  const Bytes a = {0x11, 0x12, 0x13};
  const Bytes b = {0x21, 0x22};
  ASSERT_TRUE(port.QueueWrite(a.data(), 3));
  ASSERT_TRUE(port.QueueWrite(b.data(), 2));
  EXPECT_EQ(first.receive(5, 2000), (Bytes{0x11, 0x12, 0x13, 0x21, 0x22}));
}

TEST_F(PortOverPty, WritesLargerThanTheSendBufferAreRefused) {
  EventSerialPort port;
  ASSERT_TRUE(Open(port, 1, kTerminalMask, 16));
  EXPECT_EQ(port.SendBufferSize(), 16);
  const Bytes tooLong(17, 0x55);
  EXPECT_FALSE(port.QueueWrite(tooLong.data(), 17));
  const Bytes fits(16, 0x66);
  EXPECT_TRUE(port.QueueWrite(fits.data(), 16));
  // The thread is not running: the buffer is full until it writes.
  EXPECT_FALSE(port.QueueWrite(fits.data(), 1));
  ASSERT_TRUE(port.StartPortThread());
  EXPECT_EQ(first.receive(16, 2000), fits);
}

TEST_F(PortOverPty, ConcurrentWritesAreNeverTorn) {
  // Each write is one run of a repeated byte; the peer must see whole runs in
  // the order they were accepted, whatever the thread was doing meanwhile.
  EventSerialPort port;
  ASSERT_TRUE(Open(port, 1, kTerminalMask, 4096));
  ASSERT_TRUE(port.StartPortThread());
  std::vector<Bytes> accepted;
  std::size_t total = 0;
  for (int round = 0; round < 400; ++round) {
    const Bytes run(static_cast<std::size_t>(1 + round % 37), static_cast<std::uint8_t>(round));
    if (port.QueueWrite(run.data(), static_cast<int>(run.size()))) {
      accepted.push_back(run);
      total += run.size();
    } else {
      std::this_thread::yield();
    }
  }
  ASSERT_FALSE(accepted.empty());
  const Bytes received = first.receive(total, 5000);
  Bytes expected;
  for (const Bytes& run : accepted) expected.insert(expected.end(), run.begin(), run.end());
  EXPECT_EQ(received, expected);
}

TEST_F(PortOverPty, ReopeningOnAnotherPortEndsTheOldThreadAndClosesTheOldDevice) {
  EventSerialPort port;
  ASSERT_TRUE(Open(port, 1));
  ASSERT_TRUE(port.StartPortThread());
  ASSERT_TRUE(first.send({0x31}));
  ASSERT_TRUE(recorder.waitFor(MessageIs(WM_PORT_CHAR), 2000));
  const int threadsWhileRunning = ThreadCount();

  for (int round = 0; round < 5; ++round) {
    const int number = round % 2 == 0 ? 2 : 1;
    ASSERT_TRUE(Open(port, number));
    ASSERT_TRUE(port.StartPortThread());
  }
  // Now on port 2. No thread was leaked by the five reopenings. A leaked port
  // thread stays; a short-lived thread of the runtime under load goes, so the
  // count may take a moment to settle.
  for (int waited = 0; ThreadCount() != threadsWhileRunning && waited < 2000; waited += 10)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(ThreadCount(), threadsWhileRunning);
  EXPECT_EQ(port.PortNumber(), 2);

  // The old device was closed: it can be opened exclusively again.
  platform::SerialOpenError error;
  EXPECT_NE(platform::OpenPosixSerialDevice(first.path(), &error), nullptr) << error.systemText;

  recorder.clear();
  ASSERT_TRUE(second.send({0x42, 0x43}));
  ASSERT_TRUE(recorder.waitForCount(MessageIs(WM_PORT_CHAR), 2, 2000));
  EXPECT_EQ(CharBytes(recorder.messages(), 2), (Bytes{0x42, 0x43}));
  EXPECT_TRUE(CharBytes(recorder.messages(), 1).empty());
}

TEST_F(PortOverPty, ReopeningWhileTheOwnerHoldsAByteDoesNotHang) {
  // The owner takes its time with every byte; reopening must still end the
  // thread once it has delivered the byte in hand.
  std::atomic<int> handled{0};
  recorder.setSendHandler([&](const RecordedMessage&) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ++handled;
    return std::intptr_t{0};
  });
  EventSerialPort port;
  ASSERT_TRUE(Open(port, 1, EV_RXCHAR));
  ASSERT_TRUE(port.StartPortThread());
  ASSERT_TRUE(first.send(Bytes(200, 0x55)));
  ASSERT_TRUE(recorder.waitFor(MessageIs(WM_PORT_CHAR), 2000));
  ASSERT_TRUE(Open(port, 2, EV_RXCHAR));
  EXPECT_LT(handled.load(), 200) << "the old thread stopped delivering when asked to end";
  EXPECT_TRUE(port.IsOpen());
}

TEST_F(PortOverPty, OpeningAMissingPortFailsWithoutAnErrorBox) {
  platform::SetSerialPortPath(3, "/dev/kestrin-no-such-port");
  EventSerialPort port;
  EXPECT_FALSE(Open(port, 3));
  EXPECT_FALSE(port.IsOpen());
  EXPECT_FALSE(port.StartPortThread());
  EXPECT_NE(port.LastOpenError().find("/dev/kestrin-no-such-port"), std::string::npos);
  EXPECT_TRUE(ErrorBoxes::Texts().empty());
  EXPECT_FALSE(port.QueueWrite(reinterpret_cast<const std::uint8_t*>("x"), 1));
  EXPECT_FALSE(Open(port, 0));
  EXPECT_FALSE(Open(port, 31));
  platform::SetSerialPortPath(3, "");
}

TEST_F(PortOverPty, OpeningKeepsTheSettingsAndMaskForTheConfigurationDialog) {
  EventSerialPort port;
  EXPECT_EQ(port.CurrentEventMask(), 0u);
  EXPECT_EQ(port.SendBufferSize(), 512);
  EXPECT_EQ(port.CurrentLineSettings().baudRate, 9600u);
  // A pseudo-terminal keeps only 8 data bits without parity.
  ASSERT_TRUE(port.OpenPort(kOwner, 1, 19200, 'N', 8, 2, kTerminalMask, 100));
  const platform::SerialLineSettings settings = port.CurrentLineSettings();
  EXPECT_EQ(settings.baudRate, 19200u);
  EXPECT_EQ(settings.stopBits, platform::StopBits::Two);
  EXPECT_TRUE(ErrorBoxes::Texts().empty());
  EXPECT_EQ(port.CurrentEventMask(), kTerminalMask);
  EXPECT_EQ(port.SendBufferSize(), 100);
}

class PortOverFake : public ::testing::Test {
 protected:
  void SetUp() override {
    fake = std::make_shared<platform::testing::FakeSerialPort>();
    fake->install();
    ErrorBoxes::Clear();
    SetPortErrorReporter(&ErrorBoxes::Record);
  }
  void TearDown() override {
    SetPortErrorReporter(nullptr);
    platform::testing::FakeSerialPort::uninstall();
  }
  bool WaitForBoxes(std::size_t count) {
    for (int attempt = 0; attempt < 300; ++attempt) {
      if (ErrorBoxes::Texts().size() >= count) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  std::shared_ptr<platform::testing::FakeSerialPort> fake;
  MessageRecorder recorder;
};

TEST_F(PortOverFake, OpenSetsTimeoutsAndLineSettings) {
  EventSerialPort port;
  ASSERT_TRUE(port.OpenPort(kOwner, 4, 2400, 'O', 7, 1, kTerminalMask, 512));
  EXPECT_EQ(port.CurrentLineSettings().parity, platform::Parity::Odd);
  EXPECT_EQ(port.CurrentLineSettings().dataBits, 7);
  EXPECT_EQ(fake->lineSettings().dataBits, 7);
  EXPECT_EQ(fake->timeouts().writeTotalConstant, 1000u);
  EXPECT_EQ(fake->lineSettings().baudRate, 2400u);
  EXPECT_EQ(fake->lineSettings().parity, platform::Parity::Odd);
  EXPECT_EQ(fake->lineSettings().rts, platform::RtsControl::Enable);
  EXPECT_FALSE(fake->events(platform::testing::FakeSerialEvent::Kind::Purge).empty());
  EXPECT_TRUE(ErrorBoxes::Texts().empty());
}

TEST_F(PortOverFake, RefusedLineSettingsShowTheErrorBoxAndThePortStaysOpen) {
  fake->setRefuseConfigure(true);
  EventSerialPort port;
  EXPECT_TRUE(port.OpenPort(kOwner, 4, 9600, 'N', 8, 1, kTerminalMask, 512));
  ASSERT_EQ(ErrorBoxes::Texts().size(), 1u);
  const std::string text = ErrorBoxes::Texts()[0];
  EXPECT_EQ(text.rfind("WARNING:  SetCommState() Failed with the following error: \n", 0), 0u) << text;
  EXPECT_NE(text.find("\nPort: 4\n"), std::string::npos) << text;
  EXPECT_EQ(ErrorBoxes::titles[0], "Application Error");
  EXPECT_TRUE(port.IsOpen());
}

TEST_F(PortOverFake, ABadDefinitionShowsBuildCommDcb) {
  EventSerialPort port;
  EXPECT_TRUE(port.OpenPort(kOwner, 2, 9600, 'Q', 8, 1, kTerminalMask, 512));
  ASSERT_EQ(ErrorBoxes::Texts().size(), 1u);
  EXPECT_EQ(ErrorBoxes::Texts()[0],
            "WARNING:  BuildCommDCB() Failed with the following error: \nInvalid argument\nPort: 2\n");
}

TEST_F(PortOverFake, AFailingWriteShowsTheErrorBoxAndTheThreadCarriesOn) {
  EventSerialPort port;
  ASSERT_TRUE(port.OpenPort(kOwner, 3, 9600, 'N', 8, 1, kTerminalMask, 512));
  ASSERT_TRUE(port.StartPortThread());
  fake->setFailWrites(true);
  const Bytes request = {1, 2, 3};
  ASSERT_TRUE(port.QueueWrite(request.data(), 3));
  ASSERT_TRUE(WaitForBoxes(1));
  EXPECT_EQ(ErrorBoxes::Texts()[0].rfind("WARNING:  WriteFile() Failed with the following error: \n", 0), 0u);
  EXPECT_NE(ErrorBoxes::Texts()[0].find("Port: 3"), std::string::npos);

  fake->setFailWrites(false);
  ASSERT_TRUE(port.QueueWrite(request.data(), 3));
  fake->queueReceive({0x99});
  ASSERT_TRUE(recorder.waitFor(MessageIs(WM_PORT_CHAR), 2000));
  for (int attempt = 0; attempt < 200 && fake->written().size() < 3; ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(fake->written(), request);
  EXPECT_TRUE(port.IsThreadRunning());
  EXPECT_EQ(ErrorBoxes::Texts().size(), 1u);
}

TEST_F(PortOverFake, TheUserInterfaceNeverWaitsForASlowWrite) {
  // The peer takes half a second per write while the monitor thread holds
  // the port; queuing and the getters must not wait for it.
  std::atomic<bool> writing{false};
  fake->setWriteResponder([&](const Bytes&) {
    writing.store(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    return Bytes{};
  });
  EventSerialPort port;
  ASSERT_TRUE(port.OpenPort(kOwner, 1, 9600, 'N', 8, 1, kTerminalMask, 512));
  ASSERT_TRUE(port.StartPortThread());
  const Bytes first = {1};
  ASSERT_TRUE(port.QueueWrite(first.data(), 1));
  for (int attempt = 0; attempt < 200 && !writing.load(); ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_TRUE(writing.load());
  const auto start = std::chrono::steady_clock::now();
  const Bytes second = {2};
  EXPECT_TRUE(port.QueueWrite(second.data(), 1));
  EXPECT_EQ(port.CurrentLineSettings().baudRate, 9600u);
  EXPECT_TRUE(port.IsOpen());
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_LT(waited, std::chrono::milliseconds(250));
}

TEST_F(PortOverFake, LineEventsOfTheMaskAreNotifiedAndReadsGoOn) {
  EventSerialPort port;
  const std::uint32_t mask = EV_RXCHAR | EV_ERR | EV_BREAK | EV_RING;
  ASSERT_TRUE(port.OpenPort(kOwner, 1, 9600, 'N', 8, 1, mask, 512));
  ASSERT_TRUE(port.StartPortThread());
  fake->injectLineError(platform::kErrorParity);
  // Every notification of the mask goes out on every port event; ring is the last.
  ASSERT_TRUE(recorder.waitFor(MessageIs(WM_PORT_RING, kOwner), 2000));
  EXPECT_GE(recorder.count(MessageIs(WM_PORT_ERROR)), 1u);
  EXPECT_GE(recorder.count(MessageIs(WM_PORT_BREAK)), 1u);
  EXPECT_EQ(recorder.count(MessageIs(WM_PORT_CTS)), 0u);
  fake->queueReceive({0x10, 0x20});
  ASSERT_TRUE(recorder.waitForCount(MessageIs(WM_PORT_CHAR), 2, 2000));
  EXPECT_EQ(CharBytes(recorder.messages(), 1), (Bytes{0x10, 0x20}));
  EXPECT_TRUE(ErrorBoxes::Texts().empty());
}

TEST_F(PortOverFake, ACtsChangeIsNotifiedWithoutReceivedBytes) {
  EventSerialPort port;
  ASSERT_TRUE(port.OpenPort(kOwner, 1, 9600, 'N', 8, 1, kTerminalMask, 512));
  ASSERT_TRUE(port.StartPortThread());
  fake->setModemLines(platform::kLineCts);
  ASSERT_TRUE(recorder.waitFor(MessageIs(WM_PORT_CTS, kOwner), 2000));
  EXPECT_EQ(recorder.count(MessageIs(WM_PORT_CHAR)), 0u);
}

}  // namespace
}  // namespace kestrin
