// The Modbus/TCP server driven by the receive thread over loopback: MBAP framing
// across segments, back-to-back requests, malformed headers, the connection
// limit with its replacement of the longest unserved connection, idle and
// trickling close, and start failures with their reason.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <random>
#include <thread>

#include "slave/engine/receive_loop.h"
#include "slave/engine/slave_engine.h"
#include "slave/engine/tcp_server.h"
#include "socket_client.h"

using namespace slavetest;

namespace {

class TcpServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    slaveengine::InitEngine();
    slaveengine::SetIgnoreUnitId(false);
    slot_ = slaveengine::RegisterSlot(0, platform::WM_ENGINE_NOTIFY, 0, 17, slaveengine::kHoldingRegisters, 0, 100);
    for (int i = 0; i < 100; ++i) slaveengine::SetRegisterValue(slot_, i, static_cast<std::uint16_t>(0x100 + i));
    ASSERT_EQ(slavetcp::StartTcpServer("127.0.0.1", 0), 0) << slavetcp::LastTcpServerError();
    port_ = slavetcp::ListeningPort();
    slaveloop::SetLinkMode(slaveloop::kLinkTcp);
    ASSERT_EQ(slaveloop::StartReceiveThread(), 1);
    EXPECT_TRUE(slaveloop::IsLinkOpen());
  }
  void TearDown() override {
    slaveloop::StopReceiveThread();
    slavetcp::StopTcpServer();
    slavetcp::SetIdleLimitSeconds(slavetcp::kDefaultIdleLimitSeconds);
    EXPECT_FALSE(slavetcp::IsTcpServerRunning());
  }
  // Expects the reply to a ReadHoldingRequest of `count` registers from `address`.
  void ExpectReadReply(Client& c, std::uint16_t transaction, std::uint16_t address, std::uint16_t count) {
    const auto reply = c.receive(9 + 2 * count, 2000);
    ASSERT_EQ(reply.size(), 9u + 2 * count);
    EXPECT_EQ(reply[0], transaction >> 8);
    EXPECT_EQ(reply[1], transaction & 0xFF);
    EXPECT_EQ(reply[2], 0);
    EXPECT_EQ(reply[3], 0);
    EXPECT_EQ(reply[4] << 8 | reply[5], 3 + 2 * count) << "length = reply size - 6";
    EXPECT_EQ(reply[6], 17);
    EXPECT_EQ(reply[7], 3);
    EXPECT_EQ(reply[8], 2 * count);
    for (int i = 0; i < count; ++i) EXPECT_EQ(reply[9 + 2 * i] << 8 | reply[10 + 2 * i], 0x100 + address + i);
  }
  int slot_ = -1;
  std::uint16_t port_ = 0;
};

TEST_F(TcpServerTest, HeaderAndBodyInSeparateSegments) {
  Client c(port_);
  ASSERT_TRUE(c.connected());
  const auto request = ReadHoldingRequest(0x1234, 17, 5, 3);
  ASSERT_TRUE(c.send({request.begin(), request.begin() + 4}));
  std::this_thread::sleep_for(std::chrono::milliseconds(30));  // separate segments, not a start-up wait
  ASSERT_TRUE(c.send({request.begin() + 4, request.begin() + 7}));
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_TRUE(c.receive(1, 50).empty()) << "no reply before the body is complete";
  ASSERT_TRUE(c.send({request.begin() + 7, request.end()}));
  ExpectReadReply(c, 0x1234, 5, 3);
}

TEST_F(TcpServerTest, BackToBackRequestsInOneSegmentAreAllServedInOrder) {
  Client c(port_);
  std::vector<std::uint8_t> burst;
  for (std::uint16_t t = 1; t <= 40; ++t) {
    const auto r = ReadHoldingRequest(t, 17, t, 2);
    burst.insert(burst.end(), r.begin(), r.end());
  }
  // And a request split across the end of the burst.
  const auto tail = ReadHoldingRequest(41, 17, 0, 1);
  burst.insert(burst.end(), tail.begin(), tail.begin() + 9);
  ASSERT_TRUE(c.send(burst));
  for (std::uint16_t t = 1; t <= 40; ++t) ExpectReadReply(c, t, t, 2);
  ASSERT_TRUE(c.send({tail.begin() + 9, tail.end()}));
  ExpectReadReply(c, 41, 0, 1);
}

