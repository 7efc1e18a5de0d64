// The master's Modbus/TCP link and exchange against a scripted loopback server.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <netinet/in.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "link/tcp_client.h"
#include "master/engine/comm_interface.h"
#include "master/engine/transactions.h"
#include "tests/master_engine/fake_tcp_server.h"
#include "tests/master_engine/frame_records.h"
#include "tests/master_engine/loopback_peers.h"

using namespace masterengine;
using testpeer::Adu;
using testpeer::Answer;
using testpeer::Bytes;
using testpeer::LastReceivedFrame;
using testpeer::LastSentFrame;
using testpeer::FakeTcpServer;
using testpeer::FreePort;
using testpeer::TransactionIdOf;

namespace {

Bytes PduOf(const Bytes& adu) { return Bytes(adu.begin() + 6, adu.end()); }

// Answers every request with the given PDU (unit id + function + data), echoing the transaction id.
testpeer::Handler Reply(Bytes unitAndPdu) {
  return [unitAndPdu](const Bytes& request) {
    Bytes pdu(unitAndPdu.begin() + 1, unitAndPdu.end());
    return Answer{{Adu(TransactionIdOf(request), unitAndPdu[0], pdu)}};
  };
}

class TcpExchangeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = std::make_unique<FakeTcpServer>(Reply({1, 3, 2, 0, 0}));
    SetExchangeLinkMode(2);
    ASSERT_EQ(linklayer::NetConnect(linklayer::NetTransport::kTcp, "127.0.0.1", server_->port(), 400),
              linklayer::TcpConnectStatus::Ok);
  }
  void TearDown() override { linklayer::TcpDisconnect(); }

  std::unique_ptr<FakeTcpServer> server_;
};

}  // namespace

// Runs first in this executable: the transaction id counts from 0.
TEST_F(TcpExchangeTest, TransactionIdsCountFromZeroAndFrameCarriesUnitAndLength) {
  std::uint16_t values[1];
  EXPECT_EQ(ReadRegisters(1, 3, 0, 1, values), RESULT_OK);
  EXPECT_EQ(ReadRegisters(1, 3, 0, 1, values), RESULT_OK);
  const auto requests = server_->requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0], (Bytes{0, 0, 0, 0, 0, 6, 1, 3, 0, 0, 0, 1}));
  EXPECT_EQ(requests[1], (Bytes{0, 1, 0, 0, 0, 6, 1, 3, 0, 0, 0, 1}));
  EXPECT_EQ(LastSentFrame(), requests[1]);
  EXPECT_EQ(LastReceivedFrame(), (Bytes{0, 1, 0, 0, 0, 5, 1, 3, 2, 0, 0}));
}

