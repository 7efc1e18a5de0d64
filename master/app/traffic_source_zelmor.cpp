#include "master/app/traffic_source_zelmor.h"

#include "master/engine/comm_interface.h"
#include "master/engine/result_codes.h"

void ZelmorTrafficSource::setTrafficWindow(platform::WindowHandle window) { masterengine::SetTrafficWindow(window); }

std::vector<linkui::TrafficFrame> ZelmorTrafficSource::framesFor(std::uintptr_t, std::intptr_t lParam) {
  std::vector<linkui::TrafficFrame> frames;
  const int slot = static_cast<int>(lParam);
  if (slot < 0 || slot >= masterengine::kSlotCount) return frames;
  std::uint8_t sent[masterengine::kSlotSentCapacity];
  std::uint8_t received[masterengine::kSlotReceivedCapacity];
  const std::uint16_t sentLength = masterengine::CopySlotSent(slot, sent);
  if (sentLength > 0) frames.push_back({true, std::vector<std::uint8_t>(sent, sent + sentLength)});
  const std::uint16_t receivedLength = masterengine::CopySlotReceived(slot, received);
  if (receivedLength > 0) frames.push_back({false, std::vector<std::uint8_t>(received, received + receivedLength)});
  return frames;
}

bool ZelmorTrafficSource::failureOf(std::uintptr_t wParam, std::intptr_t, QString* text) const {
  if (wParam == masterengine::RESULT_OK) return false;
  if (text) *text = ResultCodeText(static_cast<std::uint16_t>(wParam));
  return true;
}

QString ZelmorTrafficSource::ResultCodeText(std::uint16_t code) {
  using namespace masterengine;
  const bool ownText = (code >= RESULT_TIMEOUT && code <= RESULT_THREAD) || code == RESULT_BYTES_MISSING;
  const bool exception = code >= RESULT_EXCEPTION_BASE && code < 256;
  if (exception && (code - RESULT_EXCEPTION_BASE < 1 || code - RESULT_EXCEPTION_BASE > 7)) return QString();
  if (ownText || exception) return QString::fromLatin1(ResultText(code));
  return QString::fromLatin1(ResultText(0xFFFF));  // "Unknown Error"
}
