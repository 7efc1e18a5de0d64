#include "platform/serial_device.h"

#include <poll.h>

#include <cerrno>
#include <cstring>
#include <mutex>

namespace platform {

namespace {
std::mutex g_openerMutex;
SerialDeviceOpener g_opener;  // empty: the real termios device
}  // namespace

int SerialDevice::waitReadable(std::int64_t timeoutUs) const {
  pollfd descriptor{pollDescriptor(), POLLIN, 0};
  const timespec limit{static_cast<time_t>(timeoutUs / 1000000), static_cast<long>(timeoutUs % 1000000) * 1000};
  const int ready = ::ppoll(&descriptor, 1, timeoutUs < 0 ? nullptr : &limit, nullptr);
  if (ready < 0) return errno == EINTR ? 0 : -1;
  if (ready == 0) return 0;
  return (descriptor.revents & POLLIN) != 0 ? 1 : -1;  // POLLHUP, POLLERR or POLLNVAL without data
}

void SetSerialDeviceOpener(SerialDeviceOpener opener) {
  std::lock_guard<std::mutex> lock(g_openerMutex);
  g_opener = std::move(opener);
}

std::unique_ptr<SerialDevice> OpenSerialDevice(const std::string& path, SerialOpenError* error) {
  SerialDeviceOpener opener;
  {
    std::lock_guard<std::mutex> lock(g_openerMutex);
    opener = g_opener;
  }
  if (opener) return opener(path, error);
  return OpenPosixSerialDevice(path, error);
}

std::string SerialOpenErrorText(const SerialOpenError& error) {
  // Serial devices belong to the group dialout (mode 0660): a user outside it
  // gets EACCES, and the system's own text does not say what to do about it.
  if (error.status == SerialOpenStatus::PermissionDenied || error.systemError == EACCES)
    return kPermissionDeniedText;
  if (!error.systemText.empty()) return error.systemText;
  if (error.systemError != 0) {
    char buffer[256];
    // GNU strerror_r returns the text, which may or may not be in buffer.
    return strerror_r(error.systemError, buffer, sizeof buffer);
  }
  switch (error.status) {
    case SerialOpenStatus::Ok: return "";
    case SerialOpenStatus::NoSuchPort: return "No such port";
    case SerialOpenStatus::Busy: return "Port in use";
    case SerialOpenStatus::PermissionDenied: return kPermissionDeniedText;
    case SerialOpenStatus::NotASerialDevice: return "Not a serial device";
    case SerialOpenStatus::OtherError: break;
  }
  return "Cannot open the port";
}

}  // namespace platform
