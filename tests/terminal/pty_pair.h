#pragma once
// A pseudo-terminal pair for the terminal's tests: the port under test opens
// the slave side by its path (mapped to a port number), the test plays the
// peer on the master side.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace kestrin::testing {

class PtyPair {
 public:
  PtyPair() {
    termios raw{};
    cfmakeraw(&raw);
    if (::openpty(&master_, &slave_, nullptr, &raw, nullptr) != 0) return;
    path_ = ::ttyname(slave_);
  }
  ~PtyPair() {
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
  }
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  bool ok() const { return master_ >= 0 && !path_.empty(); }
  const std::string& path() const { return path_; }

  // Bytes from the peer to the port.
  bool send(const std::vector<std::uint8_t>& bytes) const {
    return ::write(master_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  }

  // As send, but never waits for room: a line nobody reads any more fills up,
  // and a streaming peer must still notice that it is told to stop. Returns
  // false when nothing could be written within 10 ms.
  bool offer(const std::vector<std::uint8_t>& bytes) const {
    pollfd room{master_, POLLOUT, 0};
    if (::poll(&room, 1, 10) <= 0) return false;
    const int flags = ::fcntl(master_, F_GETFL);
    ::fcntl(master_, F_SETFL, flags | O_NONBLOCK);
    const ssize_t written = ::write(master_, bytes.data(), bytes.size());
    ::fcntl(master_, F_SETFL, flags);
    return written > 0;
  }

  // Whatever the port has written so far, without waiting.
  std::vector<std::uint8_t> drain() const { return receive(1 << 20, 0); }

  // What the port wrote: reads until `count` bytes arrived or the time-out passed.
  std::vector<std::uint8_t> receive(std::size_t count, int timeoutMs) const {
    std::vector<std::uint8_t> bytes;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (bytes.size() < count) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      pollfd wait{master_, POLLIN, 0};
      if (::poll(&wait, 1, static_cast<int>(left.count() > 0 ? left.count() : 0)) <= 0) {
        if (left.count() <= 0) break;
        continue;
      }
      std::uint8_t chunk[4096];
      const ssize_t got = ::read(master_, chunk, sizeof chunk);
      if (got <= 0) break;
      bytes.insert(bytes.end(), chunk, chunk + got);
    }
    return bytes;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};

}  // namespace kestrin::testing
