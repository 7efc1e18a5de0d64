#pragma once
// The slave's traffic record: the last frame received and the last sent (with
// the fault marks of a sent one), the traffic window told of each, and an
// optional observer called with every frame. Its own lock guards the two copies,
// the marks and the window handle.
#include <cstdint>

#include "platform/messages.h"

namespace slaveengine {

constexpr int kFrameCopySize = 600;  // last sent / last received frame

void RecordReceived(const std::uint8_t* bytes, std::uint16_t length);
void RecordSent(const std::uint8_t* bytes, std::uint16_t length);
// A sent frame with its fault marks (slavefaults::FaultMark); a dropped reply is
// recorded as an empty frame marked kMarkDropped.
void RecordSent(const std::uint8_t* bytes, std::uint16_t length, std::uint8_t marks, std::uint32_t delayMs);
// Marks of the last sent frame (0 for a clean one) and its delay.
std::uint8_t LastSentMarks(std::uint32_t* delayMs = nullptr);
std::uint16_t CopyLastSent(std::uint8_t* buffer);      // buffer of kFrameCopySize bytes
// The same, with the frame's fault marks and delay taken under the same lock.
std::uint16_t CopyLastSent(std::uint8_t* buffer, std::uint8_t* marks, std::uint32_t* delayMs);
std::uint16_t CopyLastReceived(std::uint8_t* buffer);  // buffer of kFrameCopySize bytes
// Gets (WM_ENGINE_NOTIFY, 0, 0) for a received frame and (.., 0, 1) for a sent one.
void SetTrafficWindow(platform::WindowHandle handle);

// Called on the receive thread with each recorded frame, outside the lock (the
// headless runner prints traffic with it). Set before the receive thread starts.
using FrameObserver = void (*)(bool sent, const std::uint8_t* bytes, std::uint16_t length);
void SetFrameObserver(FrameObserver observer);

// Forgets both frames, the marks and the traffic window (InitEngine).
void ResetTraffic();

}  // namespace slaveengine