TEST_F(TcpServerTest, UnservedUnitIsConsumedWithoutReply) {
  Client c(port_);
  ASSERT_TRUE(c.send(ReadHoldingRequest(7, 99, 0, 1)));
  EXPECT_TRUE(c.receive(1, 100).empty());
  ASSERT_TRUE(c.send(ReadHoldingRequest(8, 17, 0, 1)));
  ExpectReadReply(c, 8, 0, 1);
}

TEST_F(TcpServerTest, MalformedHeadersCloseTheConnection) {
  const std::vector<std::vector<std::uint8_t>> bad = {
      {0, 1, 0, 1, 0, 6, 17, 3, 0, 0, 0, 1},  // protocol id 1
      {0, 1, 0, 0, 1, 0, 17, 3, 0, 0, 0, 1},  // length 0x0100
      {0, 1, 0, 0, 0, 1, 17},                 // length 1
      {0, 1, 0, 0, 0, 0, 17, 3},              // length 0
  };
  for (const auto& request : bad) {
    Client c(port_);
    ASSERT_TRUE(c.send(request));
    EXPECT_TRUE(c.waitClosed(2000)) << "header " << int(request[3]) << " " << int(request[4]) << " " << int(request[5]);
  }
  Client good(port_);
  ASSERT_TRUE(good.send(ReadHoldingRequest(1, 17, 0, 1)));
  ExpectReadReply(good, 1, 0, 1);

  // A good request followed by a bad header in the same segment: the good one
  // is still answered before the connection closes.
  Client mixed(port_);
  auto burst = ReadHoldingRequest(2, 17, 3, 2);
  burst.insert(burst.end(), bad[0].begin(), bad[0].end());
  ASSERT_TRUE(mixed.send(burst));
  ExpectReadReply(mixed, 2, 3, 2);
  EXPECT_TRUE(mixed.waitClosed(2000));
}

TEST_F(TcpServerTest, HundredConnectionsAreAllServedAndThe101stReplacesTheLongestUnserved) {
  std::vector<std::unique_ptr<Client>> clients;
  for (int i = 0; i < slavetcp::kMaxConnections; ++i) {
    clients.push_back(std::make_unique<Client>(port_));
    ASSERT_TRUE(clients.back()->connected());
    // A served request proves the server has taken this connection.
    ASSERT_TRUE(clients.back()->send(ReadHoldingRequest(static_cast<std::uint16_t>(i), 17, 0, 1)));
    ExpectReadReply(*clients.back(), static_cast<std::uint16_t>(i), 0, 1);
  }
  Client extra(port_);
  ASSERT_TRUE(extra.send(ReadHoldingRequest(5000, 17, 0, 1)));
  ExpectReadReply(extra, 5000, 0, 1);
  EXPECT_TRUE(clients[0]->waitClosed(2000)) << "the 101st takes the place of the connection served longest ago";
  EXPECT_EQ(slavetcp::OpenConnectionCount(), slavetcp::kMaxConnections);
  // Every one of the others is watched, the last ones included.
  for (int round = 0; round < 2; ++round)
    for (int i = slavetcp::kMaxConnections - 1; i >= 1; --i) {
      ASSERT_TRUE(clients[i]->send(ReadHoldingRequest(static_cast<std::uint16_t>(1000 + i), 17, 10, 4)));
      ExpectReadReply(*clients[i], static_cast<std::uint16_t>(1000 + i), 10, 4);
    }
  clients.resize(50);
  Client again(port_);
  ASSERT_TRUE(again.send(ReadHoldingRequest(5, 17, 0, 1)));
  ExpectReadReply(again, 5, 0, 1);
}

// A full table of peers that never complete a request, silent or sending a
// byte now and then, does not keep a master out.
TEST_F(TcpServerTest, IdleOrTricklingConnectionsDoNotKeepAMasterOut) {
  for (const bool trickle : {false, true}) {
    SCOPED_TRACE(trickle ? "tricklers" : "idle");
    for (int wait = 0; wait < 200 && slavetcp::OpenConnectionCount() > 0; ++wait)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));  // the last round's peers are gone
    std::vector<std::unique_ptr<Client>> peers;
    for (int i = 0; i < slavetcp::kMaxConnections; ++i) peers.push_back(std::make_unique<Client>(port_));
    for (int wait = 0; wait < 200 && slavetcp::OpenConnectionCount() < slavetcp::kMaxConnections; ++wait)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(slavetcp::OpenConnectionCount(), slavetcp::kMaxConnections);
    const auto header = ReadHoldingRequest(1, 17, 0, 1);
    for (std::size_t b = 0; trickle && b < 3; ++b) {
      for (auto& p : peers) ASSERT_TRUE(p->send({header[b]}));
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    Client master(port_);
    ASSERT_TRUE(master.send(ReadHoldingRequest(77, 17, 2, 3)));
    ExpectReadReply(master, 77, 2, 3);
    ASSERT_TRUE(master.send(ReadHoldingRequest(78, 17, 0, 1)));
    ExpectReadReply(master, 78, 0, 1);
    EXPECT_EQ(slavetcp::OpenConnectionCount(), slavetcp::kMaxConnections);
  }
}

