#include "master/core/pdu_frames.h"

#include "common/modbus_protocol.h"
#include "common/word_order.h"
#include "link/checksums.h"
#include "link/framing.h"

namespace zelmor {
namespace {

constexpr int kCrcBytes = 2;
constexpr int kAsciiOverhead = 5;  // ':', two LRC characters, CR LF

std::string CheckAddress(std::uint8_t slave, std::uint8_t address) {
  if (address == slave) return {};
  return "reply from slave " + std::to_string(address) + " to a request for slave " + std::to_string(slave);
}

}  // namespace

PduLink LinkOf(const CommSettings& settings) {
  // RTU over TCP carries RTU frames with their CRC, not the MBAP header.
  if (settings.port == kTcpPortChoice) return settings.transport == kTransportRtuOverTcp ? PduLink::kRtu : PduLink::kTcp;
  return settings.asciiMode != 0 ? PduLink::kAscii : PduLink::kRtu;
}

std::vector<std::uint8_t> FramePdu(PduLink link, std::uint8_t slave, const std::uint8_t* pdu, int length,
                                   std::uint16_t transactionId) {
  std::vector<std::uint8_t> binary(static_cast<std::size_t>(linklayer::kMbapHeaderSize + 1 + length + kCrcBytes));
  if (link == PduLink::kTcp) {
    linklayer::PutMbapHeader(binary.data(), transactionId, static_cast<std::uint16_t>(1 + length));
    binary[linklayer::kMbapHeaderSize] = slave;
    std::copy(pdu, pdu + length, binary.begin() + linklayer::kMbapHeaderSize + 1);
    binary.resize(static_cast<std::size_t>(linklayer::kMbapHeaderSize + 1 + length));
    return binary;
  }
  binary[0] = slave;
  std::copy(pdu, pdu + length, binary.begin() + 1);
  const auto adu = static_cast<std::uint16_t>(1 + length);
  if (link == PduLink::kRtu) {
    binary.resize(linklayer::AppendCrc(binary.data(), adu));
    return binary;
  }
  std::vector<std::uint8_t> text(linklayer::AsciiFrameLength(adu));
  linklayer::BuildAsciiFrame(binary.data(), adu, reinterpret_cast<char*>(text.data()));
  return text;
}

std::string UnframePdu(PduLink link, std::uint8_t slave, const std::uint8_t* frame, int length,
                       std::uint16_t transactionId, std::vector<std::uint8_t>* pdu) {
  pdu->clear();
  if (length <= 0) return "no reply (time-out)";
  if (link == PduLink::kTcp) {
    const int header = linklayer::kMbapHeaderSize + 1;
    if (length <= header) return "reply too short (" + std::to_string(length) + " bytes)";
    if (wordorder::Get16(frame) != transactionId) return "reply to another transaction";
    if (wordorder::Get16(frame + 4) != length - linklayer::kMbapHeaderSize) return "reply length field does not match";
    if (std::string fault = CheckAddress(slave, frame[header - 1]); !fault.empty()) return fault;
    pdu->assign(frame + header, frame + length);
    return {};
  }
  std::vector<std::uint8_t> binary;
  if (link == PduLink::kAscii) {
    const auto* text = reinterpret_cast<const char*>(frame);
    if (length < kAsciiOverhead + 4 || text[0] != ':' || (length - kAsciiOverhead) % 2 != 0)
      return "reply is not an ASCII frame";
    if (!linklayer::CheckAsciiLrc(text, static_cast<std::uint16_t>(length))) return "LRC error in the reply";
    binary.resize(static_cast<std::size_t>((length - kAsciiOverhead) / 2));
    linklayer::DecodeHex(text + 1, static_cast<std::uint16_t>(binary.size()), binary.data());
  } else {
    if (length < 4) return "reply too short (" + std::to_string(length) + " bytes)";
    if (linklayer::ComputeCrc16(frame, static_cast<std::uint16_t>(length)) != 0) return "CRC error in the reply";
    binary.assign(frame, frame + length - kCrcBytes);
  }
  if (std::string fault = CheckAddress(slave, binary[0]); !fault.empty()) return fault;
  pdu->assign(binary.begin() + 1, binary.end());
  return {};
}

}  // namespace zelmor