TEST_F(TcpExchangeTest, EveryRequestTypeIsFramedAndItsReplyDecoded) {
  // Read Coils: values 1,0,1,0,0,0,0,0,0,1 from 05 02.
  server_->setHandler(Reply({1, 1, 2, 0x05, 0x02}));
  std::uint8_t bits[10];
  ASSERT_EQ(ReadBits(1, 1, 0, 10, bits), RESULT_OK);
  EXPECT_EQ(PduOf(server_->requests().back()), (Bytes{1, 1, 0, 0, 0, 0x0A}));
  EXPECT_EQ(Bytes(bits, bits + 10), (Bytes{1, 0, 1, 0, 0, 0, 0, 0, 0, 1}));

  server_->setHandler(Reply({9, 2, 1, 0x80}));
  ASSERT_EQ(ReadBits(9, 2, 0x00C4, 8, bits), RESULT_OK);
  EXPECT_EQ(PduOf(server_->requests().back()), (Bytes{9, 2, 0x00, 0xC4, 0, 8}));
  EXPECT_EQ(bits[7], 1);
  EXPECT_EQ(bits[6], 0);

  server_->setHandler(Reply({0x11, 3, 6, 0x02, 0x2B, 0x00, 0x00, 0x00, 0x64}));
  std::uint16_t words[8];
  ASSERT_EQ(ReadRegisters(0x11, 3, 0x006B, 3, words), RESULT_OK);
  EXPECT_EQ(PduOf(server_->requests().back()), (Bytes{0x11, 3, 0x00, 0x6B, 0, 3}));
  EXPECT_EQ(words[0], 0x022B);
  EXPECT_EQ(words[1], 0);
  EXPECT_EQ(words[2], 0x64);

  server_->setHandler(Reply({0x11, 4, 2, 0x00, 0x0A}));
  ASSERT_EQ(ReadRegisters(0x11, 4, 0x0008, 1, words), RESULT_OK);
  EXPECT_EQ(PduOf(server_->requests().back()), (Bytes{0x11, 4, 0x00, 0x08, 0, 1}));
  EXPECT_EQ(words[0], 0x000A);

  server_->setHandler([](const Bytes& request) {  // writes: echo the request
    return Answer{{Adu(TransactionIdOf(request), request[6], Bytes(request.begin() + 7, request.begin() + 12))}};
  });
  EXPECT_EQ(WriteSingleCoil(1, 0x00AC, 7), RESULT_OK);
  EXPECT_EQ(PduOf(server_->requests().back()), (Bytes{1, 5, 0x00, 0xAC, 0xFF, 0x00}));
  EXPECT_EQ(WriteSingleCoil(1, 0x00AC, 0), RESULT_OK);
  EXPECT_EQ(PduOf(server_->requests().back()), (Bytes{1, 5, 0x00, 0xAC, 0x00, 0x00}));
  EXPECT_EQ(WriteSingleRegister(1, 0x0001, 0x0003), RESULT_OK);
  EXPECT_EQ(PduOf(server_->requests().back()), (Bytes{1, 6, 0x00, 0x01, 0x00, 0x03}));

  const std::uint8_t coils[16] = {1, 0, 1, 1, 0, 0, 1, 1, 1, 0, 9, 9, 9, 9, 9, 9};
  EXPECT_EQ(WriteMultipleCoils(1, 0x0013, 10, coils), RESULT_OK);
  EXPECT_EQ(PduOf(server_->requests().back()), (Bytes{1, 0x0F, 0x00, 0x13, 0x00, 0x0A, 2, 0xCD, 0x01}));
  const std::uint8_t allOn[16] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
  EXPECT_EQ(WriteMultipleCoils(1, 0, 16, allOn), RESULT_OK);
  EXPECT_EQ(PduOf(server_->requests().back()), (Bytes{1, 0x0F, 0, 0, 0, 16, 2, 0xFF, 0xFF}));

  const std::uint16_t registers[2] = {0x000A, 0x0102};
  EXPECT_EQ(WriteMultipleRegisters(1, 0x0001, 2, registers), RESULT_OK);
  EXPECT_EQ(PduOf(server_->requests().back()), (Bytes{1, 0x10, 0, 1, 0, 2, 4, 0x00, 0x0A, 0x01, 0x02}));

  server_->setHandler([](const Bytes& request) {
    return Answer{{Adu(TransactionIdOf(request), request[6], Bytes(request.begin() + 7, request.end()))}};
  });
  EXPECT_EQ(MaskWriteRegister(1, 0x0004, 0x00F2, 0x0025), RESULT_OK);
  EXPECT_EQ(PduOf(server_->requests().back()), (Bytes{1, 0x16, 0, 4, 0x00, 0xF2, 0x00, 0x25}));

  server_->setHandler(Reply({1, 0x17, 12, 0, 0xFE, 0x0A, 0xCD, 0, 1, 0, 3, 0, 0x0D, 0, 0xFF}));
  std::uint16_t readWrite[6] = {0x00FF, 0x00FF, 0x00FF};
  ASSERT_EQ(ReadWriteRegisters(1, 0x0003, 6, 0x000E, 3, readWrite), RESULT_OK);
  EXPECT_EQ(PduOf(server_->requests().back()),
            (Bytes{1, 0x17, 0, 3, 0, 6, 0, 0x0E, 0, 3, 6, 0, 0xFF, 0, 0xFF, 0, 0xFF}));
  EXPECT_EQ(readWrite[0], 0x00FE);
  EXPECT_EQ(readWrite[1], 0x0ACD);
  EXPECT_EQ(readWrite[5], 0x00FF);
}

