// The master engine against libmodbus as the server, over Modbus/TCP and over
// bridged pty pairs in RTU: every function code with values checked in the
// server's tables, exception replies, and a broadcast that the server applies
// without answering. libmodbus runs on a thread of this process.
#include <gtest/gtest.h>
#include <modbus.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>
#include <thread>

#include "link/serial_link.h"
#include "master/engine/comm_interface.h"
#include "master/engine/transactions.h"
#include "platform/port_map.h"
#include "tests/master_engine/loopback_peers.h"

using namespace masterengine;
using testpeer::Pty;
using testpeer::PtyBridge;

namespace {

enum class Transport { Tcp, Rtu };

constexpr int kTableSize = 200;

class LibmodbusInteropTest : public ::testing::TestWithParam<Transport> {
 protected:
  void SetUp() override {
    InitEngine();
    mapping_ = modbus_mapping_new(kTableSize, kTableSize, kTableSize, kTableSize);
    ASSERT_NE(mapping_, nullptr);
    for (int i = 0; i < kTableSize; ++i) {
      mapping_->tab_registers[i] = static_cast<std::uint16_t>(1000 + i);
      mapping_->tab_input_registers[i] = static_cast<std::uint16_t>(0x8000 + i);
      mapping_->tab_input_bits[i] = static_cast<std::uint8_t>(i % 3 == 0);
    }
    if (GetParam() == Transport::Tcp) {
      server_ = modbus_new_tcp("127.0.0.1", 0);
      ASSERT_NE(server_, nullptr);
      // Listen on an ephemeral port ourselves: it accepts before the thread runs.
      listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in address{};
      address.sin_family = AF_INET;
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      ASSERT_EQ(::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
      ASSERT_EQ(::listen(listener_, 1), 0);
      socklen_t length = sizeof address;
      ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
      serverThread_ = std::thread([this] {
        const int client = ::accept(listener_, nullptr, nullptr);
        if (client < 0) return;
        modbus_set_socket(server_, client);
        Serve();
        ::close(client);
      });
      ASSERT_EQ(NetConnect(kLinkTcp, "127.0.0.1", ntohs(address.sin_port), 2000), RESULT_OK);
      SetLinkMode(kLinkTcp);
    } else {
      ASSERT_FALSE(enginePty_.path.empty());
      ASSERT_FALSE(serverPty_.path.empty());
      bridge_ = std::make_unique<PtyBridge>(enginePty_.master, serverPty_.master);
      server_ = modbus_new_rtu(serverPty_.path.c_str(), 19200, 'N', 8, 1);
      ASSERT_NE(server_, nullptr);
      modbus_set_slave(server_, 1);
      ASSERT_EQ(modbus_connect(server_), 0) << modbus_strerror(errno);
      serverThread_ = std::thread([this] { Serve(); });
      platform::SetSerialPortPath(1, enginePty_.path);
      ASSERT_TRUE(OpenSerialPort(1, 19200, 8, 0, 0));
      ASSERT_TRUE(SetSerialTimeouts(60, 1, 2000, 1, 200));
      SetLinkMode(kLinkRtu);
    }
  }

  void TearDown() override {
    StopPolling();
    stop_ = true;
    TcpDisconnect();
    CloseSerialPort();
    if (serverThread_.joinable()) serverThread_.join();
    if (listener_ >= 0) ::close(listener_);
    if (server_ != nullptr) {
      if (GetParam() == Transport::Rtu) modbus_close(server_);
      modbus_free(server_);
    }
    bridge_.reset();
    if (mapping_ != nullptr) modbus_mapping_free(mapping_);
    platform::SetSerialPortPath(1, "");
  }

  // Answers requests until the test ends (a short indication time-out lets the
  // loop see the stop flag) or the TCP client goes away.
  void Serve() {
    modbus_set_indication_timeout(server_, 0, 100000);
    std::uint8_t query[MODBUS_MAX_ADU_LENGTH];
    while (!stop_) {
      const int length = modbus_receive(server_, query);
      if (length > 0) {
        modbus_reply(server_, query, length, mapping_);
      } else if (length < 0 && GetParam() == Transport::Tcp && errno != ETIMEDOUT) {
        return;  // connection closed
      }
    }
  }

  modbus_mapping_t* mapping_ = nullptr;
  modbus_t* server_ = nullptr;
  int listener_ = -1;
  std::atomic<bool> stop_{false};
  std::thread serverThread_;
  Pty enginePty_;
  Pty serverPty_;
  std::unique_ptr<PtyBridge> bridge_;
};

}  // namespace

TEST_P(LibmodbusInteropTest, EveryFunctionCodeReadsAndWritesTheServerTables) {
  std::uint16_t words[kMaxValueWords] = {};
  ASSERT_EQ(ReadRegisters(1, 3, 10, 125, words), RESULT_OK);
  EXPECT_EQ(words[0], 1010);
  EXPECT_EQ(words[124], 1134);
  ASSERT_EQ(ReadRegisters(1, 4, 0, 3, words), RESULT_OK);
  EXPECT_EQ(words[2], 0x8002);

  std::uint8_t bits[2000] = {};
  ASSERT_EQ(ReadBits(1, 2, 1, 10, bits), RESULT_OK);
  for (int k = 0; k < 10; ++k) EXPECT_EQ(bits[k], (k + 1) % 3 == 0 ? 1 : 0) << k;

  ASSERT_EQ(WriteSingleCoil(1, 7, 1), RESULT_OK);
  EXPECT_EQ(mapping_->tab_bits[7], 1);
  std::uint8_t coils[19] = {};
  for (int k = 0; k < 19; ++k) coils[k] = static_cast<std::uint8_t>(k % 2);
  ASSERT_EQ(WriteMultipleCoils(1, 20, 19, coils), RESULT_OK);
  ASSERT_EQ(ReadBits(1, 1, 20, 19, bits), RESULT_OK);
  for (int k = 0; k < 19; ++k) EXPECT_EQ(bits[k], k % 2) << k;
  ASSERT_EQ(ReadBits(1, 1, 7, 1, bits), RESULT_OK);
  EXPECT_EQ(bits[0], 1);

  ASSERT_EQ(WriteSingleRegister(1, 3, 0xBEEF), RESULT_OK);
  EXPECT_EQ(mapping_->tab_registers[3], 0xBEEF);
  std::uint16_t values[127];
  for (int i = 0; i < 127; ++i) values[i] = static_cast<std::uint16_t>(0x4000 + i);
  ASSERT_EQ(WriteMultipleRegisters(1, 50, 123, values), RESULT_OK);  // the most one request may carry
  EXPECT_EQ(mapping_->tab_registers[50], 0x4000);
  EXPECT_EQ(mapping_->tab_registers[172], 0x4000 + 122);

  ASSERT_EQ(MaskWriteRegister(1, 3, 0x00FF, 0x1200), RESULT_OK);
  EXPECT_EQ(mapping_->tab_registers[3], (0xBEEF & 0x00FF) | (0x1200 & ~0x00FF));

  std::uint16_t both[127] = {0x0A0A, 0x0B0B};
  ASSERT_EQ(ReadWriteRegisters(1, 0, 4, 1, 2, both), RESULT_OK);
  // The write comes before the read.
  EXPECT_EQ(both[0], 1000);
  EXPECT_EQ(both[1], 0x0A0A);
  EXPECT_EQ(both[2], 0x0B0B);
  EXPECT_EQ(both[3], 0x12EF);
}

TEST_P(LibmodbusInteropTest, ExceptionsAndBroadcasts) {
  std::uint16_t words[kMaxValueWords] = {};
  EXPECT_EQ(ReadRegisters(1, 3, kTableSize - 1, 2, words), RESULT_EXCEPTION_BASE + 2);
  EXPECT_STREQ(ResultText(RESULT_EXCEPTION_BASE + 2), "Illigal Data Address");
  std::uint16_t value = 1;
  EXPECT_EQ(WriteMultipleRegisters(1, kTableSize, 1, &value), RESULT_EXCEPTION_BASE + 2);
  // Still in step after the exceptions.
  ASSERT_EQ(ReadRegisters(1, 3, 0, 1, words), RESULT_OK);
  EXPECT_EQ(words[0], 1000);

  if (GetParam() == Transport::Rtu) {
    // A broadcast write gets no reply: the engine returns at once, the server applies it.
    EXPECT_EQ(WriteSingleRegister(0, 9, 0x5555), RESULT_OK);
    std::uint8_t received[kSlotReceivedCapacity];
    EXPECT_EQ(CopyLastReceivedFrame(received), 0);
    ASSERT_EQ(ReadRegisters(1, 3, 9, 1, words), RESULT_OK);
    EXPECT_EQ(words[0], 0x5555);
  }
}

TEST_P(LibmodbusInteropTest, PollThreadServesAPollAndAOneShotWrite) {
  SetDelayBetweenPolls(0);
  const int slot = RegisterPoll(0, platform::WM_ENGINE_NOTIFY, 10, 1, 3, 100, 4, 0, 0);
  ASSERT_GE(slot, 1);
  SetPollMode(slot, kModeContinuous);
  ASSERT_EQ(StartPolling(), 1);
  std::uint16_t words[kMaxValueWords] = {};
  for (int i = 0; i < 300 && GetResultCode(slot) != RESULT_OK; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_EQ(ReadResultRegisters(slot, words), RESULT_OK);
  EXPECT_EQ(words[0], 1100);
  ASSERT_EQ(SubmitOneShot(0, platform::WM_ENGINE_NOTIFY, 1, 16, 0, 0, 100, 0), 1);
  const std::uint16_t values[2] = {7, 8};
  ASSERT_EQ(SetWriteRegisters(0, 2, values), 1);

  // Wait (bounded) until a poll after the write has seen the new values.
  bool seen = false;
  for (int i = 0; i < 300 && !seen; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    seen = ReadResultRegisters(slot, words) == RESULT_OK && words[0] == 7 && words[1] == 8;
  }
  EXPECT_TRUE(seen);
  EXPECT_EQ(words[2], 1102);
  EXPECT_EQ(GetResultCode(0), RESULT_OK);
  StopPolling();
  std::uint32_t sent = 0, good = 0;
  ASSERT_EQ(ReadCounters(slot, &sent, &good), 1);
  EXPECT_GT(sent, 1u);
  EXPECT_EQ(sent, good);
}

INSTANTIATE_TEST_SUITE_P(Transports, LibmodbusInteropTest, ::testing::Values(Transport::Tcp, Transport::Rtu),
                         [](const auto& info) { return info.param == Transport::Tcp ? "Tcp" : "Rtu"; });
