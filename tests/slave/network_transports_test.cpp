// The server's other network transports over loopback: RTU over TCP (frames
// split across segments and joined in one, bad CRC, broadcast silence, Ignore
// Unit ID), Modbus/UDP (whole datagrams only, replies to the sender), IPv6
// listen addresses and the serving text.
#include <gtest/gtest.h>

#include <thread>

#include "link/checksums.h"
#include "link/framing.h"
#include "slave/core/slave_settings.h"
#include "slave/engine/receive_loop.h"
#include "slave/engine/slave_engine.h"
#include "slave/engine/tcp_server.h"
#include "socket_client.h"

using namespace slavetest;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes Rtu(Bytes frame) {
  frame.resize(frame.size() + 2);
  linklayer::AppendCrc(frame.data(), static_cast<std::uint16_t>(frame.size() - 2));
  return frame;
}

Bytes ReadRtu(std::uint8_t unit, std::uint16_t address, std::uint16_t count) {
  return Rtu({unit, 3, static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address),
              static_cast<std::uint8_t>(count >> 8), static_cast<std::uint8_t>(count)});
}

// A UDP socket sending to 127.0.0.1:port.
class Datagrams {
 public:
  explicit Datagrams(std::uint16_t port) {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    to_.sin_family = AF_INET;
    to_.sin_port = htons(port);
    to_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  }
  ~Datagrams() { ::close(fd_); }
  void send(const Bytes& b) {
    ::sendto(fd_, b.data(), b.size(), 0, reinterpret_cast<const sockaddr*>(&to_), sizeof to_);
  }
  // One datagram, or nothing within timeoutMs.
  Bytes receive(int timeoutMs) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0) return {};
    std::uint8_t buffer[600];
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    return n > 0 ? Bytes(buffer, buffer + n) : Bytes{};
  }

 private:
  int fd_ = -1;
  sockaddr_in to_{};
};

class TransportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    slaveengine::InitEngine();
    slaveengine::SetIgnoreUnitId(false);
    slot_ = slaveengine::RegisterSlot(0, platform::WM_ENGINE_NOTIFY, 0, 17, slaveengine::kHoldingRegisters, 0, 100);
    for (int i = 0; i < 100; ++i) slaveengine::SetRegisterValue(slot_, i, static_cast<std::uint16_t>(0x100 + i));
  }
  void Start(slavetcp::Framing framing, const char* address = "127.0.0.1") {
    ASSERT_EQ(slavetcp::StartTcpServer(address, 0, framing), 0) << slavetcp::LastTcpServerError();
    port_ = slavetcp::ListeningPort();
    slaveloop::SetLinkMode(slaveloop::kLinkTcp);
    ASSERT_EQ(slaveloop::StartReceiveThread(), 1);
  }
  void TearDown() override {
    slaveloop::StopReceiveThread();
    slavetcp::StopTcpServer();
    slaveengine::SetIgnoreUnitId(false);
  }
  std::uint16_t RegisterAt(int index) {
    std::uint16_t words[100] = {};
    slaveengine::ReadSlotRegisters(slot_, words);
    return words[index];
  }
  int slot_ = -1;
  std::uint16_t port_ = 0;
};

Bytes ExpectedReadReply(std::uint8_t unit, std::uint16_t address, std::uint16_t count) {
  Bytes r{unit, 3, static_cast<std::uint8_t>(2 * count)};
  for (int i = 0; i < count; ++i) {
    r.push_back(static_cast<std::uint8_t>((0x100 + address + i) >> 8));
    r.push_back(static_cast<std::uint8_t>(0x100 + address + i));
  }
  return Rtu(r);
}

