#pragma once
// Helpers for the slave tests: run one request through the engine over RTU,
// ASCII or TCP framing and get the answer back as a PDU.
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "link/checksums.h"
#include "slave/engine/receive_loop.h"
#include "slave/engine/slave_engine.h"
#include "slave/engine/tcp_server.h"

namespace slavetest {

enum class Framing { Rtu, Ascii, Tcp };

inline const char* FramingName(Framing f) {
  return f == Framing::Rtu ? "Rtu" : f == Framing::Ascii ? "Ascii" : "Tcp";
}

using Bytes = std::vector<std::uint8_t>;

// Frames the engine recorded, collected through its frame observer.
struct RecordedFrames {
  std::mutex lock;
  std::vector<Bytes> sent;
  std::vector<Bytes> received;
};
inline RecordedFrames& Frames() {
  static RecordedFrames frames;
  return frames;
}
inline void ObserveFrame(bool sent, const std::uint8_t* bytes, std::uint16_t length) {
  std::lock_guard<std::mutex> guard(Frames().lock);
  (sent ? Frames().sent : Frames().received).emplace_back(bytes, bytes + length);
}
inline void ClearFrames() {
  std::lock_guard<std::mutex> guard(Frames().lock);
  Frames().sent.clear();
  Frames().received.clear();
}

inline std::uint16_t TransactionId() { return 0x1234; }

// Sends `pdu` addressed to `unit` through the engine in the given framing and
// returns the reply PDU, or nothing when the engine sent no reply. The request
// is an exactly-sized heap copy, so reading past it is caught by the sanitizer.
inline std::optional<Bytes> Transact(Framing framing, std::uint8_t unit, const Bytes& pdu) {
  ClearFrames();
  std::uint8_t reply[slaveengine::kReplyCapacity];
  if (framing == Framing::Tcp) {
    const std::size_t size = 7 + pdu.size();
    auto* adu = new std::uint8_t[size];
    const std::uint16_t length = static_cast<std::uint16_t>(pdu.size() + 1);
    const std::uint8_t header[7] = {0x12, 0x34, 0, 0, static_cast<std::uint8_t>(length >> 8),
                                    static_cast<std::uint8_t>(length), unit};
    std::copy(header, header + 7, adu);
    std::copy(pdu.begin(), pdu.end(), adu + 7);
    const std::uint16_t r = slaveengine::ServeTcpRequest(adu, static_cast<std::uint16_t>(size), reply);
    delete[] adu;
    if (r == 0) return std::nullopt;
    if (r < 9 || reply[0] != 0x12 || reply[1] != 0x34 || reply[2] != 0 || reply[3] != 0 || reply[6] != unit)
      return Bytes{0xEE};  // a malformed reply fails every comparison
    return Bytes(reply + 7, reply + r);
  }
  slaveloop::SetLinkMode(framing == Framing::Ascii ? slaveloop::kLinkAscii : slaveloop::kLinkRtu);
  slaveengine::SetFrameObserver(ObserveFrame);
  const std::size_t size = 1 + pdu.size();
  auto* request = new std::uint8_t[size];
  request[0] = unit;
  std::copy(pdu.begin(), pdu.end(), request + 1);
  slaveengine::ServeSerialRequest(request, static_cast<std::uint16_t>(size), reply);
  delete[] request;
  slaveengine::SetFrameObserver(nullptr);
  std::lock_guard<std::mutex> guard(Frames().lock);
  if (Frames().sent.empty()) return std::nullopt;
  if (Frames().sent.size() != 1) return Bytes{0xEE};
  Bytes frame = Frames().sent.front();
  Bytes binary;
  if (framing == Framing::Rtu) {
    if (frame.size() < 4 || linklayer::ComputeCrc16(frame.data(), static_cast<std::uint16_t>(frame.size())) != 0)
      return Bytes{0xEE};
    binary.assign(frame.begin(), frame.end() - 2);
  } else {
    const std::string text(frame.begin(), frame.end());
    if (text.size() < 9 || text[0] != ':' || text.substr(text.size() - 2) != "\r\n" ||
        !linklayer::CheckAsciiLrc(text.data(), static_cast<std::uint16_t>(text.size())))
      return Bytes{0xEE};
    for (char c : text.substr(1, text.size() - 5))
      if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return Bytes{0xEE};
    binary.resize((text.size() - 5) / 2);
    linklayer::DecodeHex(text.data() + 1, static_cast<std::uint16_t>(binary.size()), binary.data());
  }
  if (binary[0] != unit) return Bytes{0xEE};
  return Bytes(binary.begin() + 1, binary.end());
}

inline Bytes Exception(std::uint8_t function, std::uint8_t code) {
  return Bytes{static_cast<std::uint8_t>(function + 0x80), code};
}

inline Bytes Pdu16(std::uint8_t function, std::initializer_list<std::uint16_t> fields) {
  Bytes pdu{function};
  for (std::uint16_t f : fields) {
    pdu.push_back(static_cast<std::uint8_t>(f >> 8));
    pdu.push_back(static_cast<std::uint8_t>(f));
  }
  return pdu;
}

}  // namespace slavetest
