#include "platform/port_map.h"

#include <array>
#include <mutex>

namespace platform {

namespace {
std::mutex g_mutex;  // the GUI thread sets paths while an engine may open a port
std::array<std::string, kMaxPortNumber + 1> g_overrides;  // index = port number; empty = default

bool IsValidPort(int portNumber) { return portNumber >= 1 && portNumber <= kMaxPortNumber; }
}  // namespace

std::string DefaultSerialPortPath(int portNumber) {
  if (!IsValidPort(portNumber)) return {};
  return "/dev/ttyUSB" + std::to_string(portNumber - 1);
}

std::string SerialPortPath(int portNumber) {
  if (!IsValidPort(portNumber)) return {};
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_overrides[portNumber].empty()) return g_overrides[portNumber];
  }
  return DefaultSerialPortPath(portNumber);
}

void SetSerialPortPath(int portNumber, const std::string& path) {
  if (!IsValidPort(portNumber)) return;
  std::lock_guard<std::mutex> lock(g_mutex);
  g_overrides[portNumber] = path;
}

}  // namespace platform