TEST_F(TransportTest, RtuOverTcpFramesSplitJoinedAndSpoiled) {
  Start(slavetcp::Framing::kRtu);
  EXPECT_EQ(slavetcp::ServedFraming(), slavetcp::Framing::kRtu);
  Client c(port_);
  ASSERT_TRUE(c.connected());

  // One frame in three segments: answered once whole.
  const Bytes request = ReadRtu(17, 5, 3);
  ASSERT_TRUE(c.send({request.begin(), request.begin() + 1}));
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  ASSERT_TRUE(c.send({request.begin() + 1, request.begin() + 5}));
  EXPECT_TRUE(c.receive(1, 60).empty()) << "no reply before the frame is whole";
  ASSERT_TRUE(c.send({request.begin() + 5, request.end()}));
  EXPECT_EQ(c.receive(11, 2000), ExpectedReadReply(17, 5, 3));

  // Three frames in one segment, a write among them, then half a fourth.
  Bytes burst = ReadRtu(17, 0, 1);
  const Bytes write = Rtu({17, 16, 0, 9, 0, 2, 4, 0xAB, 0xCD, 0x12, 0x34});
  burst.insert(burst.end(), write.begin(), write.end());
  const Bytes last = ReadRtu(17, 9, 2);
  burst.insert(burst.end(), last.begin(), last.end());
  const Bytes fourth = ReadRtu(17, 1, 1);
  burst.insert(burst.end(), fourth.begin(), fourth.begin() + 3);
  ASSERT_TRUE(c.send(burst));
  Bytes expected = ExpectedReadReply(17, 0, 1);
  const Bytes echo = Rtu({17, 16, 0, 9, 0, 2});
  expected.insert(expected.end(), echo.begin(), echo.end());
  const Bytes afterWrite = Rtu({17, 3, 4, 0xAB, 0xCD, 0x12, 0x34});
  expected.insert(expected.end(), afterWrite.begin(), afterWrite.end());
  EXPECT_EQ(c.receive(expected.size(), 2000), expected);
  ASSERT_TRUE(c.send({fourth.begin() + 3, fourth.end()}));
  EXPECT_EQ(c.receive(7, 2000), ExpectedReadReply(17, 1, 1));

  // A bad CRC gets no answer, as on a line; the next good frame does.
  Bytes spoiled = ReadRtu(17, 0, 1);
  spoiled.back() ^= 0xFF;
  ASSERT_TRUE(c.send(spoiled));
  EXPECT_TRUE(c.receive(1, 150).empty()) << "a frame with a bad CRC is not answered";
  ASSERT_TRUE(c.send(ReadRtu(17, 2, 1)));
  EXPECT_EQ(c.receive(7, 2000), ExpectedReadReply(17, 2, 1));

  // Unserved addresses and unsupported functions.
  ASSERT_TRUE(c.send(ReadRtu(18, 0, 1)));
  EXPECT_TRUE(c.receive(1, 150).empty());
  ASSERT_TRUE(c.send(Rtu({17, 0x41})));
  EXPECT_EQ(c.receive(5, 2000), Rtu({17, 0xC1, 1}));
}

TEST_F(TransportTest, RtuOverTcpBroadcastsAreCarriedOutButNeverAnswered) {
  Start(slavetcp::Framing::kRtu);
  Client c(port_);
  ASSERT_TRUE(c.send(Rtu({0, 6, 0, 4, 0x42, 0x42})));
  ASSERT_TRUE(c.send(Rtu({0, 22, 0, 4, 0, 0, 0, 0})));
  ASSERT_TRUE(c.send(Rtu({0, 23, 0, 0, 0, 1, 0, 0, 0, 1, 2, 0, 0})));
  ASSERT_TRUE(c.send(Rtu({0, 0x41})));
  ASSERT_TRUE(c.send(ReadRtu(0, 0, 1)));
  EXPECT_TRUE(c.receive(1, 200).empty()) << "address 0 gets no reply of any kind";
  EXPECT_EQ(RegisterAt(4), 0x4242) << "the broadcast write is carried out";

  // Ignore Unit ID serves every address but still not the broadcast.
  slaveengine::SetIgnoreUnitId(true);
  ASSERT_TRUE(c.send(ReadRtu(99, 5, 1)));
  EXPECT_EQ(c.receive(7, 2000), ExpectedReadReply(99, 5, 1));
  ASSERT_TRUE(c.send(ReadRtu(0, 5, 1)));
  EXPECT_TRUE(c.receive(1, 150).empty());
}

