#include "link/tcp_client.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "common/host_text.h"
#include "platform/ticks.h"

namespace linklayer {
namespace {

constexpr std::uint32_t kSendWaitMs = 2000;
constexpr std::uint32_t kConnectWaitMs = 10000;
constexpr std::uint32_t kMinReconnectWaitMs = 1000;

int socketFd = -1;
bool connected = false;
// The server closed the connection or the stream lost its framing; the next
// send reconnects first.
bool broken = false;
sockaddr_storage serverAddress{};
socklen_t serverAddressLength = 0;
NetTransport transport = NetTransport::kTcp;
std::uint32_t responseTimeoutMs = 1000;

void CloseSocket() {
  if (socketFd >= 0) ::close(socketFd);
  socketFd = -1;
}

// Milliseconds left until deadline (a TickCount value); 0 once it has passed.
int Remaining(std::uint32_t deadline) {
  const auto left = static_cast<std::int32_t>(deadline - platform::TickCount());
  return left > 0 ? left : 0;
}

// Waits for one poll() event, retrying on EINTR. Returns >0 ready, 0 expired, -1 error.
int WaitFor(short events, std::uint32_t deadline) {
  for (;;) {
    pollfd entry{socketFd, events, 0};
    const int ready = ::poll(&entry, 1, Remaining(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready > 0 && (entry.revents & (POLLERR | POLLNVAL)) && !(entry.revents & events)) return -1;
    return ready;
  }
}

// Creates a socket and connects it within waitMs. Leaves socketFd -1 on failure.
bool OpenAndConnect(std::uint32_t waitMs) {
  CloseSocket();
  const bool datagram = transport == NetTransport::kUdp;
  socketFd = ::socket(serverAddress.ss_family, (datagram ? SOCK_DGRAM : SOCK_STREAM) | SOCK_CLOEXEC, 0);
  if (socketFd < 0) return false;
  // Requests are small and each waits for its reply: Nagle would only add delay.
  const int one = 1;
  if (!datagram) ::setsockopt(socketFd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

  const int flags = ::fcntl(socketFd, F_GETFL, 0);
  ::fcntl(socketFd, F_SETFL, flags | O_NONBLOCK);
  int rc = ::connect(socketFd, reinterpret_cast<const sockaddr*>(&serverAddress), serverAddressLength);
  if (rc < 0 && errno == EINPROGRESS) {
    if (WaitFor(POLLOUT, platform::TickCount() + waitMs) > 0) {
      int error = 0;
      socklen_t length = sizeof error;
      ::getsockopt(socketFd, SOL_SOCKET, SO_ERROR, &error, &length);
      rc = error == 0 ? 0 : -1;
    }
  }
  if (rc != 0) {
    CloseSocket();
    return false;
  }
  ::fcntl(socketFd, F_SETFL, flags & ~O_NONBLOCK);
  broken = false;
  return true;
}

void Reconnect() {
  OpenAndConnect(responseTimeoutMs > kMinReconnectWaitMs ? responseTimeoutMs : kMinReconnectWaitMs);
}

// Drops bytes that arrived after an earlier exchange gave up (a late reply), so
// they cannot be taken for the reply to the next request.
void DropStaleBytes() {
  std::uint8_t scratch[256];
  for (;;) {
    const ssize_t got = ::recv(socketFd, scratch, sizeof scratch, MSG_DONTWAIT);
    if (got > 0 || (got == 0 && transport == NetTransport::kUdp)) continue;  // a late reply or an empty datagram
    if (got == 0) broken = true;  // the server has closed the connection
    else if (errno == EINTR) continue;
    // A datagram socket reports an earlier datagram nobody took (ECONNREFUSED)
    // once; it stays usable.
    else if (transport == NetTransport::kUdp && errno == ECONNREFUSED) continue;
    else if (errno != EAGAIN && errno != EWOULDBLOCK) broken = true;
    return;
  }
}

enum class ReadOutcome { Complete, TimedOut, Failed };

// Reads until `wanted` bytes are in buffer (counting `have` already there).
// With readyNow the bytes are likely there already (the rest of a reply whose
// header has come), so it reads before waiting.
ReadOutcome ReadUntil(std::uint8_t* buffer, int& have, int wanted, std::uint32_t deadline, bool readyNow) {
  while (have < wanted) {
    if (!readyNow) {
      const int ready = WaitFor(POLLIN, deadline);
      if (ready == 0) return ReadOutcome::TimedOut;
      if (ready < 0) return ReadOutcome::Failed;
    }
    readyNow = false;
    const ssize_t got = ::recv(socketFd, buffer + have, static_cast<size_t>(wanted - have), MSG_DONTWAIT);
    if (got > 0) {
      have += static_cast<int>(got);
      readyNow = true;  // more of a segmented reply may already be waiting
    } else if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) {
      continue;
    } else {
      return ReadOutcome::Failed;  // 0: closed by the server
    }
  }
  return ReadOutcome::Complete;
}

// Whether the text is made of digits and dots only: meant as a dotted address,
// never looked up as a name.
bool LooksDotted(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789.") == std::string::npos;
}

// Waits for one datagram holding a whole Modbus/UDP reply; others are skipped.
int DatagramReceive(std::uint8_t* buffer, std::uint32_t deadline) {
  for (;;) {
    const int ready = WaitFor(POLLIN, deadline);
    if (ready == 0) return 0;
    if (ready < 0) return -1;
    std::uint8_t datagram[kTcpMaxAdu + 1];
    // MSG_TRUNC: the real length, so that an oversized datagram is seen as such.
    const ssize_t got = ::recv(socketFd, datagram, sizeof datagram, MSG_TRUNC | MSG_DONTWAIT);
    if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
    if (got < 0) return -1;  // e.g. nobody listens at the server's port
    if (got < kTcpMinAdu || got > kTcpMaxAdu) continue;
    if (MbapFollowingLength(datagram) != got - kMbapHeaderSize) continue;
    std::memcpy(buffer, datagram, static_cast<size_t>(got));
    return static_cast<int>(got);
  }
}

}  // namespace

TcpConnectStatus NetConnect(NetTransport kind, const char* host, std::uint16_t port, std::uint32_t timeoutMs) {
  TcpDisconnect();
  // Probe that the system gives us a socket at all before looking at the address.
  const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (probe < 0) return TcpConnectStatus::NoSocket;
  ::close(probe);

  const std::string name = hosttext::Unbracketed(host == nullptr ? std::string() : std::string(host));
  in_addr v4{};
  if (name.empty()) return TcpConnectStatus::BadAddress;
  if (LooksDotted(name) &&
      (::inet_pton(AF_INET, name.c_str(), &v4) != 1 || v4.s_addr == htonl(INADDR_BROADCAST)))
    return TcpConnectStatus::BadAddress;

  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = kind == NetTransport::kUdp ? SOCK_DGRAM : SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  if (::getaddrinfo(name.c_str(), service.c_str(), &hints, &found) != 0 || found == nullptr)
    return TcpConnectStatus::HostNotFound;
  transport = kind;
  bool ok = false;
  for (const addrinfo* a = found; a != nullptr && !ok; a = a->ai_next) {
    if (a->ai_addrlen > sizeof serverAddress) continue;
    serverAddress = {};
    std::memcpy(&serverAddress, a->ai_addr, a->ai_addrlen);
    serverAddressLength = a->ai_addrlen;
    ok = OpenAndConnect(kConnectWaitMs);
  }
  ::freeaddrinfo(found);
  if (!ok) return TcpConnectStatus::ConnectFailed;
  responseTimeoutMs = timeoutMs;
  connected = true;
  return TcpConnectStatus::Ok;
}

NetTransport ConnectedTransport() { return transport; }

void TcpDisconnect() {
  CloseSocket();
  connected = false;
  broken = false;
}

bool IsTcpConnected() { return connected; }

bool TcpSend(const std::uint8_t* bytes, std::uint16_t count) {
  // Also notices a server that closed the idle connection, so the request goes
  // out on a fresh one instead of failing.
  if (socketFd >= 0) DropStaleBytes();
  if (broken || socketFd < 0) Reconnect();
  if (socketFd >= 0) {
    const std::uint32_t deadline = platform::TickCount() + kSendWaitMs;
    int sent = 0;
    while (sent < count) {
      // Try at once; wait for room only when the socket's buffer is full.
      const ssize_t n =
          ::send(socketFd, bytes + sent, static_cast<size_t>(count - sent), MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) {
        sent += static_cast<int>(n);
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        if (WaitFor(POLLOUT, deadline) <= 0) break;
      } else {
        break;
      }
    }
    if (sent == count) return true;
  }
  Reconnect();
  return false;
}

int TcpReceive(std::uint8_t* buffer) {
  if (socketFd < 0) return -1;
  const std::uint32_t deadline = platform::TickCount() + responseTimeoutMs;
  if (transport == NetTransport::kUdp) return DatagramReceive(buffer, deadline);
  int have = 0;

  ReadOutcome outcome = ReadUntil(buffer, have, kMbapHeaderSize, deadline, false);
  if (outcome == ReadOutcome::TimedOut && have == 0) return 0;
  if (outcome != ReadOutcome::Complete) {
    broken = true;
    return -1;
  }
  // The length counts the unit id and the PDU; a reply has at least a function
  // code and one byte, and never more than 255 bytes after the header (-1: a
  // protocol id other than 0).
  const int length = MbapFollowingLength(buffer);
  if (length < kTcpMinAdu - kMbapHeaderSize || length > kTcpMaxAdu - kMbapHeaderSize) {
    broken = true;  // the stream has lost its framing: start afresh
    return -1;
  }
  outcome = ReadUntil(buffer, have, kMbapHeaderSize + length, deadline, true);
  if (outcome == ReadOutcome::Complete) return have;
  broken = true;
  if (outcome == ReadOutcome::TimedOut && have >= kTcpMinAdu) return have;
  return -1;
}

int RtuStreamReceive(std::uint8_t* buffer, int capacity) {
  if (socketFd < 0) return -1;
  const std::uint32_t deadline = platform::TickCount() + responseTimeoutMs;
  int have = 0;
  ReadOutcome outcome = ReadUntil(buffer, have, 2, deadline, false);
  bool readyNow = true;
  while (outcome == ReadOutcome::Complete) {
    int length = RtuReplyLength(buffer, have);
    if (length < 0 || length > capacity) {
      // The function code does not tell the end: take what is there by now.
      ReadUntil(buffer, have, capacity, platform::TickCount(), true);
      return have;
    }
    if (length > 0 && have >= length) return have;
    // 0: one more byte tells more (the byte count, an identification object).
    outcome = ReadUntil(buffer, have, length == 0 ? have + 1 : length, deadline, readyNow);
  }
  if (outcome == ReadOutcome::TimedOut) return have;
  broken = true;  // closed or broken, maybe in the middle of a frame
  return -1;
}

}  // namespace linklayer
