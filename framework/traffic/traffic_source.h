#pragma once
// What the traffic monitor needs from a program's engine. Each program supplies
// one adapter (zelmor: the poll engine, vantor: the slave engine), so the monitor
// window depends on neither engine.
#include <QString>
#include <cstdint>
#include <vector>

#include "platform/messages.h"

namespace linkui {

struct TrafficFrame {
  bool sent = false;  // "Tx:" when true, "Rx:" otherwise
  std::vector<std::uint8_t> bytes;
  // Shown after the bytes, e.g. the mark of an injected fault; a frame with no
  // bytes but a note is shown too.
  QString note{};
};

class TrafficSource {
 public:
  virtual ~TrafficSource() = default;
  // Tells the engine where to post its traffic notifications (0: nowhere).
  virtual void setTrafficWindow(platform::WindowHandle window) = 0;
  // The frames announced by one WM_ENGINE_NOTIFY, copied out of the engine now,
  // in display order. Frames of length 0 are left out.
  virtual std::vector<TrafficFrame> framesFor(std::uintptr_t wParam, std::intptr_t lParam) = 0;
  // Whether the monitor offers "S&top on Error" (zelmor only).
  virtual bool hasStopOnError() const = 0;
  // True when the notification reports a failed transaction; *text is then the
  // message to show.
  virtual bool failureOf(std::uintptr_t wParam, std::intptr_t lParam, QString* text) const = 0;
};

}  // namespace linkui