TEST_F(TcpExchangeTest, RepliesThatDoNotAnswerTheRequestAreResultsNotValues) {
  std::uint16_t words[2] = {0xAAAA, 0xAAAA};
  server_->setHandler(Reply({1, 0x83, 0x02}));  // a 9-byte exception reply
  EXPECT_EQ(ReadRegisters(1, 3, 0, 2, words), 130);
  EXPECT_STREQ(ResultText(130), "Illigal Data Address");

  server_->setHandler(Reply({2, 3, 4, 0, 1, 0, 2}));  // another unit
  EXPECT_EQ(ReadRegisters(1, 3, 0, 2, words), RESULT_RESPONSE);
  server_->setHandler(Reply({1, 4, 4, 0, 1, 0, 2}));  // another function
  EXPECT_EQ(ReadRegisters(1, 3, 0, 2, words), RESULT_RESPONSE);
  EXPECT_EQ(words[0], 0xAAAA) << "values must stay untouched";

  server_->setHandler(Reply({1, 3, 2, 0, 1}));  // complete frame, one register instead of two
  EXPECT_EQ(ReadRegisters(1, 3, 0, 2, words), RESULT_BYTES_MISSING);

  server_->setHandler(Reply({1, 6, 0, 1, 0, 4}));  // write reply with another value
  EXPECT_EQ(WriteSingleRegister(1, 1, 3), RESULT_RESPONSE);

  // A broadcast over TCP still waits for (and takes) the reply.
  server_->setHandler(Reply({0, 6, 0, 1, 0, 3}));
  EXPECT_EQ(WriteSingleRegister(0, 1, 3), RESULT_OK);
  EXPECT_EQ(LastReceivedFrame().size(), 12u);
}

TEST_F(TcpExchangeTest, ReplySplitIntoSegmentsIsJoined) {
  Bytes pdu{3, 250};
  for (int i = 0; i < 125; ++i) {
    pdu.push_back(static_cast<std::uint8_t>(i >> 8));
    pdu.push_back(static_cast<std::uint8_t>(i));
  }
  server_->setHandler([pdu](const Bytes& request) {
    const Bytes adu = Adu(TransactionIdOf(request), 1, pdu);
    return Answer{{Bytes(adu.begin(), adu.begin() + 100), Bytes(adu.begin() + 100, adu.end())}, 50};
  });
  std::uint16_t words[125] = {};
  ASSERT_EQ(ReadRegisters(1, 3, 0, 125, words), RESULT_OK);
  for (int i = 0; i < 125; ++i) ASSERT_EQ(words[i], i);
  EXPECT_EQ(LastReceivedFrame().size(), 6u + 1 + 2 + 250);

  // One byte per segment, the header split too.
  server_->setHandler([](const Bytes& request) {
    const Bytes adu = Adu(TransactionIdOf(request), 1, {3, 2, 0x12, 0x34});
    Answer answer;
    for (auto byte : adu) answer.segments.push_back({byte});
    answer.gapMs = 5;
    return answer;
  });
  ASSERT_EQ(ReadRegisters(1, 3, 0, 1, words), RESULT_OK);
  EXPECT_EQ(words[0], 0x1234);
}

TEST_F(TcpExchangeTest, RepliesWithOtherTransactionIdsAreSkippedUpToFive) {
  auto staleThenRight = [](int stale) {
    return [stale](const Bytes& request) {
      const auto id = TransactionIdOf(request);
      Answer answer;
      for (int i = 0; i < stale; ++i) answer.segments.push_back(Adu(id - 1 - i, 1, {3, 2, 0xDE, 0xAD}));
      answer.segments.push_back(Adu(id, 1, {3, 2, 0x00, 0x07}));
      return answer;
    };
  };
  std::uint16_t words[1];
  server_->setHandler(staleThenRight(4));
  ASSERT_EQ(ReadRegisters(1, 3, 0, 1, words), RESULT_OK);
  EXPECT_EQ(words[0], 7);

  // Five replies to other requests: none is taken as this one's answer.
  server_->setHandler(staleThenRight(5));
  words[0] = 0;
  EXPECT_EQ(ReadRegisters(1, 3, 0, 1, words), RESULT_RESPONSE);
  EXPECT_EQ(words[0], 0);
  // The right reply left over from that exchange does not answer the next request.
  server_->setHandler(Reply({1, 3, 2, 0, 9}));
  ASSERT_EQ(ReadRegisters(1, 3, 0, 1, words), RESULT_OK);
  EXPECT_EQ(words[0], 9);
}

