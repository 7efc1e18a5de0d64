#pragma once
// Small loopback helpers shared by the master engine's tests and benchmark:
// free TCP ports, waiting for a server to accept, raw pty pairs and a bridge
// that joins two pty pairs into one line.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

namespace testpeer {

// A loopback TCP port that was free a moment ago.
std::uint16_t FreePort();
// True when a loopback server accepts a connection on the port.
bool PortAccepts(std::uint16_t port);

// A raw pty pair whose device side another program can open by path.
struct Pty {
  int master = -1;
  int slave = -1;
  std::string path;
  Pty();
  ~Pty();
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;
};

// Copies bytes between the master sides of two pty pairs, so a program on one
// pair's device and a peer on the other's share a line.
// With a gate, bytes pass only while gate() is true (a line whose settings do
// not match carries nothing intelligible); the others are read and dropped.
class PtyBridge {
 public:
  PtyBridge(int a, int b, std::function<bool()> gate = nullptr);
  ~PtyBridge();

 private:
  void run();
  int a_, b_;
  std::function<bool()> gate_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace testpeer
