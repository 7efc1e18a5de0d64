#pragma once
// A small blocking TCP client for the server tests.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

#include "platform/ticks.h"

namespace slavetest {

class Client {
 public:
  explicit Client(std::uint16_t port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
      ::close(fd_);
      fd_ = -1;
    }
    const int one = 1;
    if (fd_ >= 0) ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  }
  ~Client() {
    if (fd_ >= 0) ::close(fd_);
  }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  bool connected() const { return fd_ >= 0; }
  // Ends both directions, so that a thread blocked in send() or receive() returns.
  void shutdown() { ::shutdown(fd_, SHUT_RDWR); }
  bool send(const std::vector<std::uint8_t>& bytes) {
    return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
  }
  // Reads until `count` bytes arrived, the peer closed or the time-out passed.
  std::vector<std::uint8_t> receive(std::size_t count, int timeoutMs) {
    std::vector<std::uint8_t> out;
    const std::uint32_t start = platform::TickCount();
    while (out.size() < count) {
      const int left = timeoutMs - static_cast<int>(platform::TickCount() - start);
      if (left <= 0) break;
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, left) <= 0) break;
      std::uint8_t chunk[512];
      const ssize_t n = ::recv(fd_, chunk, std::min(sizeof chunk, count - out.size()), 0);
      if (n <= 0) {
        closedByPeer_ = n == 0;
        break;
      }
      out.insert(out.end(), chunk, chunk + n);
    }
    return out;
  }
  // True when the server closes the connection within the time-out.
  bool waitClosed(int timeoutMs) {
    receive(1 << 20, timeoutMs);
    return closedByPeer_;
  }

 private:
  int fd_ = -1;
  bool closedByPeer_ = false;
};

inline std::vector<std::uint8_t> ReadHoldingRequest(std::uint16_t transaction, std::uint8_t unit,
                                                     std::uint16_t address, std::uint16_t count) {
  return {static_cast<std::uint8_t>(transaction >> 8), static_cast<std::uint8_t>(transaction), 0, 0, 0, 6, unit, 3,
          static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address),
          static_cast<std::uint8_t>(count >> 8), static_cast<std::uint8_t>(count)};
}

}  // namespace slavetest
