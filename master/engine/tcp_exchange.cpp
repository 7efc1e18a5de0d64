// The network exchanges of the master: MBAP framing of requests and the
// reading of replies over Modbus/TCP and Modbus/UDP (link modes 2 and 4), and
// RTU frames with their CRC over a TCP stream (link mode 3).
#include <cstring>

#include "common/modbus_protocol.h"
#include "link/checksums.h"
#include "link/framing.h"
#include "link/tcp_client.h"
#include "master/engine/transactions.h"

namespace masterengine {
namespace {

// Incremented before each structured exchange, so the first request carries 0.
std::uint16_t transactionId = 0xFFFF;

std::uint8_t tcpFrame[linklayer::kMbapHeaderSize + kRequestBufferSize];

}  // namespace

std::uint16_t ExchangeTcp(const std::uint8_t* request, std::uint16_t length, std::uint8_t* reply,
                          std::uint16_t expectedLength) {
  ++transactionId;
  ClearFrameRecords();
  if (!linklayer::IsTcpConnected()) return RESULT_NO_CONNECTION;
  if (length > kRequestBufferSize) return RESULT_WRITE;
  std::memset(reply, 0, expectedLength);

  linklayer::PutMbapHeader(tcpFrame, transactionId, length);
  std::memcpy(tcpFrame + linklayer::kMbapHeaderSize, request, length);
  const std::uint16_t frameLength = length + linklayer::kMbapHeaderSize;
  if (!linklayer::TcpSend(tcpFrame, frameLength)) return RESULT_WRITE;
  RecordSentFrame(tcpFrame, frameLength);

  // Replies to earlier requests that timed out may still arrive: skip them.
  std::uint8_t received[linklayer::kTcpMaxAdu];
  int got = 0;
  bool matched = false;
  for (int attempt = 0; attempt < kMaxTcpReceives && !matched; ++attempt) {
    got = linklayer::TcpReceive(received);
    if (got < 0) return RESULT_READ;
    if (got == 0) break;
    matched = received[0] == tcpFrame[0] && received[1] == tcpFrame[1];
  }
  RecordReceivedFrame(received, static_cast<std::uint16_t>(got));
  if (got == 0) return RESULT_TIMEOUT;
  // Five replies to other requests: none of them may be taken for this one.
  if (!matched) return RESULT_RESPONSE;

  const int pduLength = got - linklayer::kMbapHeaderSize;  // unit id first, 3..255 bytes
  std::memcpy(reply, received + linklayer::kMbapHeaderSize, static_cast<size_t>(pduLength));
  if (reply[1] > modbus::EXCEPTION_FLAG) return static_cast<std::uint16_t>(RESULT_EXCEPTION_BASE + reply[2]);
  if (pduLength < expectedLength) return RESULT_BYTES_MISSING;
  return RESULT_OK;
}

std::uint16_t ExchangeRtuOverTcp(std::uint8_t* request, std::uint16_t length, std::uint8_t* reply,
                                 std::uint16_t expectedLength) {
  const std::uint16_t frameLength = linklayer::AppendCrc(request, length);
  const int replyLength = expectedLength + 2;
  ClearFrameRecords();
  if (!linklayer::IsTcpConnected()) return RESULT_NO_CONNECTION;
  std::memset(reply, 0, static_cast<size_t>(replyLength));
  if (!linklayer::TcpSend(request, frameLength)) return RESULT_WRITE;
  RecordSentFrame(request, frameLength);
  if (request[0] == modbus::BROADCAST_ADDRESS) return RESULT_OK;  // no slave answers a broadcast

  const int got = linklayer::RtuStreamReceive(reply, kReplyBufferSize);
  if (got < 0) return RESULT_READ;
  RecordReceivedFrame(reply, static_cast<std::uint16_t>(got));
  return CheckRtuReply(reply, got, replyLength);
}

std::uint16_t ExchangeTcpRaw(const std::uint8_t* bytes, std::uint16_t length) {
  ClearFrameRecords();
  if (!linklayer::IsTcpConnected()) return RESULT_NO_CONNECTION;
  if (!linklayer::TcpSend(bytes, length)) return RESULT_WRITE;
  RecordSentFrame(bytes, length);
  std::uint8_t received[kSlotReceivedCapacity];
  const int got = ExchangeLinkMode() == kLinkRtuOverTcp ? linklayer::RtuStreamReceive(received, kSlotReceivedCapacity)
                                                        : linklayer::TcpReceive(received);
  if (got < 0) return RESULT_READ;
  RecordReceivedFrame(received, static_cast<std::uint16_t>(got));
  return RESULT_OK;
}

}  // namespace masterengine
