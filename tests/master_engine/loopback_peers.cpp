#include "tests/master_engine/loopback_peers.h"

#include <arpa/inet.h>
#include <chrono>
#include <utility>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace testpeer {

std::uint16_t FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

bool PortAccepts(std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return ok;
}

Pty::Pty() {
  char name[256];
  if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) return;
  termios settings{};
  ::tcgetattr(slave, &settings);
  ::cfmakeraw(&settings);
  ::tcsetattr(slave, TCSANOW, &settings);
  path = name;
}

Pty::~Pty() {
  if (master >= 0) ::close(master);
  if (slave >= 0) ::close(slave);
}

PtyBridge::PtyBridge(int a, int b, std::function<bool()> gate)
    : a_(a), b_(b), gate_(std::move(gate)), thread_([this] { run(); }) {}

PtyBridge::~PtyBridge() {
  stop_ = true;
  thread_.join();
}

void PtyBridge::run() {
  while (!stop_) {
    pollfd entries[2] = {{a_, POLLIN, 0}, {b_, POLLIN, 0}};
    if (::poll(entries, 2, 20) <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (!(entries[i].revents & POLLIN)) {
        // A hang-up while the far device is closed: don't spin on it.
        if (entries[i].revents) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        continue;
      }
      std::uint8_t buffer[1024];
      const ssize_t got = ::read(entries[i].fd, buffer, sizeof buffer);
      if (got > 0 && (!gate_ || gate_())) (void)!::write(i == 0 ? b_ : a_, buffer, static_cast<std::size_t>(got));
    }
  }
}

}  // namespace testpeer
