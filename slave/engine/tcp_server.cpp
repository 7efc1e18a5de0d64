#include "slave/engine/tcp_server.h"

#include <arpa/inet.h>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "common/host_text.h"
#include "common/modbus_protocol.h"
#include "common/word_order.h"
#include "link/checksums.h"
#include "link/framing.h"
#include "platform/ticks.h"
#include "slave/engine/link_counters.h"
#include "slave/engine/slave_engine.h"
#include "slave/engine/udp_server.h"

namespace slavetcp {
namespace {

// Room for several back-to-back requests; whatever follows a complete request
// stays buffered for the next one.
constexpr int kConnectionBufferSize = 1024;
constexpr int kOutputBufferSize = 4096;

struct TcpConnection {
  int socket = -1;
  std::uint32_t lastActivity = 0;  // tick count, ms
  // The accept or the last complete request, tick count, ms. Bytes that never
  // make a request do not move it: this decides which connection goes first.
  std::uint32_t lastRequest = 0;
  std::uint32_t fill = 0;
  std::uint8_t buffer[kConnectionBufferSize];
  // A reply held back by an injected delay. While it waits, the connection's
  // further requests stay buffered, so replies keep their order, and the other
  // connections are served as usual.
  std::uint16_t pendingLength = 0;
  std::uint32_t pendingDue = 0;  // tick count, ms
  std::uint8_t pendingMarks = 0;
  std::uint32_t pendingDelay = 0;
  std::uint8_t pending[slaveengine::kReplyCapacity];
};

TcpConnection connections[kMaxConnections];
int listenSocket = -1;
std::atomic<bool> running{false};
std::atomic<std::uint32_t> idleLimitMs{kDefaultIdleLimitSeconds * 1000};
std::uint16_t boundPort = 0;
std::string boundAddress;
Framing framing = Framing::kMbap;
std::string lastError;

pollfd pollSet[kMaxConnections + 1];
int pollEntry[kMaxConnections + 1];  // connection index of each poll entry, -1 for the listener
std::uint8_t output[kOutputBufferSize];

void CloseConnection(TcpConnection& c) {
  if (c.socket >= 0) ::close(c.socket);
  c.socket = -1;
  c.fill = 0;
  c.pendingLength = 0;
}

// The connection that has gone longest without completing a request (the
// first of equals, in table order).
TcpConnection& LongestWithoutRequest(std::uint32_t now) {
  TcpConnection* oldest = &connections[0];
  for (TcpConnection& c : connections)
    if (now - c.lastRequest > now - oldest->lastRequest) oldest = &c;
  return *oldest;
}

// Puts a connected socket into a free entry, or in place of the connection that
// has gone longest without completing a request.
void Place(int s, std::uint32_t now) {
  TcpConnection* slot = nullptr;
  for (TcpConnection& c : connections)
    if (c.socket < 0) {
      slot = &c;
      break;
    }
  if (!slot) {
    slot = &LongestWithoutRequest(now);
    CloseConnection(*slot);
  }
  slot->socket = s;
  slot->fill = 0;
  slot->pendingLength = 0;
  slot->lastActivity = now;
  slot->lastRequest = now;
}

// A full table takes every new connection too: it replaces the connection that
// has gone longest without completing a request, so that idle or trickling
// peers cannot keep a master out.
void AcceptPending(std::uint32_t now) {
  for (;;) {
    const int s = ::accept4(listenSocket, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (s < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return;  // EAGAIN: nothing more waiting; other errors: try again next step
    }
    const int one = 1;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    Place(s, now);
  }
}

// Sends what the replies of this step left in the output buffer. A peer that
// does not take its replies cannot be served in order any more: close it.
bool SendAll(TcpConnection& c, const std::uint8_t* bytes, std::uint32_t count) {
  std::uint32_t done = 0;
  while (done < count) {
    const ssize_t n = ::send(c.socket, bytes + done, count - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      CloseConnection(c);
      return false;
    }
    done += static_cast<std::uint32_t>(n);
  }
  return true;
}

bool Flush(TcpConnection& c, std::uint32_t* outFill) {
  const std::uint32_t count = *outFill;
  *outFill = 0;
  return SendAll(c, output, count);
}

// Puts a served reply (r bytes at output + *outFill) into the output, or holds
// it back by its injected delay; the connection then reads nothing more until
// it has gone out.
void QueueReply(TcpConnection& c, std::uint16_t r, const slaveengine::ReplyFaults& faults, std::uint32_t* outFill) {
  if (faults.marks & slavefaults::kMarkDropped) slaveengine::RecordSent(nullptr, 0, faults.marks, 0);
  if (r == 0) return;
  const std::uint8_t* reply = output + *outFill;
  if (faults.delayMs > 0) {
    std::memcpy(c.pending, reply, r);
    c.pendingLength = r;
    c.pendingDue = slavefaults::DelayDue(platform::TickCount(), faults.delayMs);
    c.pendingMarks = faults.marks;
    c.pendingDelay = faults.delayMs;
    return;
  }
  slaveengine::RecordSent(reply, r, faults.marks, 0);
  *outFill += r;
}

// Keeps what follows the served requests for the next read.
void Consume(TcpConnection& c, std::uint32_t offset) {
  if (offset == 0) return;
  std::memmove(c.buffer, c.buffer + offset, c.fill - offset);
  c.fill -= offset;
}

// Serves every complete MBAP request in the buffer. False when the connection
// was closed (malformed header or a failed send).
bool ServeBufferedMbap(TcpConnection& c, std::uint32_t now) {
  std::uint32_t offset = 0;
  std::uint32_t outFill = 0;
  while (c.fill - offset >= 6 && c.pendingLength == 0) {
    const std::uint8_t* request = c.buffer + offset;
    // A request has a unit id and a function code after the header, and fits kMaxRequestSize.
    const int following = linklayer::MbapFollowingLength(request);
    if (following < 2 || following > kMaxRequestSize - linklayer::kMbapHeaderSize) {
      // Answer what came before the bad header, then drop the connection.
      if (Flush(c, &outFill)) CloseConnection(c);
      return false;
    }
    const std::uint32_t needed = static_cast<std::uint32_t>(linklayer::kMbapHeaderSize + following);
    if (c.fill - offset < needed) break;
    slaveengine::RecordReceived(request, static_cast<std::uint16_t>(needed));
    slavecounters::CountTcpRequest(request, static_cast<std::uint16_t>(needed));
    if (outFill + slaveengine::kReplyCapacity > kOutputBufferSize && !Flush(c, &outFill)) return false;
    slaveengine::ReplyFaults faults;
    const std::uint16_t r =
        slaveengine::ServeTcpRequest(request, static_cast<std::uint16_t>(needed), output + outFill, &faults);
    slavecounters::CountTcpReply(request, static_cast<std::uint16_t>(needed), output + outFill, r);
    offset += needed;
    c.lastRequest = now;
    QueueReply(c, r, faults, &outFill);
  }
  Consume(c, offset);
  return Flush(c, &outFill);
}

// The length of the RTU frame at the head of `have` bytes: where its function
// code and byte count say it ends if the CRC holds there, else all that has
// arrived if the CRC holds over that (a function whose length the frame does
// not tell, or a longer form of one), else -1: no request can be found, and the
// bytes are dropped. 0 while more bytes are needed.
int RtuStreamFrameLength(const std::uint8_t* frame, int have) {
  const int candidate = linklayer::RtuRequestLength(frame, have);
  if (candidate == 0 || candidate > have) return 0;
  if (candidate >= 4 && linklayer::ComputeCrc16(frame, static_cast<std::uint16_t>(candidate)) == 0)
    return candidate;
  if (have >= 4 && linklayer::ComputeCrc16(frame, static_cast<std::uint16_t>(have)) == 0) return have;
  return -1;
}

// Serves every complete RTU frame in the buffer. A frame with a bad CRC gets
// no answer, as on a serial line, and whatever had arrived with it is dropped.
bool ServeBufferedRtu(TcpConnection& c, std::uint32_t now) {
  std::uint32_t offset = 0;
  std::uint32_t outFill = 0;
  while (c.fill - offset >= 2 && c.pendingLength == 0) {
    const std::uint8_t* frame = c.buffer + offset;
    const int have = static_cast<int>(c.fill - offset);
    const int length = RtuStreamFrameLength(frame, have);
    if (length == 0) break;
    if (length < 0) {
      slaveengine::RecordReceived(frame, static_cast<std::uint16_t>(have));
      slavecounters::CountCheckError();
      offset = c.fill;
      break;
    }
    slaveengine::RecordReceived(frame, static_cast<std::uint16_t>(length));
    if (outFill + slaveengine::kReplyCapacity > kOutputBufferSize && !Flush(c, &outFill)) return false;
    slaveengine::ReplyFaults faults;
    const std::uint16_t r = slaveengine::ServeRtuStreamRequest(frame, static_cast<std::uint16_t>(length - 2),
                                                               output + outFill, &faults);
    offset += static_cast<std::uint32_t>(length);
    c.lastRequest = now;
    QueueReply(c, r, faults, &outFill);
  }
  Consume(c, offset);
  return Flush(c, &outFill);
}

bool ServeBuffered(TcpConnection& c, std::uint32_t now) {
  return framing == Framing::kRtu ? ServeBufferedRtu(c, now) : ServeBufferedMbap(c, now);
}

// A connection whose master sends without pause gets this many reads per step,
// so that it cannot keep the one receive thread from the others.
constexpr int kMaxReadsPerStep = 16;

void ReadAndServe(TcpConnection& c, std::uint32_t now) {
  for (int reads = 0; reads < kMaxReadsPerStep; ++reads) {
    // A held-back reply stops reading: what follows waits in the socket.
    if (c.pendingLength > 0) return;
    const std::uint32_t space = kConnectionBufferSize - c.fill;
    const ssize_t n = ::recv(c.socket, c.buffer + c.fill, space, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    if (n <= 0) {
      CloseConnection(c);  // closed by the peer or a receive error
      return;
    }
    c.fill += static_cast<std::uint32_t>(n);
    if (!ServeBuffered(c, now)) return;
    // A short read means the socket is drained for now.
    if (static_cast<std::uint32_t>(n) < space) return;
  }
}

// The host part of a listen address: "" means every IPv4 address, as before
// IPv6 was served; brackets around an IPv6 address are dropped.
std::string ListenHost(const std::string& address) {
  return address.empty() ? "0.0.0.0" : hosttext::Unbracketed(address);
}

// Creates, binds and (for a stream) listens; records the bound address and
// port. -1 with lastError set on failure.
int OpenListener(const std::string& host, std::uint16_t port, bool datagram) {
  const std::string where = hosttext::WithPort(host, port);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = datagram ? SOCK_DGRAM : SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE;
  addrinfo* found = nullptr;
  const int gai = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (gai != 0 || !found) {
    lastError = "address " + host + ": " + ::gai_strerror(gai);
    return -1;
  }
  sockaddr_storage bindAddress{};
  const socklen_t bindLength = found->ai_addrlen;
  std::memcpy(&bindAddress, found->ai_addr, found->ai_addrlen);
  const int family = found->ai_family;
  ::freeaddrinfo(found);
  if (family == AF_INET6) reinterpret_cast<sockaddr_in6*>(&bindAddress)->sin6_port = htons(port);
  else reinterpret_cast<sockaddr_in*>(&bindAddress)->sin_port = htons(port);

  const int s = ::socket(family, (datagram ? SOCK_DGRAM : SOCK_STREAM) | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (s < 0) {
    lastError = std::string("socket: ") + std::strerror(errno);
    return -1;
  }
  const int one = 1;
  if (!datagram) ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (::bind(s, reinterpret_cast<sockaddr*>(&bindAddress), bindLength) != 0) {
    lastError = "bind " + where + ": " + std::strerror(errno);
    ::close(s);
    return -1;
  }
  if (!datagram && ::listen(s, kMaxConnections) != 0) {
    lastError = "listen " + where + ": " + std::strerror(errno);
    ::close(s);
    return -1;
  }
  sockaddr_storage actual{};
  socklen_t actualLength = sizeof actual;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&actual), &actualLength);
  char text[INET6_ADDRSTRLEN] = {};
  if (actual.ss_family == AF_INET6) {
    const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&actual);
    ::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
    boundPort = ntohs(v6->sin6_port);
  } else {
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(&actual);
    ::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
    boundPort = ntohs(v4->sin_port);
  }
  boundAddress = text;
  return s;
}

}  // namespace

int StartTcpServer(const std::string& address, std::uint16_t port, Framing served) {
  if (running.load()) StopTcpServer();
  for (TcpConnection& c : connections) {
    c.socket = -1;
    c.fill = 0;
    c.pendingLength = 0;
  }
  lastError.clear();
  framing = served;
  slaveudp::ResetUdpServer();
  listenSocket = OpenListener(ListenHost(address), port, served == Framing::kUdp);
  if (listenSocket < 0) return 1;
  running.store(true);
  return 0;
}

Framing ServedFraming() { return framing; }
std::string ListeningAddress() { return boundAddress; }

void StopTcpServer() {
  if (listenSocket >= 0) ::close(listenSocket);
  listenSocket = -1;
  for (TcpConnection& c : connections)
    if (c.socket >= 0) {
      ::close(c.socket);
      c.socket = -1;
    }
  slaveudp::ResetUdpServer();
  running.store(false);
}

bool IsTcpServerRunning() { return running.load(); }
std::string LastTcpServerError() { return lastError; }
std::uint16_t ListeningPort() { return boundPort; }
void SetIdleLimitSeconds(std::uint32_t seconds) { idleLimitMs.store(seconds * 1000); }

bool AdoptConnection(int socket) {
  if (listenSocket < 0 || socket < 0) return false;
  Place(socket, platform::TickCount());
  return true;
}

int OpenConnectionCount() {
  int count = 0;
  for (const TcpConnection& c : connections)
    if (c.socket >= 0) ++count;
  return count;
}

// Sends a held-back reply once it is due, then serves what the connection
// buffered meanwhile.
void SendPendingIfDue(TcpConnection& c, std::uint32_t now) {
  if (static_cast<std::int32_t>(now - c.pendingDue) < 0) return;
  const std::uint16_t length = c.pendingLength;
  c.pendingLength = 0;
  c.lastActivity = now;
  c.lastRequest = now;  // the wait for a held-back reply is the server's, not the peer's
  slaveengine::RecordSent(c.pending, length, c.pendingMarks, c.pendingDelay);
  if (SendAll(c, c.pending, length)) ServeBuffered(c, now);
}

void TcpServerStep(int waitMs) {
  if (listenSocket < 0) {
    platform::SleepMs(static_cast<std::uint32_t>(waitMs));
    return;
  }
  if (framing == Framing::kUdp) {
    slaveudp::UdpServerStep(listenSocket, waitMs);
    return;
  }
  const std::uint32_t before = platform::TickCount();
  int count = 0;
  pollSet[count] = {listenSocket, POLLIN, 0};
  pollEntry[count++] = -1;
  for (int i = 0; i < kMaxConnections; ++i) {
    const TcpConnection& c = connections[i];
    if (c.socket < 0) continue;
    // A connection with a held-back reply is not read; its reply's due time
    // shortens the wait.
    short events = POLLIN;
    if (c.pendingLength > 0) {
      events = 0;
      const std::int32_t left = static_cast<std::int32_t>(c.pendingDue - before);
      waitMs = left <= 0 ? 0 : std::min(waitMs, static_cast<int>(left));
    }
    pollSet[count] = {c.socket, events, 0};
    pollEntry[count++] = i;
  }
  const int ready = ::poll(pollSet, static_cast<nfds_t>(count), waitMs);
  if (ready < 0) {
    if (errno != EINTR) StopTcpServer();
    return;
  }
  const std::uint32_t now = platform::TickCount();
  const std::uint32_t limit = idleLimitMs.load(std::memory_order_relaxed);
  for (int k = 1; k < count; ++k) {
    TcpConnection& c = connections[pollEntry[k]];
    if (c.socket < 0) continue;
    if (c.pendingLength > 0) {
      if (pollSet[k].revents & (POLLHUP | POLLERR)) CloseConnection(c);
      else SendPendingIfDue(c, now);
      continue;
    }
    if (pollSet[k].revents & (POLLIN | POLLHUP | POLLERR)) {
      c.lastActivity = now;
      ReadAndServe(c, now);
    } else if (now - c.lastActivity >= limit) {
      CloseConnection(c);
    }
    // The idle limit also bounds the time to complete a request: a peer that
    // trickles bytes without ever finishing one is closed like an idle one.
    if (c.socket >= 0 && c.pendingLength == 0 && now - c.lastRequest >= limit) CloseConnection(c);
  }
  if (pollSet[0].revents & POLLIN) AcceptPending(now);
}

}  // namespace slavetcp

