#include "slave/app/traffic_source_vantor.h"

#include "slave/engine/slave_engine.h"

void VantorTrafficSource::setTrafficWindow(platform::WindowHandle window) { slaveengine::SetTrafficWindow(window); }

std::vector<linkui::TrafficFrame> VantorTrafficSource::framesFor(std::uintptr_t, std::intptr_t lParam) {
  std::uint8_t buffer[slaveengine::kFrameCopySize];
  const bool sent = lParam == 1;
  std::uint8_t marks = 0;
  std::uint32_t delayMs = 0;
  const std::uint16_t length =
      sent ? slaveengine::CopyLastSent(buffer, &marks, &delayMs) : slaveengine::CopyLastReceived(buffer);
  std::vector<linkui::TrafficFrame> frames;
  // An injected fault is marked after the bytes; a dropped reply is a line of its own.
  const QString note = QString::fromStdString(slavefaults::FaultMarkText(marks, delayMs));
  if (length > 0 || !note.isEmpty())
    frames.push_back({sent, std::vector<std::uint8_t>(buffer, buffer + length), note});
  return frames;
}
