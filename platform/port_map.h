#pragma once
// Serial port numbers (1..kMaxPortNumber) map to device paths. The programs load
// the mapping from their profile (section "Ports", keys "Port1".."PortN") and show
// it to the user; the defaults are /dev/ttyUSB0 for port 1, /dev/ttyUSB1 for port 2, ...
#include <string>

namespace platform {

constexpr int kMaxPortNumber = 30;

// The device path of a port number; empty for a number outside 1..kMaxPortNumber.
std::string SerialPortPath(int portNumber);
// Replaces the path of a port number (ignored outside 1..kMaxPortNumber). An empty
// path restores the default.
void SetSerialPortPath(int portNumber, const std::string& path);
std::string DefaultSerialPortPath(int portNumber);

}  // namespace platform
