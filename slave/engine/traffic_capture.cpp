#include "slave/engine/traffic_capture.h"

#include <atomic>
#include <cstring>
#include <mutex>

namespace slaveengine {
namespace {

std::mutex trafficLock;  // guards everything below but the observer
platform::WindowHandle trafficWindow = 0;
std::uint8_t lastReceived[kFrameCopySize];
std::uint16_t lastReceivedLength = 0;
std::uint8_t lastSent[kFrameCopySize];
std::uint16_t lastSentLength = 0;
std::uint8_t lastSentMarks = 0;
std::uint32_t lastSentDelay = 0;
std::atomic<FrameObserver> frameObserver{nullptr};

enum Direction : std::intptr_t { kReceived = 0, kSent = 1 };

void StoreFrame(Direction direction, const std::uint8_t* bytes, std::uint16_t length, std::uint8_t marks = 0,
                std::uint32_t delayMs = 0) {
  if (length > kFrameCopySize) length = kFrameCopySize;
  platform::WindowHandle window = 0;
  {
    std::lock_guard<std::mutex> guard(trafficLock);
    std::uint8_t* copy = direction == kSent ? lastSent : lastReceived;
    if (length > 0) std::memcpy(copy, bytes, length);
    (direction == kSent ? lastSentLength : lastReceivedLength) = length;
    if (direction == kSent) {
      lastSentMarks = marks;
      lastSentDelay = delayMs;
    }
    window = trafficWindow;
  }
  platform::PostWindowMessage(window, platform::WM_ENGINE_NOTIFY, 0, direction);
  FrameObserver observer = frameObserver.load(std::memory_order_acquire);
  if (observer) observer(direction == kSent, bytes, length);
}

}  // namespace

void RecordReceived(const std::uint8_t* bytes, std::uint16_t length) { StoreFrame(kReceived, bytes, length); }

void RecordSent(const std::uint8_t* bytes, std::uint16_t length) { StoreFrame(kSent, bytes, length); }

void RecordSent(const std::uint8_t* bytes, std::uint16_t length, std::uint8_t marks, std::uint32_t delayMs) {
  StoreFrame(kSent, bytes, length, marks, delayMs);
}

std::uint8_t LastSentMarks(std::uint32_t* delayMs) {
  std::lock_guard<std::mutex> guard(trafficLock);
  if (delayMs) *delayMs = lastSentDelay;
  return lastSentMarks;
}

std::uint16_t CopyLastSent(std::uint8_t* buffer) {
  std::lock_guard<std::mutex> guard(trafficLock);
  std::memcpy(buffer, lastSent, lastSentLength);
  return lastSentLength;
}

std::uint16_t CopyLastSent(std::uint8_t* buffer, std::uint8_t* marks, std::uint32_t* delayMs) {
  std::lock_guard<std::mutex> guard(trafficLock);
  std::memcpy(buffer, lastSent, lastSentLength);
  *marks = lastSentMarks;
  *delayMs = lastSentDelay;
  return lastSentLength;
}

std::uint16_t CopyLastReceived(std::uint8_t* buffer) {
  std::lock_guard<std::mutex> guard(trafficLock);
  std::memcpy(buffer, lastReceived, lastReceivedLength);
  return lastReceivedLength;
}

void SetTrafficWindow(platform::WindowHandle handle) {
  std::lock_guard<std::mutex> guard(trafficLock);
  trafficWindow = handle;
}

void SetFrameObserver(FrameObserver observer) { frameObserver.store(observer, std::memory_order_release); }

void ResetTraffic() {
  std::lock_guard<std::mutex> guard(trafficLock);
  trafficWindow = 0;
  lastReceivedLength = lastSentLength = 0;
  lastSentMarks = 0;
}

}  // namespace slaveengine