// Bytes that never make a request do not keep a connection open past the idle
// limit, while a master completing requests stays.
TEST_F(TcpServerTest, ATricklingConnectionIsClosedAfterTheIdleLimit) {
  slavetcp::SetIdleLimitSeconds(1);
  Client trickler(port_);
  Client busy(port_);
  // A header promising 255 bytes, sent one byte every 100 ms: never complete.
  const std::vector<std::uint8_t> header = {0, 1, 0, 0, 0, 255, 17, 3};
  const std::uint32_t start = platform::TickCount();
  bool closed = false;
  for (int i = 0; i < 30 && !closed; ++i) {
    trickler.send({header[i % header.size()]});
    ASSERT_TRUE(busy.send(ReadHoldingRequest(static_cast<std::uint16_t>(i), 17, 0, 1)));
    ExpectReadReply(busy, static_cast<std::uint16_t>(i), 0, 1);
    closed = trickler.waitClosed(100);
  }
  const std::uint32_t elapsed = platform::TickCount() - start;
  EXPECT_TRUE(closed) << "a trickler is closed although it keeps sending";
  EXPECT_GE(elapsed, 900u) << "not before the idle limit";
  EXPECT_LT(elapsed, 2500u);
  ASSERT_TRUE(busy.send(ReadHoldingRequest(99, 17, 0, 1)));
  ExpectReadReply(busy, 99, 0, 1);
}

