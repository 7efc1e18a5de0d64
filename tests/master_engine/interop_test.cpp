// The master engine against an independent Modbus server (pymodbus), over
// Modbus/TCP, RTU over TCP, Modbus/UDP (IPv4, IPv6 and a host name) and over
// pty pairs in RTU and ASCII: every function code, values checked against the
// server's tables.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "link/serial_link.h"
#include "tests/master_engine/loopback_peers.h"
#include "master/engine/comm_interface.h"
#include "master/engine/transactions.h"
#include "platform/port_map.h"
#include "platform/testing/message_recorder.h"

extern char** environ;

using namespace masterengine;
using testpeer::FreePort;
using testpeer::PortAccepts;
using testpeer::Pty;
using testpeer::PtyBridge;

namespace {

enum class Transport { Tcp, Rtu, Ascii, RtuOverTcp, Udp, Ipv6Udp, HostName };

const char* TransportName(Transport t) {
  switch (t) {
    case Transport::Tcp: return "Tcp";
    case Transport::Rtu: return "Rtu";
    case Transport::Ascii: return "Ascii";
    case Transport::RtuOverTcp: return "RtuOverTcp";
    case Transport::Udp: return "Udp";
    case Transport::Ipv6Udp: return "Ipv6Udp";
    case Transport::HostName: return "HostName";
  }
  return "";
}

const char* const kServerScript = MODBUS_PEER_SERVER;

// Runs the pymodbus server as a child process; stops it by pid.
class PeerServer {
 public:
  PeerServer(const std::string& mode, const std::string& where, const std::string& host = "127.0.0.1") {
    int output[2];
    if (::pipe(output) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output[1], 1);
    posix_spawn_file_actions_addclose(&actions, output[0]);
    const char* argv[] = {"/usr/bin/python3", kServerScript, mode.c_str(), where.c_str(), "--host", host.c_str(),
                          nullptr};
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, const_cast<char**>(argv), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(output[1]);
    stdout_ = output[0];
  }
  ~PeerServer() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
    ::close(stdout_);
  }
  bool running() const { return pid_ > 0; }

  // Waits for the line the server prints once its device is open.
  bool waitForReadyLine(int timeoutMs) {
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (text.find("READY") == std::string::npos) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      pollfd entry{stdout_, POLLIN, 0};
      if (::poll(&entry, 1, static_cast<int>(left.count())) <= 0) return false;
      char buffer[256];
      const ssize_t got = ::read(stdout_, buffer, sizeof buffer);
      if (got <= 0) return false;
      text.append(buffer, static_cast<std::size_t>(got));
    }
    return true;
  }

 private:
  pid_t pid_ = -1;
  int stdout_ = -1;
};

class InteropTest : public ::testing::TestWithParam<Transport> {
 protected:
  void SetUp() override {
    InitEngine();
    if (GetParam() == Transport::Tcp) {
      const std::uint16_t port = FreePort();
      server_ = std::make_unique<PeerServer>("tcp", std::to_string(port));
      ASSERT_TRUE(server_->running());
      bool accepting = false;
      for (int i = 0; i < 500 && !(accepting = PortAccepts(port)); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // retry until the server accepts
      }
      ASSERT_TRUE(accepting) << "pymodbus server did not come up";
      ASSERT_EQ(NetConnect(kLinkTcp, "127.0.0.1", port, 2000), RESULT_OK);
      SetLinkMode(kLinkTcp);
    } else if (GetParam() != Transport::Rtu && GetParam() != Transport::Ascii) {
      const Transport t = GetParam();
      const std::uint16_t port = FreePort();
      const std::uint16_t mode = t == Transport::Udp || t == Transport::Ipv6Udp ? kLinkUdp : kLinkRtuOverTcp;
      server_ = std::make_unique<PeerServer>(mode == kLinkUdp ? "udp" : "rtu-over-tcp", std::to_string(port),
                                             t == Transport::Ipv6Udp ? "::1" : "127.0.0.1");
      ASSERT_TRUE(server_->running());
      ASSERT_TRUE(server_->waitForReadyLine(15000)) << "pymodbus server did not come up";
      const char* host = t == Transport::Ipv6Udp ? "[::1]" : t == Transport::HostName ? "localhost" : "127.0.0.1";
      ASSERT_EQ(NetConnect(mode, host, port, 2000), RESULT_OK);
      SetLinkMode(mode);
    } else {
      const bool rtu = GetParam() == Transport::Rtu;
      ASSERT_FALSE(enginePty_.path.empty());
      ASSERT_FALSE(serverPty_.path.empty());
      bridge_ = std::make_unique<PtyBridge>(enginePty_.master, serverPty_.master);
      server_ = std::make_unique<PeerServer>(rtu ? "rtu" : "ascii", serverPty_.path);
      ASSERT_TRUE(server_->running());
      ASSERT_TRUE(server_->waitForReadyLine(15000)) << "pymodbus serial server did not come up";
      platform::SetSerialPortPath(1, enginePty_.path);
      ASSERT_TRUE(OpenSerialPort(1, 19200, 8, 0, 0));
      ASSERT_TRUE(SetSerialTimeouts(rtu ? 60 : 1000, 1, 2000, 1, 200));
      SetLinkMode(rtu ? kLinkRtu : kLinkAscii);
    }
  }
  void TearDown() override {
    StopPolling();
    TcpDisconnect();
    CloseSerialPort();
    server_.reset();
    bridge_.reset();
  }

  Pty enginePty_;
  Pty serverPty_;
  std::unique_ptr<PtyBridge> bridge_;
  std::unique_ptr<PeerServer> server_;
};

}  // namespace

