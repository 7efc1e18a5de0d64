#include "slave/engine/udp_server.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>

#include "common/modbus_protocol.h"
#include "link/framing.h"
#include "platform/ticks.h"
#include "slave/engine/link_counters.h"
#include "slave/engine/slave_engine.h"
#include "slave/engine/tcp_server.h"

namespace slaveudp {
namespace {

struct HeldReply {
  bool used = false;
  sockaddr_storage peer{};
  socklen_t peerLength = 0;
  std::uint16_t length = 0;
  std::uint32_t due = 0;  // tick count, ms
  std::uint8_t marks = 0;
  std::uint32_t delayMs = 0;
  std::uint8_t bytes[slaveengine::kReplyCapacity];
};

HeldReply held[kMaxHeldReplies];
// One byte more than the largest request, so that an oversized datagram shows.
std::uint8_t datagram[slavetcp::kMaxRequestSize + 1];
std::uint8_t reply[slaveengine::kReplyCapacity];

// A busy master gets this many datagrams served per step.
constexpr int kMaxReadsPerStep = 64;

void SendTo(int socket, const std::uint8_t* bytes, std::uint16_t length, const sockaddr_storage& peer,
            socklen_t peerLength) {
  ::sendto(socket, bytes, length, MSG_NOSIGNAL | MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(&peer),
           peerLength);
}

void SendDue(int socket, std::uint32_t now) {
  for (HeldReply& h : held) {
    if (!h.used || static_cast<std::int32_t>(now - h.due) < 0) continue;
    h.used = false;
    slaveengine::RecordSent(h.bytes, h.length, h.marks, h.delayMs);
    SendTo(socket, h.bytes, h.length, h.peer, h.peerLength);
  }
}

// A whole request: MBAP header with protocol id 0, a length field that counts
// exactly the bytes after it, and at least a unit id and a function code.
bool IsWholeRequest(const std::uint8_t* bytes, long count) {
  if (count < modbus::MBAP_HEADER_LENGTH + 1 || count > slavetcp::kMaxRequestSize) return false;
  return linklayer::MbapFollowingLength(bytes) == count - linklayer::kMbapHeaderSize;
}

void Serve(int socket, long count, const sockaddr_storage& peer, socklen_t peerLength) {
  const long shown = std::min<long>(count, slavetcp::kMaxRequestSize);
  slaveengine::RecordReceived(datagram, static_cast<std::uint16_t>(shown));
  if (!IsWholeRequest(datagram, count)) {
    // A datagram is a whole frame or none: one too long for the receiver is an
    // overrun, any other that is not a request a communication error.
    if (count > slavetcp::kMaxRequestSize) slavecounters::CountOverrun();
    else slavecounters::CountCheckError();
    return;
  }
  const auto length = static_cast<std::uint16_t>(count);
  slavecounters::CountTcpRequest(datagram, length);
  slaveengine::ReplyFaults faults;
  const std::uint16_t r = slaveengine::ServeTcpRequest(datagram, length, reply, &faults);
  slavecounters::CountTcpReply(datagram, length, reply, r);
  if (faults.marks & slavefaults::kMarkDropped) slaveengine::RecordSent(nullptr, 0, faults.marks, 0);
  if (r == 0) return;
  if (faults.delayMs > 0) {
    for (HeldReply& h : held) {
      if (h.used) continue;
      h.used = true;
      h.peer = peer;
      h.peerLength = peerLength;
      h.length = r;
      h.due = slavefaults::DelayDue(platform::TickCount(), faults.delayMs);
      h.marks = faults.marks;
      h.delayMs = faults.delayMs;
      std::memcpy(h.bytes, reply, r);
      return;
    }
  }
  slaveengine::RecordSent(reply, r, faults.marks, 0);
  SendTo(socket, reply, r, peer, peerLength);
}

}  // namespace

void ResetUdpServer() {
  for (HeldReply& h : held) h.used = false;
}

void UdpServerStep(int socket, int waitMs) {
  const std::uint32_t before = platform::TickCount();
  for (const HeldReply& h : held) {
    if (!h.used) continue;
    const auto left = static_cast<std::int32_t>(h.due - before);
    waitMs = left <= 0 ? 0 : std::min(waitMs, static_cast<int>(left));
  }
  pollfd entry{socket, POLLIN, 0};
  const int ready = ::poll(&entry, 1, waitMs);
  SendDue(socket, platform::TickCount());
  if (ready <= 0 || !(entry.revents & POLLIN)) return;
  for (int reads = 0; reads < kMaxReadsPerStep; ++reads) {
    sockaddr_storage peer{};
    socklen_t peerLength = sizeof peer;
    // MSG_TRUNC: the datagram's real length, even when it did not fit.
    const ssize_t n = ::recvfrom(socket, datagram, sizeof datagram, MSG_TRUNC | MSG_DONTWAIT,
                                 reinterpret_cast<sockaddr*>(&peer), &peerLength);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return;  // drained (or an error report of an earlier send)
    Serve(socket, static_cast<long>(n), peer, peerLength);
  }
}

}  // namespace slaveudp
