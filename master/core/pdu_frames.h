#pragma once
// A request PDU framed for the link (RTU with its CRC, ASCII text with its
// LRC, Modbus/TCP with its MBAP header) so that it goes out as a raw frame of
// the engine's one-shot slot, and the reply PDU taken out of the frame that
// came back, with its check. For requests the engine has no type of its own
// (device identification, report slave id). Qt-free.
#include <cstdint>
#include <string>
#include <vector>

#include "master/core/zelmor_files.h"

namespace zelmor {

enum class PduLink { kRtu, kAscii, kTcp };

// The link of a settings record.
PduLink LinkOf(const CommSettings& settings);

// The frame of `pdu` (length bytes, function code first) to `slave`.
std::vector<std::uint8_t> FramePdu(PduLink link, std::uint8_t slave, const std::uint8_t* pdu, int length,
                                   std::uint16_t transactionId);

// The reply PDU of a received frame: empty text when the frame is a sound
// reply from `slave` (and to transactionId over TCP), else what is wrong.
std::string UnframePdu(PduLink link, std::uint8_t slave, const std::uint8_t* frame, int length,
                       std::uint16_t transactionId, std::vector<std::uint8_t>* pdu);

}  // namespace zelmor
