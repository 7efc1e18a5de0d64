#pragma once
// Two pseudo-terminal pairs joined back to back: whatever one program writes to
// device A the other reads from device B, and the reverse. Lets a serial peer
// (pymodbus) and zelmor, two processes, share a "serial line" without hardware.
#include <atomic>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>

class PtyBridge {
 public:
  PtyBridge() {
    if (!open(&masterA_, &slaveA_, &pathA_) || !open(&masterB_, &slaveB_, &pathB_)) return;
    ok_ = true;
    thread_ = std::thread([this] { run(); });
  }
  ~PtyBridge() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    for (int fd : {masterA_, slaveA_, masterB_, slaveB_})
      if (fd >= 0) ::close(fd);
  }
  bool ok() const { return ok_; }
  const std::string& pathA() const { return pathA_; }
  const std::string& pathB() const { return pathB_; }

 private:
  static bool open(int* master, int* slave, std::string* path) {
    char name[128];
    termios raw{};
    cfmakeraw(&raw);
    if (::openpty(master, slave, name, &raw, nullptr) != 0) return false;
    ::fcntl(*master, F_SETFL, ::fcntl(*master, F_GETFL) | O_NONBLOCK);
    *path = name;
    return true;
  }
  void run() {
    unsigned char buffer[512];
    while (!stop_) {
      pollfd fds[2] = {{masterA_, POLLIN, 0}, {masterB_, POLLIN, 0}};
      if (::poll(fds, 2, 50) <= 0) continue;
      for (int k = 0; k < 2; ++k) {
        if (!(fds[k].revents & POLLIN)) continue;
        ssize_t n = ::read(fds[k].fd, buffer, sizeof buffer);
        if (n > 0) {
          int to = k == 0 ? masterB_ : masterA_;
          ssize_t off = 0;
          while (off < n) {
            ssize_t w = ::write(to, buffer + off, static_cast<size_t>(n - off));
            if (w > 0) off += w;
            else if (stop_) break;
          }
        }
      }
    }
  }
  int masterA_ = -1, slaveA_ = -1, masterB_ = -1, slaveB_ = -1;
  std::string pathA_, pathB_;
  bool ok_ = false;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};