TEST_P(InteropTest, EveryFunctionCodeAgainstPymodbus) {
  std::uint8_t bits[32];
  ASSERT_EQ(ReadBits(1, 1, 10, 20, bits), RESULT_OK);
  for (int k = 0; k < 20; ++k) EXPECT_EQ(bits[k], (10 + k) % 3 == 0 ? 1 : 0) << "coil " << 10 + k;
  ASSERT_EQ(ReadBits(1, 2, 5, 13, bits), RESULT_OK);
  for (int k = 0; k < 13; ++k) EXPECT_EQ(bits[k], (5 + k) % 2 == 1 ? 1 : 0) << "input " << 5 + k;

  std::uint16_t words[127];
  ASSERT_EQ(ReadRegisters(1, 3, 100, 125, words), RESULT_OK);
  for (int i = 0; i < 125; ++i) ASSERT_EQ(words[i], 1100 + i);
  ASSERT_EQ(ReadRegisters(1, 4, 7, 5, words), RESULT_OK);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(words[i], 2007 + i);

  ASSERT_EQ(WriteSingleCoil(1, 1, 1), RESULT_OK);
  ASSERT_EQ(WriteSingleCoil(1, 3, 0), RESULT_OK);
  ASSERT_EQ(ReadBits(1, 1, 0, 4, bits), RESULT_OK);
  EXPECT_EQ(std::vector<std::uint8_t>(bits, bits + 4), (std::vector<std::uint8_t>{1, 1, 0, 0}));

  ASSERT_EQ(WriteSingleRegister(1, 20, 0xBEEF), RESULT_OK);
  ASSERT_EQ(ReadRegisters(1, 3, 20, 1, words), RESULT_OK);
  EXPECT_EQ(words[0], 0xBEEF);

  const std::uint8_t coils[10] = {1, 1, 0, 1, 0, 0, 1, 1, 0, 1};
  ASSERT_EQ(WriteMultipleCoils(1, 30, 10, coils), RESULT_OK);
  ASSERT_EQ(ReadBits(1, 1, 30, 10, bits), RESULT_OK);
  EXPECT_EQ(std::vector<std::uint8_t>(bits, bits + 10), std::vector<std::uint8_t>(coils, coils + 10));

  const std::uint16_t values[3] = {0x1234, 0, 0xFFFF};
  ASSERT_EQ(WriteMultipleRegisters(1, 40, 3, values), RESULT_OK);
  ASSERT_EQ(ReadRegisters(1, 3, 40, 3, words), RESULT_OK);
  EXPECT_EQ(words[0], 0x1234);
  EXPECT_EQ(words[2], 0xFFFF);

  ASSERT_EQ(MaskWriteRegister(1, 50, 0x00F2, 0x0025), RESULT_OK);  // 1050 = 0x041A
  ASSERT_EQ(ReadRegisters(1, 3, 50, 1, words), RESULT_OK);
  EXPECT_EQ(words[0], (0x041A & 0x00F2) | (0x0025 & ~0x00F2));

  std::uint16_t readWrite[4] = {7, 8};
  ASSERT_EQ(ReadWriteRegisters(1, 60, 4, 61, 2, readWrite), RESULT_OK);
  EXPECT_EQ(readWrite[0], 1060);
  EXPECT_EQ(readWrite[1], 7);
  EXPECT_EQ(readWrite[2], 8);
  EXPECT_EQ(readWrite[3], 1063);

  EXPECT_EQ(ReadRegisters(1, 3, 395, 20, words), RESULT_EXCEPTION_BASE + 2);
}

TEST_P(InteropTest, PollThreadServesPollsAndOneShots) {
  platform::testing::MessageRecorder recorder;
  SetDelayBetweenPolls(0);
  const WindowHandle owner = 0x2001;
  const int slot = RegisterPoll(owner, platform::WM_ENGINE_NOTIFY, 50, 1, 4, 10, 4, 0, 0);
  ASSERT_EQ(slot, 1);
  SetPollMode(slot, kModeContinuous);
  ASSERT_EQ(StartPolling(), 1);
  ASSERT_TRUE(recorder.waitFor(platform::testing::MessageIs(platform::WM_ENGINE_NOTIFY, owner), 10000));
  std::uint16_t words[kMaxValueWords];
  EXPECT_EQ(ReadResultRegisters(slot, words), RESULT_OK);
  EXPECT_EQ(words[0], 2010);
  EXPECT_EQ(words[3], 2013);

  const WindowHandle dialog = 0x2002;
  ASSERT_EQ(SubmitOneShot(dialog, platform::WM_ENGINE_NOTIFY, 1, 16, 0, 0, 70, 0), 1);
  const std::uint16_t values[2] = {11, 22};
  ASSERT_EQ(SetWriteRegisters(0, 2, values), 1);
  const auto done = recorder.waitFor(platform::testing::MessageIs(platform::WM_ENGINE_NOTIFY, dialog), 10000);
  ASSERT_TRUE(done);
  EXPECT_EQ(done->wParam, RESULT_OK);
  EXPECT_EQ(done->lParam, 0);
  StopPolling();
  ASSERT_EQ(ReadRegisters(1, 3, 70, 2, words), RESULT_OK);
  EXPECT_EQ(words[0], 11);
  EXPECT_EQ(words[1], 22);
}

INSTANTIATE_TEST_SUITE_P(Transports, InteropTest,
                         ::testing::Values(Transport::Tcp, Transport::Rtu, Transport::Ascii, Transport::RtuOverTcp,
                                           Transport::Udp, Transport::Ipv6Udp, Transport::HostName),
                         [](const auto& info) { return TransportName(info.param); });
