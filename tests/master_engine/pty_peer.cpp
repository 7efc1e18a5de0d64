#include "tests/master_engine/pty_peer.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

#include "platform/port_map.h"

namespace testpeer {

std::uint16_t Crc16(const Bytes& bytes) {
  std::uint16_t crc = 0xFFFF;
  for (auto byte : bytes) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
  }
  return crc;
}

Bytes WithCrc(Bytes frame) {
  const std::uint16_t crc = Crc16(frame);
  frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
  frame.push_back(static_cast<std::uint8_t>(crc >> 8));
  return frame;
}

Bytes AsciiFrame(const Bytes& raw) {
  static const char kHex[] = "0123456789ABCDEF";
  Bytes text{':'};
  std::uint8_t sum = 0;
  for (auto byte : raw) {
    sum = static_cast<std::uint8_t>(sum + byte);
    text.push_back(kHex[byte >> 4]);
    text.push_back(kHex[byte & 15]);
  }
  const auto lrc = static_cast<std::uint8_t>(-sum);
  text.push_back(kHex[lrc >> 4]);
  text.push_back(kHex[lrc & 15]);
  text.push_back('\r');
  text.push_back('\n');
  return text;
}

PtyPeer::PtyPeer(SerialFraming framing, Handler handler, int portNumber)
    : framing_(framing), handler_(std::move(handler)) {
  char name[256];
  if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) throw std::runtime_error("openpty failed");
  termios settings{};
  ::tcgetattr(master_, &settings);
  ::cfmakeraw(&settings);
  ::tcsetattr(master_, TCSANOW, &settings);
  ::tcgetattr(slave_, &settings);
  ::cfmakeraw(&settings);
  ::tcsetattr(slave_, TCSANOW, &settings);
  path_ = name;
  platform::SetSerialPortPath(portNumber, path_);
  thread_ = std::thread([this] { run(); });
}

PtyPeer::~PtyPeer() {
  stop_ = true;
  thread_.join();
  ::close(master_);
  ::close(slave_);
}

std::vector<Bytes> PtyPeer::requests() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return requests_;
}

void PtyPeer::setHandler(Handler handler) {
  std::lock_guard<std::mutex> guard(mutex_);
  handler_ = std::move(handler);
}

// Collects one request: RTU ends at a 30 ms silence, ASCII at LF.
void PtyPeer::run() {
  Bytes request;
  while (!stop_) {
    pollfd entry{master_, POLLIN, 0};
    const int ready = ::poll(&entry, 1, framing_ == SerialFraming::Rtu ? 30 : 20);
    bool complete = false;
    if (ready > 0 && (entry.revents & POLLIN)) {
      std::uint8_t buffer[1024];
      const ssize_t got = ::read(master_, buffer, sizeof buffer);
      if (got > 0) request.insert(request.end(), buffer, buffer + got);
      complete = framing_ == SerialFraming::Ascii && !request.empty() && request.back() == '\n';
    } else if (ready == 0) {
      complete = framing_ == SerialFraming::Rtu && !request.empty();
    } else if (ready > 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));  // hang-up while the port is closed
    }
    if (!complete) continue;

    Handler handler;
    {
      std::lock_guard<std::mutex> guard(mutex_);
      requests_.push_back(request);
      handler = handler_;
    }
    const Answer answer = handler(request);
    request.clear();
    for (std::size_t i = 0; i < answer.segments.size(); ++i) {
      if (i > 0 && answer.gapMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(answer.gapMs));
      const Bytes& segment = answer.segments[i];
      if (!segment.empty()) (void)!::write(master_, segment.data(), segment.size());
    }
  }
}

}  // namespace testpeer
