#include "slave/app/traffic_source_vantor.h"

#include "slave/slave_engine.h"

void VantorTrafficSource::setTrafficWindow(platform::WindowHandle window) { slaveengine::SetTrafficWindow(window); }

std::vector<linkui::TrafficFrame> VantorTrafficSource::framesFor(std::uintptr_t, std::intptr_t lParam) {
  std::uint8_t buffer[slaveengine::kFrameCopySize];
  const bool sent = lParam == 1;
  const std::uint16_t length = sent ? slaveengine::CopyLastSent(buffer) : slaveengine::CopyLastReceived(buffer);
  std::vector<linkui::TrafficFrame> frames;
  if (length > 0) frames.push_back({sent, std::vector<std::uint8_t>(buffer, buffer + length)});
  return frames;
}
