#pragma once
// The engine's record of the last frame sent and received, as byte vectors
// for comparing with what a test peer saw or answered.
#include <cstdint>
#include <vector>

#include "master/engine/transactions.h"

namespace testpeer {

inline std::vector<std::uint8_t> LastSentFrame() {
  std::uint8_t buffer[masterengine::kSlotSentCapacity];
  const auto length = masterengine::CopyLastSentFrame(buffer);
  return std::vector<std::uint8_t>(buffer, buffer + length);
}

inline std::vector<std::uint8_t> LastReceivedFrame() {
  std::uint8_t buffer[masterengine::kSlotReceivedCapacity];
  const auto length = masterengine::CopyLastReceivedFrame(buffer);
  return std::vector<std::uint8_t>(buffer, buffer + length);
}

}  // namespace testpeer
