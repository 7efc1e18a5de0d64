// The slave's request -> reply step. Input: a flags byte (bit 0 TCP, bit 1
// Ignore Unit ID), the unit, then the request PDU. The request is an exact heap
// copy, so a read past it is caught; the reply must fit the protocol's PDU and
// be either the request's function or its exception.
#include "common/modbus_protocol.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/slave_setup.h"
#include "link/framing.h"
#include "slave/engine/tcp_server.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool ready = (fuzzsupport::RegisterFuzzSlots(), true);
  (void)ready;
  fuzzsupport::InputReader in(data, size);
  const std::uint8_t flags = in.byte();
  const std::uint8_t unit = in.byte();
  const std::vector<std::uint8_t> pdu = in.take(modbus::MAX_PDU_LENGTH + 8);
  if (pdu.empty()) return 0;
  const bool tcp = flags & 1;
  slaveengine::SetIgnoreUnitId(flags & 2);
  std::vector<std::uint8_t> reply(slaveengine::kReplyCapacity);
  const auto transport = tcp ? slaveengine::Transport::kTcp : slaveengine::Transport::kSerial;
  const std::uint16_t n =
      slaveengine::ServePdu(transport, unit, pdu.data(), static_cast<std::uint16_t>(pdu.size()), reply.data());
  fuzzsupport::Require(n <= modbus::MAX_PDU_LENGTH, "a reply PDU fits the protocol");
  if (n > 0) {
    const std::uint8_t function = reply[0] & static_cast<std::uint8_t>(~modbus::EXCEPTION_FLAG);
    fuzzsupport::Require(function == (pdu[0] & static_cast<std::uint8_t>(~modbus::EXCEPTION_FLAG)),
                         "a reply answers the request's function");
    if (reply[0] & modbus::EXCEPTION_FLAG) fuzzsupport::Require(n == 2, "an exception reply is two bytes");
  }
  if (tcp) {
    // The same request in its MBAP frame, answered into the request buffer itself.
    std::vector<std::uint8_t> adu(slaveengine::kReplyCapacity);
    linklayer::PutMbapHeader(adu.data(), 0x1234, static_cast<std::uint16_t>(pdu.size() + 1));
    adu[linklayer::kMbapHeaderSize] = unit;
    std::copy(pdu.begin(), pdu.end(), adu.begin() + modbus::MBAP_HEADER_LENGTH);
    const auto length = static_cast<std::uint16_t>(modbus::MBAP_HEADER_LENGTH + pdu.size());
    const std::uint16_t framed = slaveengine::ServeTcpRequest(adu.data(), length, adu.data());
    fuzzsupport::Require(framed == (n == 0 ? 0 : n + modbus::MBAP_HEADER_LENGTH), "the framed reply is the PDU's");
  }
  return 0;
}