TEST_F(TransportTest, UdpServesWholeDatagramsAndAnswersTheSender) {
  Start(slavetcp::Framing::kUdp);
  Datagrams a(port_), b(port_);
  a.send(ReadHoldingRequest(0x0101, 17, 5, 2));
  b.send(ReadHoldingRequest(0x0202, 17, 7, 1));
  const Bytes fromA = a.receive(2000);
  const Bytes fromB = b.receive(2000);
  ASSERT_EQ(fromA.size(), 13u);
  EXPECT_EQ(fromA[0] << 8 | fromA[1], 0x0101);
  EXPECT_EQ(fromA[9] << 8 | fromA[10], 0x105);
  ASSERT_EQ(fromB.size(), 11u);
  EXPECT_EQ(fromB[0] << 8 | fromB[1], 0x0202);
  EXPECT_EQ(fromB[9] << 8 | fromB[10], 0x107);

  // Not one whole request: ignored, and the server goes on.
  Bytes oversized = ReadHoldingRequest(3, 17, 0, 1);
  oversized.resize(2000, 0);
  a.send(oversized);
  Bytes shortLength = ReadHoldingRequest(4, 17, 0, 1);
  shortLength[5] = 3;  // the length field does not match the datagram
  a.send(shortLength);
  a.send({0, 5, 0, 0, 0});
  EXPECT_TRUE(a.receive(150).empty());
  a.send(ReadHoldingRequest(6, 17, 0, 1));
  const Bytes after = a.receive(2000);
  ASSERT_EQ(after.size(), 11u);
  EXPECT_EQ(after[1], 6);
}

TEST_F(TransportTest, Ipv6ListenAddressAndServingText) {
  Start(slavetcp::Framing::kMbap, "[::1]");
  EXPECT_EQ(slavetcp::ListeningAddress(), "::1");
  EXPECT_EQ(slavesettings::ServingText(slavesettings::kTransportModbusTcp, slavetcp::ListeningAddress(), port_),
            "Modbus/TCP [::1]:" + std::to_string(port_));
  const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in6 to{};
  to.sin6_family = AF_INET6;
  to.sin6_port = htons(port_);
  to.sin6_addr = in6addr_loopback;
  ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
  const Bytes request = ReadHoldingRequest(9, 17, 3, 1);
  ASSERT_EQ(::send(fd, request.data(), request.size(), 0), static_cast<ssize_t>(request.size()));
  std::uint8_t reply[32];
  pollfd p{fd, POLLIN, 0};
  ASSERT_EQ(::poll(&p, 1, 2000), 1);
  ASSERT_EQ(::recv(fd, reply, sizeof reply, 0), 11);
  EXPECT_EQ(reply[9] << 8 | reply[10], 0x103);
  ::close(fd);
  EXPECT_EQ(slavesettings::ServingText(slavesettings::kTransportRtuOverTcp, "127.0.0.1", 1502),
            "RTU over TCP 127.0.0.1:1502");
  EXPECT_EQ(slavesettings::ServingText(slavesettings::kTransportUdp, "0.0.0.0", 502), "Modbus/UDP 0.0.0.0:502");
}

TEST(TransportStart, UdpPortInUseTellsWhy) {
  const int blocker = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(blocker, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  socklen_t size = sizeof a;
  ::getsockname(blocker, reinterpret_cast<sockaddr*>(&a), &size);
  EXPECT_EQ(slavetcp::StartTcpServer("127.0.0.1", ntohs(a.sin_port), slavetcp::Framing::kUdp), 1);
  EXPECT_FALSE(slavetcp::IsTcpServerRunning());
  EXPECT_NE(slavetcp::LastTcpServerError().find("Address already in use"), std::string::npos)
      << slavetcp::LastTcpServerError();
  EXPECT_EQ(slavetcp::StartTcpServer("[::1", 1502, slavetcp::Framing::kRtu), 1);
  EXPECT_NE(slavetcp::LastTcpServerError().find("address [::1"), std::string::npos);
  ::close(blocker);
}

}  // namespace
