#pragma once
// Feeds the traffic monitor from the slave engine: lParam 1 announces a sent
// frame, 0 a received one. The slave has no "S&top on Error".
#include "framework/traffic/traffic_source.h"

class VantorTrafficSource : public linkui::TrafficSource {
 public:
  void setTrafficWindow(platform::WindowHandle window) override;
  std::vector<linkui::TrafficFrame> framesFor(std::uintptr_t wParam, std::intptr_t lParam) override;
  bool hasStopOnError() const override { return false; }
  bool failureOf(std::uintptr_t, std::intptr_t, QString*) const override { return false; }
};