TEST_F(TcpServerTest, IdleConnectionsAreClosed) {
  slavetcp::SetIdleLimitSeconds(1);
  Client idle(port_);
  Client busy(port_);
  const std::uint32_t start = platform::TickCount();
  for (int i = 0; i < 8; ++i) {
    ASSERT_TRUE(busy.send(ReadHoldingRequest(1, 17, 0, 1)));
    ExpectReadReply(busy, 1, 0, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  EXPECT_TRUE(idle.waitClosed(3000));
  EXPECT_GE(platform::TickCount() - start, 900u) << "not before the idle limit";
  ASSERT_TRUE(busy.send(ReadHoldingRequest(2, 17, 0, 1)));
  ExpectReadReply(busy, 2, 0, 1);
}

// Random requests for a served and an unserved unit, cut into random segments:
// every request to the served unit gets exactly one well-formed reply, in
// order; the unserved one is consumed silently; a malformed header at the end
// closes the connection after the replies before it.
TEST_F(TcpServerTest, RandomRequestStreamsAreAnsweredInOrder) {
  std::mt19937 random(5021);
  static const std::uint8_t functions[] = {1, 2, 3, 4, 5, 6, 15, 16, 22, 23, 7, 0x2B, 0x81};
  for (int round = 0; round < 30; ++round) {
    Client c(port_);
    ASSERT_TRUE(c.connected());
    std::vector<std::uint8_t> stream;
    std::vector<std::pair<std::uint16_t, std::uint8_t>> expected;  // transaction id, function
    const int requests = 1 + static_cast<int>(random() % 25);
    for (int i = 0; i < requests; ++i) {
      const std::uint16_t transaction = static_cast<std::uint16_t>(round * 100 + i);
      const std::uint8_t unit = random() % 5 == 0 ? 99 : 17;
      std::vector<std::uint8_t> pdu{functions[random() % sizeof functions]};
      const int extra = static_cast<int>(random() % 12);
      for (int k = 0; k < extra; ++k) pdu.push_back(static_cast<std::uint8_t>(k % 2 == 0 ? 0 : random() % 120));
      const std::uint16_t length = static_cast<std::uint16_t>(pdu.size() + 1);
      const std::uint8_t header[7] = {static_cast<std::uint8_t>(transaction >> 8),
                                      static_cast<std::uint8_t>(transaction), 0, 0, 0,
                                      static_cast<std::uint8_t>(length), unit};
      stream.insert(stream.end(), header, header + 7);
      stream.insert(stream.end(), pdu.begin(), pdu.end());
      if (unit == 17) expected.emplace_back(transaction, pdu[0]);
    }
    const bool endsMalformed = round % 3 == 0;
    if (endsMalformed) stream.insert(stream.end(), {0, 0, 0, 7, 0, 6, 17, 3, 0, 0, 0, 1});
    for (std::size_t sent = 0; sent < stream.size();) {
      const std::size_t piece = std::min<std::size_t>(stream.size() - sent, 1 + random() % 40);
      ASSERT_TRUE(c.send({stream.begin() + sent, stream.begin() + sent + piece}));
      sent += piece;
    }
    for (const auto& [transaction, function] : expected) {
      const auto header = c.receive(6, 2000);
      ASSERT_EQ(header.size(), 6u) << "round " << round << " transaction " << transaction;
      EXPECT_EQ(header[0] << 8 | header[1], transaction);
      EXPECT_EQ(header[2] << 8 | header[3], 0);
      const int length = header[4] << 8 | header[5];
      ASSERT_GE(length, 3);
      ASSERT_LE(length, 253);
      const auto body = c.receive(static_cast<std::size_t>(length), 2000);
      ASSERT_EQ(body.size(), static_cast<std::size_t>(length));
      EXPECT_EQ(body[0], 17);
      EXPECT_EQ(body[1] & 0x7F, function & 0x7F) << "function " << int(function);
      if (body[1] & 0x80) {
        EXPECT_EQ(length, 3);
        EXPECT_GE(body[2], 1);
        EXPECT_LE(body[2], 3);
      }
    }
    if (endsMalformed) {
      EXPECT_TRUE(c.waitClosed(2000)) << "round " << round;
    } else {
      EXPECT_TRUE(c.receive(1, 30).empty()) << "nothing beyond the expected replies";
    }
  }
}

// A master that sends without pause must not keep the one receive thread to
// itself: another connection is still answered promptly.
TEST_F(TcpServerTest, AFloodingConnectionDoesNotStarveTheOthers) {
  Client flood(port_);
  Client other(port_);
  ASSERT_TRUE(flood.connected());
  ASSERT_TRUE(other.connected());
  std::atomic<bool> stop{false};
  std::vector<std::uint8_t> burst;
  for (int i = 0; i < 2000; ++i) {
    const auto r = ReadHoldingRequest(static_cast<std::uint16_t>(i), 17, 0, 1);
    burst.insert(burst.end(), r.begin(), r.end());
  }
  std::thread writer([&] {
    while (!stop && flood.send(burst)) {
    }
  });
  std::atomic<std::size_t> replies{0};
  std::thread reader([&] {
    for (;;) {
      const auto got = flood.receive(1 << 16, 50);
      if (stop || got.empty()) break;
      replies += got.size();
    }
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // let the flood build up
  for (std::uint16_t t = 1; t <= 5; ++t) {
    ASSERT_TRUE(other.send(ReadHoldingRequest(t, 17, 2, 1)));
    ExpectReadReply(other, t, 2, 1);
  }
  EXPECT_GT(replies.load(), 100000u) << "the flood was served too, not cut off";
  stop = true;
  flood.shutdown();
  writer.join();
  reader.join();
}

TEST(TcpServerStart, FailureTellsTheSystemsReason) {
  const int blocker = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(blocker, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(::listen(blocker, 1), 0);
  socklen_t size = sizeof a;
  ::getsockname(blocker, reinterpret_cast<sockaddr*>(&a), &size);
  EXPECT_EQ(slavetcp::StartTcpServer("127.0.0.1", ntohs(a.sin_port)), 1);
  EXPECT_FALSE(slavetcp::IsTcpServerRunning());
  EXPECT_NE(slavetcp::LastTcpServerError().find("Address already in use"), std::string::npos)
      << slavetcp::LastTcpServerError();
  ::close(blocker);
  EXPECT_EQ(slavetcp::StartTcpServer("no.such.host.invalid", 1502), 1);
  EXPECT_FALSE(slavetcp::LastTcpServerError().empty());
  EXPECT_EQ(slavetcp::StartTcpServer("127.0.0.1", 0), 0);
  EXPECT_TRUE(slavetcp::IsTcpServerRunning());
  EXPECT_NE(slavetcp::ListeningPort(), 0);
  slavetcp::StopTcpServer();
}

}  // namespace
