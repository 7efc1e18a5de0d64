#pragma once
// Feeds the traffic monitor from the poll engine: every notification names a
// slot whose last sent and received frames become one Tx and one Rx line, and a
// result code other than 0 is a failure for "S&top on Error".
#include "framework/traffic/traffic_source.h"

class ZelmorTrafficSource : public linkui::TrafficSource {
 public:
  void setTrafficWindow(platform::WindowHandle window) override;
  std::vector<linkui::TrafficFrame> framesFor(std::uintptr_t wParam, std::intptr_t lParam) override;
  bool hasStopOnError() const override { return true; }
  bool failureOf(std::uintptr_t wParam, std::intptr_t lParam, QString* text) const override;

  // The monitor's text for a result code: the result texts for 1..7 and 11, the
  // exception texts for 128 + 1..7, "" for any other exception, else "Unknown Error".
  static QString ResultCodeText(std::uint16_t code);
};
