// The master's RTU over TCP and Modbus/UDP exchanges against scripted peers on
// loopback: replies split across segments or followed by stray bytes, bad CRCs,
// a gateway that sends garbage or half a frame and closes, broadcasts, datagrams
// from a stranger, oversized or stale datagrams, and the connect failures.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "link/framing.h"
#include "master/engine/comm_interface.h"
#include "master/engine/transactions.h"
#include "tests/master_engine/fake_tcp_server.h"
#include "tests/master_engine/frame_records.h"
#include "tests/master_engine/loopback_peers.h"

using namespace masterengine;
using testpeer::Answer;
using testpeer::Bytes;
using testpeer::FakeTcpServer;
using testpeer::LastReceivedFrame;
using testpeer::LastSentFrame;

namespace {

Bytes Rtu(Bytes frame) {
  frame.resize(frame.size() + 2);
  linklayer::AppendCrc(frame.data(), static_cast<std::uint16_t>(frame.size() - 2));
  return frame;
}

// The reply of slave 1 to a read of two holding registers: 0x1234, 0x5678.
const Bytes kTwoRegisters = Rtu({1, 3, 4, 0x12, 0x34, 0x56, 0x78});

class RtuOverTcpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitEngine();
    server_ = std::make_unique<FakeTcpServer>([](const Bytes&) { return Answer{{kTwoRegisters}}; });
    server_->setRtuFrames(true);
    ASSERT_EQ(NetConnect(kLinkRtuOverTcp, "127.0.0.1", server_->port(), 300), RESULT_OK);
    SetLinkMode(kLinkRtuOverTcp);
  }
  void TearDown() override { TcpDisconnect(); }
  std::uint16_t Read(std::uint16_t* words) { return ReadRegisters(1, 3, 0, 2, words); }
  std::unique_ptr<FakeTcpServer> server_;
};

TEST_F(RtuOverTcpTest, RepliesSplitOrFollowedByStrayBytes) {
  std::uint16_t words[2] = {};
  ASSERT_EQ(Read(words), RESULT_OK);
  EXPECT_EQ(words[0], 0x1234);
  EXPECT_EQ(words[1], 0x5678);
  EXPECT_EQ(server_->requests().back(), Rtu({1, 3, 0, 0, 0, 2})) << "RTU frame with CRC, no MBAP header";
  EXPECT_EQ(LastSentFrame(), Rtu({1, 3, 0, 0, 0, 2}));
  EXPECT_EQ(LastReceivedFrame(), kTwoRegisters);

  // In three segments: address, the function and byte count, the rest.
  server_->setHandler([](const Bytes&) {
    return Answer{{Bytes(kTwoRegisters.begin(), kTwoRegisters.begin() + 1),
                   Bytes(kTwoRegisters.begin() + 1, kTwoRegisters.begin() + 3),
                   Bytes(kTwoRegisters.begin() + 3, kTwoRegisters.end())},
                  40};
  });
  words[0] = 0;
  ASSERT_EQ(Read(words), RESULT_OK);
  EXPECT_EQ(words[0], 0x1234);

  // Stray bytes after the reply are neither part of it nor taken for the next one.
  server_->setHandler([](const Bytes&) {
    Bytes joined = kTwoRegisters;
    joined.insert(joined.end(), {0xDE, 0xAD, 0xBE});
    return Answer{{joined}};
  });
  ASSERT_EQ(Read(words), RESULT_OK);
  EXPECT_EQ(LastReceivedFrame(), kTwoRegisters);
  server_->setHandler([](const Bytes&) { return Answer{{kTwoRegisters}}; });
  ASSERT_EQ(Read(words), RESULT_OK);
  EXPECT_EQ(LastReceivedFrame(), kTwoRegisters);
}

TEST_F(RtuOverTcpTest, CheckFailuresExceptionsAndBroadcasts) {
  std::uint16_t words[2] = {};
  server_->setHandler([](const Bytes&) {
    Bytes spoiled = kTwoRegisters;
    spoiled.back() ^= 0x01;
    return Answer{{spoiled}};
  });
  EXPECT_EQ(Read(words), RESULT_CRC);
  server_->setHandler([](const Bytes&) { return Answer{{Rtu({1, 0x83, 2})}}; });
  EXPECT_EQ(Read(words), RESULT_EXCEPTION_BASE + 2);
  server_->setHandler([](const Bytes&) { return Answer{{Rtu({1, 3, 2, 0, 1})}}; });
  EXPECT_EQ(Read(words), RESULT_BYTES_MISSING) << "a whole frame with one register too few";
  server_->setHandler([](const Bytes&) { return Answer{{Bytes(kTwoRegisters.begin(), kTwoRegisters.begin() + 4)}}; });
  EXPECT_EQ(Read(words), RESULT_BYTES_MISSING) << "half a frame, then silence";
  server_->setHandler([](const Bytes&) { return Answer{}; });
  EXPECT_EQ(Read(words), RESULT_TIMEOUT);

  // A broadcast gets no reply and none is waited for (the peer still says nothing).
  EXPECT_EQ(WriteSingleRegister(0, 5, 7), RESULT_OK);
  EXPECT_EQ(LastSentFrame(), Rtu({0, 6, 0, 5, 0, 7}));
}