TEST_F(TcpExchangeTest, SilenceIsATimeoutWithinTheResponseTimeout) {
  server_->setHandler([](const Bytes&) { return Answer{}; });
  std::uint16_t words[1];
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ReadRegisters(1, 3, 0, 1, words), RESULT_TIMEOUT);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(350));
  EXPECT_LT(waited, std::chrono::milliseconds(2000));
  EXPECT_EQ(LastReceivedFrame().size(), 0u);
  EXPECT_EQ(LastSentFrame().size(), 12u);
}

TEST_F(TcpExchangeTest, TruncatedAndMalformedRepliesAreReadErrorsAndTheLinkRecovers) {
  std::uint16_t words[4];
  // Only 7 bytes arrive before the time-out.
  server_->setHandler([](const Bytes& request) {
    const Bytes adu = Adu(TransactionIdOf(request), 1, {3, 2, 0, 1});
    return Answer{{Bytes(adu.begin(), adu.begin() + 7)}};
  });
  EXPECT_EQ(ReadRegisters(1, 3, 0, 1, words), RESULT_READ);

  // The header is complete but the body stops short: a short reply.
  server_->setHandler([](const Bytes& request) {
    const Bytes adu = Adu(TransactionIdOf(request), 1, {3, 8, 0, 1, 0, 2, 0, 3, 0, 4});
    return Answer{{Bytes(adu.begin(), adu.begin() + 11)}};
  });
  EXPECT_EQ(ReadRegisters(1, 3, 0, 4, words), RESULT_BYTES_MISSING);

  struct Malformed {
    std::uint8_t protocolHi, lengthHi, lengthLo;
  };
  for (const Malformed m : {Malformed{0, 0, 0}, Malformed{0, 0, 1}, Malformed{0, 0, 2}, Malformed{0, 1, 0},
                            Malformed{0, 0xFF, 0xFF}, Malformed{1, 0, 5}}) {
    server_->setHandler([m](const Bytes& request) {
      Bytes adu = Adu(TransactionIdOf(request), 1, {3, 2, 0, 1});
      adu[2] = m.protocolHi;
      adu[4] = m.lengthHi;
      adu[5] = m.lengthLo;
      return Answer{{adu}};
    });
    EXPECT_EQ(ReadRegisters(1, 3, 0, 1, words), RESULT_READ)
        << "protocol " << int(m.protocolHi) << " length " << (m.lengthHi * 256 + m.lengthLo);
  }
  // A well-formed reply is understood again afterwards.
  server_->setHandler(Reply({1, 3, 2, 0x43, 0x21}));
  ASSERT_EQ(ReadRegisters(1, 3, 0, 1, words), RESULT_OK);
  EXPECT_EQ(words[0], 0x4321);
}

TEST_F(TcpExchangeTest, ServerThatClosesAndComesBackIsUsedAgain) {
  std::uint16_t words[1];
  const std::uint16_t port = server_->port();
  server_->setHandler([](const Bytes&) { return Answer{{}, 0, true}; });
  EXPECT_EQ(ReadRegisters(1, 3, 0, 1, words), RESULT_READ);

  server_.reset();  // nobody listens now
  const auto result = ReadRegisters(1, 3, 0, 1, words);
  EXPECT_TRUE(result == RESULT_WRITE || result == RESULT_READ) << result;
  EXPECT_TRUE(linklayer::IsTcpConnected()) << "a failed send does not leave the connected state";

  server_ = std::make_unique<FakeTcpServer>(Reply({1, 3, 2, 0, 5}), port);
  ASSERT_EQ(ReadRegisters(1, 3, 0, 1, words), RESULT_OK);
  EXPECT_EQ(words[0], 5);
  EXPECT_EQ(server_->connectionsAccepted(), 1);
}

