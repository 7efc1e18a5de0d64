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

#include "common/modbus_protocol.h"
#include "common/word_order.h"
#include "link/framing.h"
#include "platform/ticks.h"
#include "slave/engine/link_counters.h"
#include "slave/engine/slave_engine.h"

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
    const int one = 1;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    slot->socket = s;
    slot->fill = 0;
    slot->pendingLength = 0;
    slot->lastActivity = now;
    slot->lastRequest = now;
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

// Serves every complete request in the buffer. False when the connection was
// closed (malformed header or a failed send).
bool ServeBuffered(TcpConnection& c, std::uint32_t now) {
  std::uint32_t offset = 0;
  std::uint32_t outFill = 0;
  while (c.fill - offset >= 6 && c.pendingLength == 0) {
    const std::uint8_t* request = c.buffer + offset;
    if (request[2] != 0 || request[3] != 0 || request[4] != 0 || request[5] < 2) {
      // Answer what came before the bad header, then drop the connection.
      if (Flush(c, &outFill)) CloseConnection(c);
      return false;
    }
    const std::uint32_t needed = 6u + request[5];
    if (c.fill - offset < needed) break;
    slaveengine::RecordReceived(request, static_cast<std::uint16_t>(needed));
    slavecounters::CountTcpRequest(request, static_cast<std::uint16_t>(needed));
    if (outFill + slaveengine::kReplyCapacity > kOutputBufferSize && !Flush(c, &outFill)) return false;
    std::uint8_t* reply = output + outFill;
    slaveengine::ReplyFaults faults;
    const std::uint16_t r =
        slaveengine::ServeTcpRequest(request, static_cast<std::uint16_t>(needed), reply, &faults);
    slavecounters::CountTcpReply(request, static_cast<std::uint16_t>(needed), reply, r);
    offset += needed;
    c.lastRequest = now;
    if (faults.marks & slavefaults::kMarkDropped) slaveengine::RecordSent(nullptr, 0, faults.marks, 0);
    if (r == 0) continue;
    if (faults.delayMs > 0) {
      std::memcpy(c.pending, reply, r);
      c.pendingLength = r;
      c.pendingDue = slavefaults::DelayDue(platform::TickCount(), faults.delayMs);
      c.pendingMarks = faults.marks;
      c.pendingDelay = faults.delayMs;
      break;
    }
    slaveengine::RecordSent(reply, r, faults.marks, 0);
    outFill += r;
  }
  if (offset > 0) {
    std::memmove(c.buffer, c.buffer + offset, c.fill - offset);
    c.fill -= offset;
  }
  return Flush(c, &outFill);
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

}  // namespace

int StartTcpServer(const std::string& address, std::uint16_t port) {
  if (running.load()) StopTcpServer();
  for (TcpConnection& c : connections) {
    c.socket = -1;
    c.fill = 0;
    c.pendingLength = 0;
  }
  lastError.clear();
  const std::string host = address.empty() ? "0.0.0.0" : address;
  const std::string where = host + ":" + std::to_string(port);

  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE;
  addrinfo* found = nullptr;
  const int gai = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (gai != 0 || !found) {
    lastError = "address " + host + ": " + ::gai_strerror(gai);
    return 1;
  }
  sockaddr_in bindAddress{};
  std::memcpy(&bindAddress, found->ai_addr, sizeof bindAddress);
  ::freeaddrinfo(found);
  bindAddress.sin_port = htons(port);

  listenSocket = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (listenSocket < 0) {
    lastError = std::string("socket: ") + std::strerror(errno);
    return 1;
  }
  const int one = 1;
  ::setsockopt(listenSocket, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (::bind(listenSocket, reinterpret_cast<sockaddr*>(&bindAddress), sizeof bindAddress) != 0) {
    lastError = "bind " + where + ": " + std::strerror(errno);
    StopTcpServer();
    return 1;
  }
  if (::listen(listenSocket, kMaxConnections) != 0) {
    lastError = "listen " + where + ": " + std::strerror(errno);
    StopTcpServer();
    return 1;
  }
  sockaddr_in actual{};
  socklen_t actualLength = sizeof actual;
  ::getsockname(listenSocket, reinterpret_cast<sockaddr*>(&actual), &actualLength);
  boundPort = ntohs(actual.sin_port);
  running.store(true);
  return 0;
}

void StopTcpServer() {
  if (listenSocket >= 0) ::close(listenSocket);
  listenSocket = -1;
  for (TcpConnection& c : connections)
    if (c.socket >= 0) {
      ::close(c.socket);
      c.socket = -1;
    }
  running.store(false);
}

bool IsTcpServerRunning() { return running.load(); }
std::string LastTcpServerError() { return lastError; }
std::uint16_t ListeningPort() { return boundPort; }
void SetIdleLimitSeconds(std::uint32_t seconds) { idleLimitMs.store(seconds * 1000); }

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

}  // namespace slaveengine