TEST_F(RtuOverTcpTest, AGatewayThatClosesMidFrameIsReconnected) {
  std::uint16_t words[2] = {};
  server_->setHandler([](const Bytes&) {
    return Answer{{Bytes(kTwoRegisters.begin(), kTwoRegisters.begin() + 4)}, 0, true};
  });
  EXPECT_EQ(Read(words), RESULT_READ) << "half a frame and the connection closed";
  server_->setHandler([](const Bytes&) { return Answer{{{0x01, 0x03, 0xFF, 0x00, 0x11}}, 0, true}; });
  EXPECT_NE(Read(words), RESULT_OK) << "garbage and the connection closed";
  server_->setHandler([](const Bytes&) { return Answer{{kTwoRegisters}}; });
  ASSERT_EQ(Read(words), RESULT_OK) << "the next request goes out on a new connection";
  EXPECT_GE(server_->connectionsAccepted(), 2);

  // Raw frames (the test center) go out as given; the reply ends where its
  // function code and byte count say.
  const Bytes raw = Rtu({1, 3, 0, 0, 0, 2});
  ASSERT_EQ(ExchangeRaw(raw.data(), static_cast<std::uint16_t>(raw.size())), RESULT_OK);
  EXPECT_EQ(LastSentFrame(), raw);
  EXPECT_EQ(LastReceivedFrame(), kTwoRegisters);
}

// A datagram peer on 127.0.0.1 that answers from a script, plus a stranger
// socket that sends to the master's address from another port.
class UdpPeer {
 public:
  UdpPeer() {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t size = sizeof a;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &size);
    port_ = ntohs(a.sin_port);
  }
  ~UdpPeer() { ::close(fd_); }
  std::uint16_t port() const { return port_; }
  // Waits for one request; answers with each of `replies` (from `stranger`
  // first when given), in order.
  void answer(const std::function<std::vector<Bytes>(const Bytes&)>& script, bool fromStranger = false) {
    thread_ = std::thread([this, script, fromStranger] {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 3000) <= 0) return;
      std::uint8_t buffer[600];
      sockaddr_in from{};
      socklen_t size = sizeof from;
      const ssize_t n = ::recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &size);
      if (n <= 0) return;
      const std::vector<Bytes> replies = script(Bytes(buffer, buffer + n));
      for (std::size_t i = 0; i < replies.size(); ++i) {
        int out = fd_;
        if (fromStranger && i == 0) out = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        ::sendto(out, replies[i].data(), replies[i].size(), 0, reinterpret_cast<sockaddr*>(&from), size);
        if (out != fd_) ::close(out);
      }
    });
  }
  void join() {
    if (thread_.joinable()) thread_.join();
  }

 private:
  int fd_ = -1;
  std::uint16_t port_ = 0;
  std::thread thread_;
};

Bytes ReplyTo(const Bytes& request, std::uint16_t transaction) {
  return testpeer::Adu(transaction, request[6], {3, 4, 0x12, 0x34, 0x56, 0x78});
}

TEST(UdpExchangeTest, OnlyWholeRepliesFromTheServerWithTheTransactionIdCount) {
  InitEngine();
  UdpPeer peer;
  ASSERT_EQ(NetConnect(kLinkUdp, "127.0.0.1", peer.port(), 500), RESULT_OK);
  SetLinkMode(kLinkUdp);
  std::uint16_t words[2] = {};
  peer.answer([](const Bytes& request) { return std::vector<Bytes>{ReplyTo(request, testpeer::TransactionIdOf(request))}; });
  ASSERT_EQ(ReadRegisters(1, 3, 0, 2, words), RESULT_OK);
  peer.join();
  EXPECT_EQ(words[1], 0x5678);

  // A stranger's datagram, an oversized one, a stale transaction id and a bad
  // length field come first: all skipped, the right reply still counts.
  peer.answer(
      [](const Bytes& request) {
        const std::uint16_t id = testpeer::TransactionIdOf(request);
        Bytes wrongStranger = testpeer::Adu(id, request[6], {3, 4, 0xEE, 0xEE, 0xEE, 0xEE});
        Bytes oversized = ReplyTo(request, id);
        oversized.resize(400, 0);
        Bytes badLength = ReplyTo(request, id);
        badLength[5] = 200;
        return std::vector<Bytes>{wrongStranger, oversized, ReplyTo(request, id - 1), badLength, ReplyTo(request, id)};
      },
      true);
  words[0] = 0;
  ASSERT_EQ(ReadRegisters(1, 3, 0, 2, words), RESULT_OK);
  peer.join();
  EXPECT_EQ(words[0], 0x1234);

  peer.answer([](const Bytes&) { return std::vector<Bytes>{}; });
  EXPECT_EQ(ReadRegisters(1, 3, 0, 2, words), RESULT_TIMEOUT);
  peer.join();
  TcpDisconnect();
}

TEST(NetConnectTest, NamesAddressesAndFailures) {
  InitEngine();
  EXPECT_EQ(NetConnect(kLinkTcp, "no.such.host.invalid", 502, 500), RESULT_HOST_NOT_FOUND);
  EXPECT_EQ(NetConnect(kLinkRtuOverTcp, "1.2.3", 502, 500), RESULT_BAD_IP);
  EXPECT_EQ(NetConnect(kLinkTcp, "255.255.255.255", 502, 500), RESULT_BAD_IP);
  EXPECT_EQ(NetConnect(kLinkTcp, "", 502, 500), RESULT_BAD_IP);
  EXPECT_EQ(NetConnect(kLinkRtuOverTcp, "127.0.0.1", testpeer::FreePort(), 500), RESULT_CONNECT_FAILED);
  EXPECT_EQ(NetConnect(kLinkTcp, "[::1]", testpeer::FreePort(), 500), RESULT_CONNECT_FAILED);
  EXPECT_FALSE(IsConnected());
}

}  // namespace