TEST_F(TcpExchangeTest, IdleConnectionClosedByTheServerIsReplacedBeforeTheNextRequest) {
  server_->setHandler([](const Bytes& request) {
    return Answer{{Adu(TransactionIdOf(request), 1, {3, 2, 0, 1})}, 0, true};  // answer, then hang up
  });
  std::uint16_t words[1];
  ASSERT_EQ(ReadRegisters(1, 3, 0, 1, words), RESULT_OK);
  for (int i = 0; i < 400 && server_->connectionsClosed() < 1; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));  // until the server has hung up
  }
  ASSERT_EQ(server_->connectionsClosed(), 1);
  server_->setHandler(Reply({1, 3, 2, 0, 2}));
  EXPECT_EQ(ReadRegisters(1, 3, 0, 1, words), RESULT_OK);
  EXPECT_EQ(words[0], 2);
  EXPECT_EQ(server_->connectionsAccepted(), 2);
}

TEST_F(TcpExchangeTest, RawFramesGoOutAsGivenAndKeepTheWholeReply) {
  const Bytes raw{0x12, 0x34, 0, 0, 0, 6, 1, 3, 0, 0, 0, 1};
  server_->setHandler(Reply({1, 3, 2, 0, 0x2A}));
  SetExchangeLinkMode(2);
  ASSERT_EQ(ExchangeRaw(raw.data(), static_cast<std::uint16_t>(raw.size())), RESULT_OK);
  EXPECT_EQ(server_->requests().back(), raw);
  EXPECT_EQ(LastSentFrame(), raw);
  EXPECT_EQ(LastReceivedFrame(), (Bytes{0x12, 0x34, 0, 0, 0, 5, 1, 3, 2, 0, 0x2A}));

  server_->setHandler([](const Bytes&) { return Answer{}; });
  EXPECT_EQ(ExchangeRaw(raw.data(), static_cast<std::uint16_t>(raw.size())), RESULT_OK);
  EXPECT_EQ(LastReceivedFrame().size(), 0u);
}

TEST_F(TcpExchangeTest, WritesWhoseByteCountCannotBeFramedNeverGoOut) {
  std::uint16_t values[200] = {};
  const auto before = server_->requests().size();
  EXPECT_EQ(WriteMultipleRegisters(1, 0, 128, values), RESULT_WRITE);
  EXPECT_EQ(ReadWriteRegisters(1, 0, 1, 0, 128, values), RESULT_WRITE);
  EXPECT_EQ(ReadRegisters(1, 3, 0, 128, values), RESULT_WRITE);
  EXPECT_EQ(server_->requests().size(), before);

  server_->setHandler([](const Bytes& request) {
    return Answer{{Adu(TransactionIdOf(request), request[6], Bytes(request.begin() + 7, request.begin() + 12))}};
  });
  EXPECT_EQ(WriteMultipleRegisters(1, 0, 127, values), RESULT_OK);
  const Bytes sent = server_->requests().back();
  ASSERT_EQ(sent.size(), 6u + 7 + 254);
  EXPECT_EQ(sent[12], 254) << "byte count";
}

TEST(TcpConnectTest, DottedAddressesMustBeWholeAndServersMustListen) {
  for (const char* text : {"192.168.1.300", "255.255.255.255", "", "1.2.3", "1.2.3.4.5"}) {
    EXPECT_EQ(NetConnect(kLinkTcp, text, 502, 1000), RESULT_BAD_IP) << text;
  }
  EXPECT_STREQ(ResultText(RESULT_BAD_IP), "Modbus/TCP Connection Failed. Invalid IP Address");
  // Anything else is a name and is looked up: it resolves or it is not found.
  EXPECT_EQ(NetConnect(kLinkTcp, "010.0.0.1x", 502, 1000), RESULT_HOST_NOT_FOUND);
  const std::uint16_t silent = FreePort();
  EXPECT_EQ(NetConnect(kLinkTcp, "localhost", silent, 1000), RESULT_CONNECT_FAILED);
  EXPECT_EQ(NetConnect(kLinkTcp, "127.0.0.1", silent, 1000), RESULT_CONNECT_FAILED);
  EXPECT_FALSE(IsConnected());

  SetExchangeLinkMode(2);
  std::uint16_t words[1];
  EXPECT_EQ(ReadRegisters(1, 3, 0, 1, words), RESULT_NO_CONNECTION);
  EXPECT_EQ(LastSentFrame().size(), 0u);
}
