#pragma once
// Two pseudo-terminal pairs joined back to back: whatever one program writes to
// device A the other reads from device B, and the reverse. Lets a serial peer
// (pymodbus) and zelmor, two processes, share a "serial line" without hardware.
// The pairs and the copying are the master engine tests' own (loopback_peers).
#include <termios.h>

#include <string>

#include "tests/master_engine/loopback_peers.h"

class PtyBridge {
 public:
  bool ok() const { return !a_.path.empty() && !b_.path.empty(); }
  const std::string& pathA() const { return a_.path; }
  const std::string& pathB() const { return b_.path; }

 private:
  testpeer::Pty a_;
  testpeer::Pty b_;
  testpeer::PtyBridge bridge_{a_.master, b_.master};  // declared last: stops before the pairs close
};

// A line that carries bytes only while the program on device B has set the
// given baud rate: a device that answers only at its own speed. Reads the
// setting through the pty's master side, which reports its device side's
// (the parity is not kept by the pty driver, so it cannot be checked here).
class LineSettingsBridge {
 public:
  explicit LineSettingsBridge(speed_t speed) : speed_(speed) {}
  bool ok() const { return !a_.path.empty() && !b_.path.empty(); }
  const std::string& pathA() const { return a_.path; }
  const std::string& pathB() const { return b_.path; }

 private:
  bool matches() const {
    termios t{};
    if (::tcgetattr(b_.master, &t) != 0) return false;
    return ::cfgetospeed(&t) == speed_;
  }
  speed_t speed_;
  testpeer::Pty a_;
  testpeer::Pty b_;
  testpeer::PtyBridge bridge_{a_.master, b_.master, [this] { return matches(); }};
};