namespace slaveengine {

namespace {
// The header and the unit id before the PDU.
constexpr std::uint16_t kMbapBytes = modbus::MBAP_HEADER_LENGTH;
}  // namespace

std::uint16_t ServeTcpRequest(const std::uint8_t* request, std::uint16_t length, std::uint8_t* reply) {
  if (length <= kMbapBytes) return 0;  // no function code
  const std::uint8_t unit = request[linklayer::kMbapHeaderSize];
  const auto pduLength = static_cast<std::uint16_t>(length - kMbapBytes);
  const std::uint16_t n = ServePdu(Transport::kTcp, unit, request + kMbapBytes, pduLength, reply + kMbapBytes);
  if (n == 0) return 0;
  std::memmove(reply, request, kMbapBytes);
  return static_cast<std::uint16_t>(kMbapBytes + n);
}

std::uint16_t ServeTcpRequest(const std::uint8_t* request, std::uint16_t length, std::uint8_t* reply,
                              ReplyFaults* faults) {
  *faults = ReplyFaults{};
  slavefaults::FaultPlan plan;
  if (AnyFaultsActive() && length > kMbapBytes) {
    const std::uint8_t unit = request[linklayer::kMbapHeaderSize];
    if (!IsAddressed(Transport::kTcp, unit)) return 0;
    plan = PlanFaults(unit, request + kMbapBytes, static_cast<std::uint16_t>(length - kMbapBytes));
  }
  faults->marks = plan.marks;
  if (plan.drop) return 0;
  std::uint16_t n = 0;
  if (plan.exception != 0) {
    std::memmove(reply, request, kMbapBytes);
    // The function code with its high bit set; unlike ExceptionPdu's sum, a code
    // that has the bit already keeps it.
    const auto function = static_cast<std::uint8_t>(request[kMbapBytes] & ~modbus::EXCEPTION_FLAG);
    n = static_cast<std::uint16_t>(kMbapBytes + ExceptionPdu(reply + kMbapBytes, function, plan.exception));
  } else {
    n = ServeTcpRequest(request, length, reply);
  }
  if (n == 0) {
    faults->marks = 0;
    return 0;
  }
  std::uint16_t transactionId = wordorder::Get16(reply);
  std::uint16_t lengthField = static_cast<std::uint16_t>(n - linklayer::kMbapHeaderSize);
  if (plan.corrupt) {
    if (plan.corruptTransactionId) transactionId ^= 0x005A;
    else ++lengthField;
  }
  linklayer::PutMbapHeader(reply, transactionId, lengthField);
  faults->delayMs = plan.delayMs;
  return n;
}

std::uint16_t ServeRtuStreamRequest(const std::uint8_t* request, std::uint16_t length, std::uint8_t* reply,
                                    ReplyFaults* faults) {
  *faults = ReplyFaults{};
  // Counted as on the serial line: the frame's CRC held.
  slavecounters::CountBusMessage();
  if (length < 2) return 0;
  const std::uint8_t unit = request[0];
  // Ignore Unit ID serves every address but the broadcast; the rest follows
  // the serial line's rules.
  const Transport transport =
      GetIgnoreUnitId() && unit != modbus::BROADCAST_ADDRESS ? Transport::kTcp : Transport::kSerial;
  if (!IsAddressed(transport, unit)) return 0;
  slavecounters::CountServerMessage();
  const auto pduLength = static_cast<std::uint16_t>(length - 1);
  slavefaults::FaultPlan plan;
  if (AnyFaultsActive()) plan = PlanFaults(unit, request + 1, pduLength);
  faults->marks = plan.marks;
  if (plan.drop) {
    slavecounters::CountReply(nullptr, 0);
    return 0;
  }
  const std::uint16_t n = plan.exception != 0 ? ExceptionPdu(reply + 1, request[1], plan.exception)
                                              : ServePdu(transport, unit, request + 1, pduLength, reply + 1);
  // A broadcast is carried out but never answered: every slave on the bus behind
  // a gateway would answer at once.
  const std::uint16_t sent = unit == modbus::BROADCAST_ADDRESS ? 0 : n;
  slavecounters::CountReply(reply + 1, sent);
  if (sent == 0) {
    faults->marks = 0;
    return 0;
  }
  reply[0] = unit;
  const linklayer::Check check = plan.corrupt ? linklayer::Check::kSpoiled : linklayer::Check::kGood;
  faults->delayMs = plan.delayMs;
  return linklayer::AppendCrc(reply, static_cast<std::uint16_t>(n + 1), check);
}

}  // namespace slaveengine
