#include "master/core/frame_decoder.h"

#include <cctype>
#include <cstdio>

#include "common/modbus_protocol.h"
#include "common/word_order.h"
#include "link/checksums.h"
#include "link/framing.h"
#include "master/engine/result_codes.h"

namespace framedecode {

namespace {

using wordorder::Get16;

struct FunctionEntry {
  int code;
  const char* name;
};

constexpr FunctionEntry kFunctionNames[] = {
    {modbus::FC_READ_COILS, "Read Coils"},
    {modbus::FC_READ_DISCRETE_INPUTS, "Read Discrete Inputs"},
    {modbus::FC_READ_HOLDING_REGISTERS, "Read Holding Registers"},
    {modbus::FC_READ_INPUT_REGISTERS, "Read Input Registers"},
    {modbus::FC_WRITE_SINGLE_COIL, "Write Single Coil"},
    {modbus::FC_WRITE_SINGLE_REGISTER, "Write Single Register"},
    {modbus::FC_READ_EXCEPTION_STATUS, "Read Exception Status"},
    {modbus::FC_DIAGNOSTICS, "Diagnostics"},
    {modbus::FC_GET_COMM_EVENT_COUNTER, "Get Comm Event Counter"},
    {modbus::FC_GET_COMM_EVENT_LOG, "Get Comm Event Log"},
    {modbus::FC_WRITE_MULTIPLE_COILS, "Write Multiple Coils"},
    {modbus::FC_WRITE_MULTIPLE_REGISTERS, "Write Multiple Registers"},
    {modbus::FC_REPORT_SLAVE_ID, "Report Slave ID"},
    {modbus::FC_READ_FILE_RECORD, "Read File Record"},
    {modbus::FC_WRITE_FILE_RECORD, "Write File Record"},
    {modbus::FC_MASK_WRITE_REGISTER, "Mask Write Register"},
    {modbus::FC_WRITE_AND_READ_REGISTERS, "Read/Write Multiple Registers"},
    {modbus::FC_READ_FIFO_QUEUE, "Read FIFO Queue"},
    {modbus::FC_ENCAPSULATED_INTERFACE, "Encapsulated Interface Transport"},
};

// Exceptions past the engine's texts (which cover 1..7).
constexpr FunctionEntry kMoreExceptionNames[] = {
    {modbus::EXCEPTION_MEMORY_PARITY, "Memory Parity Error"},
    {modbus::EXCEPTION_GATEWAY_PATH, "Gateway Path Unavailable"},
    {modbus::EXCEPTION_GATEWAY_TARGET, "Gateway Target Device Failed to Respond"},
};

std::string Hex2(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X", value & 0xFF);
  return text;
}

std::string Word(std::uint16_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "%u (0x%04X)", value, value);
  return text;
}

std::string HexBytes(const std::uint8_t* bytes, int count) {
  std::string text;
  for (int k = 0; k < count; ++k) text += (k ? " " : "") + Hex2(bytes[k]);
  return text;
}

// The PDU fields of one direction. `unit` is the slave address followed by the
// PDU (the RTU frame without its CRC), n its length. Returns false when the
// length does not fit the function in this direction.
using Lines = std::vector<std::string>;

void AddRegisters(Lines* out, const std::uint8_t* data, int count, int firstAddress) {
  for (int k = 0; k < count; ++k) {
    std::string where = firstAddress >= 0 ? "Register " + std::to_string(firstAddress + k) : "Value " + std::to_string(k + 1);
    out->push_back(where + ": " + Word(Get16(data + 2 * k)));
  }
}

void AddBits(Lines* out, const std::uint8_t* data, int byteCount) {
  std::string bits;
  for (int k = 0; k < 8 * byteCount; ++k) bits += ((data[k / 8] >> (k % 8)) & 1) ? '1' : '0';
  out->push_back("Bits (first first): " + bits);
}

bool RequestFields(const std::uint8_t* u, int n, Lines* out) {
  const int fc = u[1];
  auto field = [&](const char* name, int at) { out->push_back(std::string(name) + ": " + Word(Get16(u + at))); };
  switch (fc) {
    case modbus::FC_READ_COILS:
    case modbus::FC_READ_DISCRETE_INPUTS:
    case modbus::FC_READ_HOLDING_REGISTERS:
    case modbus::FC_READ_INPUT_REGISTERS:
      if (n != 6) return false;
      field("Address", 2), field("Quantity", 4);
      return true;
    case modbus::FC_WRITE_SINGLE_COIL:
    case modbus::FC_WRITE_SINGLE_REGISTER:
    case modbus::FC_DIAGNOSTICS:
      if (n != 6) return false;
      field(fc == modbus::FC_DIAGNOSTICS ? "Sub-function" : "Address", 2);
      field(fc == modbus::FC_DIAGNOSTICS ? "Data" : "Value", 4);
      return true;
    case modbus::FC_MASK_WRITE_REGISTER:
      if (n != 8) return false;
      field("Address", 2), field("AND mask", 4), field("OR mask", 6);
      return true;
    case modbus::FC_WRITE_MULTIPLE_COILS:
    case modbus::FC_WRITE_MULTIPLE_REGISTERS:
      if (n < 7 || n != 7 + u[6]) return false;
      field("Address", 2), field("Quantity", 4);
      out->push_back("Byte count: " + std::to_string(u[6]));
      if (fc == modbus::FC_WRITE_MULTIPLE_COILS) AddBits(out, u + 7, u[6]);
      else AddRegisters(out, u + 7, u[6] / 2, Get16(u + 2));
      return true;
    case modbus::FC_WRITE_AND_READ_REGISTERS:
      if (n < 11 || n != 11 + u[10]) return false;
      field("Read address", 2), field("Read quantity", 4), field("Write address", 6), field("Write quantity", 8);
      out->push_back("Byte count: " + std::to_string(u[10]));
      AddRegisters(out, u + 11, u[10] / 2, Get16(u + 6));
      return true;
    case modbus::FC_ENCAPSULATED_INTERFACE:
      if (n != 5) return false;
      out->push_back("MEI type: " + std::to_string(u[2]) + (u[2] == modbus::MEI_READ_DEVICE_ID ? " (Read Device Identification)" : ""));
      out->push_back("Read device id code: " + std::to_string(u[3]));
      out->push_back("Object id: " + std::to_string(u[4]));
      return true;
    case modbus::FC_READ_EXCEPTION_STATUS:
    case modbus::FC_GET_COMM_EVENT_COUNTER:
    case modbus::FC_GET_COMM_EVENT_LOG:
    case modbus::FC_REPORT_SLAVE_ID:
      return n == 2;
    default:
      if (n > 2) out->push_back("Data: " + HexBytes(u + 2, n - 2));
      return false;
  }
}

bool ReplyFields(const std::uint8_t* u, int n, Lines* out) {
  const int fc = u[1];
  if (fc & modbus::EXCEPTION_FLAG) {
    if (n != 3) return false;
    const char* name = ExceptionName(u[2]);
    out->push_back("Exception: " + std::to_string(u[2]) + (*name ? std::string(" (") + name + ")" : ""));
    return true;
  }
  auto field = [&](const char* name, int at) { out->push_back(std::string(name) + ": " + Word(Get16(u + at))); };
  switch (fc) {
    case modbus::FC_READ_COILS:
    case modbus::FC_READ_DISCRETE_INPUTS:
    case modbus::FC_READ_HOLDING_REGISTERS:
    case modbus::FC_READ_INPUT_REGISTERS:
    case modbus::FC_WRITE_AND_READ_REGISTERS:
    case modbus::FC_REPORT_SLAVE_ID:
      if (n < 3 || n != 3 + u[2]) return false;
      out->push_back("Byte count: " + std::to_string(u[2]));
      if (modbus::IsBitRead(fc)) AddBits(out, u + 3, u[2]);
      else if (fc == modbus::FC_REPORT_SLAVE_ID) out->push_back("Data: " + HexBytes(u + 3, u[2]));
      else if (u[2] % 2 != 0) return false;
      else AddRegisters(out, u + 3, u[2] / 2, -1);
      return true;
    case modbus::FC_WRITE_SINGLE_COIL:
    case modbus::FC_WRITE_SINGLE_REGISTER:
    case modbus::FC_WRITE_MULTIPLE_COILS:
    case modbus::FC_WRITE_MULTIPLE_REGISTERS:
    case modbus::FC_DIAGNOSTICS:
      if (n != 6) return false;
      field(fc == modbus::FC_DIAGNOSTICS ? "Sub-function" : "Address", 2);
      field(fc == modbus::FC_DIAGNOSTICS ? "Data" : modbus::IsEchoWrite(fc) && fc > modbus::FC_WRITE_SINGLE_REGISTER ? "Quantity" : "Value", 4);
      return true;
    case modbus::FC_MASK_WRITE_REGISTER:
      if (n != 8) return false;
      field("Address", 2), field("AND mask", 4), field("OR mask", 6);
      return true;
    default:
      if (n > 2) out->push_back("Data: " + HexBytes(u + 2, n - 2));
      return fc == modbus::FC_ENCAPSULATED_INTERFACE && n > 2;
  }
}

// The fields of the address + PDU in one direction, after the slave and function lines.
bool Fields(const std::vector<std::uint8_t>& unit, Direction direction, Lines* out) {
  const int n = static_cast<int>(unit.size());
  return direction == Direction::kReply ? ReplyFields(unit.data(), n, out) : RequestFields(unit.data(), n, out);
}

const char* DirectionName(Direction d) { return d == Direction::kReply ? "reply" : "request"; }

// Splits the frame into address + PDU, with the framing's lines (check, header).
// False when nothing is left to decode.
bool Unframe(const std::vector<std::uint8_t>& frame, Decoded* d, std::vector<std::uint8_t>* unit) {
  const int size = static_cast<int>(frame.size());
  if (d->framing == Framing::kTcp) {
    if (size < modbus::MBAP_HEADER_LENGTH + 1) {
      d->lines.push_back("Cut short: " + std::to_string(size) + " bytes, a Modbus/TCP frame has at least 8");
      return false;
    }
    d->lines.push_back("Transaction id: " + std::to_string(Get16(frame.data())));
    d->lines.push_back("Protocol id: " + std::to_string(Get16(frame.data() + 2)) + (Get16(frame.data() + 2) ? " (not Modbus)" : ""));
    const int length = Get16(frame.data() + 4);
    const int follows = size - linklayer::kMbapHeaderSize;
    d->lines.push_back("Length: " + std::to_string(length) +
                       (length == follows ? "" : length > follows ? " (cut short: " + std::to_string(follows) + " bytes follow)"
                                                                  : " (" + std::to_string(follows - length) + " bytes too many)"));
    if (length != follows) d->checkGood = false;
    unit->assign(frame.begin() + linklayer::kMbapHeaderSize, frame.end());
    return true;
  }
  if (d->framing == Framing::kAscii) {
    int end = size;
    while (end > 1 && (frame[end - 1] == '\r' || frame[end - 1] == '\n')) --end;
    if (size < 2 || end != size - 2 || frame[size - 2] != '\r' || frame[size - 1] != '\n')
      d->lines.push_back("Cut short: the frame does not end in CR LF");
    const int digits = end - 1;
    if (size == 0 || frame[0] != ':' || digits < 6 || digits % 2 != 0) {
      d->lines.push_back("Cut short or malformed: " + std::to_string(digits) + " hex digits after ':'");
      d->checkGood = false;
      return false;
    }
    const auto* text = reinterpret_cast<const char*>(frame.data());
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(digits / 2));
    linklayer::DecodeHex(text + 1, static_cast<std::uint16_t>(bytes.size()), bytes.data());
    const std::uint8_t lrc = bytes.back();
    bytes.pop_back();
    const std::uint8_t want = linklayer::ComputeLrc(bytes.data(), static_cast<std::uint16_t>(bytes.size()));
    d->checkGood = lrc == want;
    d->lines.push_back("LRC: " + Hex2(lrc) + (d->checkGood ? " (right)" : " (wrong, should be " + Hex2(want) + ")"));
    *unit = bytes;
    return true;
  }
  if (size < 4) {
    d->lines.push_back("Cut short: " + std::to_string(size) + " bytes, an RTU frame has at least 4");
    d->checkGood = false;
    return false;
  }
  const std::uint16_t crc = static_cast<std::uint16_t>(frame[size - 2] | frame[size - 1] << 8);
  const std::uint16_t want = linklayer::ComputeCrc16(frame.data(), static_cast<std::uint16_t>(size - 2));
  d->checkGood = crc == want;
  char text[64];
  std::snprintf(text, sizeof text, d->checkGood ? "CRC: %04X (right)" : "CRC: %04X (wrong, should be %04X)", crc, want);
  d->lines.push_back(text);
  unit->assign(frame.begin(), frame.end() - 2);
  return true;
}

Framing GuessFraming(const std::vector<std::uint8_t>& frame) {
  if (!frame.empty() && frame[0] == ':') return Framing::kAscii;
  if (frame.size() >= 8 && Get16(frame.data() + 2) == 0 && Get16(frame.data() + 4) == frame.size() - 6)
    return Framing::kTcp;
  return Framing::kRtu;
}

// For RTU: the length the function code calls for in this direction (CRC
// included), from link/framing.h; 0 or -1 when it cannot tell.
int ExpectedRtuLength(const std::vector<std::uint8_t>& frame, Direction direction) {
  const int have = static_cast<int>(frame.size());
  return direction == Direction::kReply ? linklayer::RtuReplyLength(frame.data(), have)
                                        : linklayer::RtuRequestLength(frame.data(), have);
}

}  // namespace

const char* FunctionName(int function) {
  for (const FunctionEntry& e : kFunctionNames)
    if (e.code == function) return e.name;
  return "";
}

const char* ExceptionName(int code) {
  if (code >= modbus::EXCEPTION_ILLEGAL_FUNCTION && code <= modbus::EXCEPTION_NEGATIVE_ACKNOWLEDGE)
    return masterengine::ResultText(masterengine::ExceptionResult(code));
  for (const FunctionEntry& e : kMoreExceptionNames)
    if (e.code == code) return e.name;
  return "";
}

Decoded DecodeFrame(const std::vector<std::uint8_t>& frame, Framing framing, Direction direction) {
  Decoded d;
  d.framing = framing == Framing::kAuto ? GuessFraming(frame) : framing;
  static const char* kFramingNames[] = {"", "RTU", "ASCII", "Modbus/TCP"};
  d.lines.push_back(std::string("Framing: ") + kFramingNames[static_cast<int>(d.framing)] + ", " +
                    std::to_string(frame.size()) + " bytes");
  std::vector<std::uint8_t> unit;
  if (!Unframe(frame, &d, &unit)) return d;
  if (unit.size() < 2) {
    d.lines.push_back("Cut short: no function code");
    return d;
  }
  const int fc = unit[1];
  const int base = fc & ~modbus::EXCEPTION_FLAG;
  const char* name = FunctionName(base);
  d.lines.push_back(std::string(d.framing == Framing::kTcp ? "Unit id: " : "Slave: ") + std::to_string(unit[0]));
  d.lines.push_back("Function: " + std::to_string(base) + (*name ? std::string(" (") + name + ")" : "") +
                    ((fc & modbus::EXCEPTION_FLAG) ? ", exception reply" : ""));
  if (d.framing == Framing::kRtu && direction != Direction::kAuto) {
    const int expected = ExpectedRtuLength(frame, direction);
    if (expected > 0 && expected != static_cast<int>(frame.size()))
      d.lines.push_back("Length: a " + std::string(DirectionName(direction)) + " of this function has " +
                        std::to_string(expected) + " bytes" + (expected > static_cast<int>(frame.size()) ? " (cut short)" : ""));
  }
  Lines request, reply;
  const bool asRequest = direction != Direction::kReply && !(fc & modbus::EXCEPTION_FLAG) &&
                         Fields(unit, Direction::kRequest, &request);
  const bool asReply = direction != Direction::kRequest && Fields(unit, Direction::kReply, &reply);
  if (asRequest || asReply) {
    d.fits = true;
    d.direction = asRequest ? Direction::kRequest : Direction::kReply;
    d.lines.push_back(asRequest && asReply ? "Fits a request and a reply (a reply that echoes the request)"
                                           : std::string("Fits a ") + DirectionName(d.direction));
    const Lines& fields = asRequest ? request : reply;
    d.lines.insert(d.lines.end(), fields.begin(), fields.end());
    return d;
  }
  d.direction = direction;
  d.lines.push_back(direction == Direction::kAuto
                        ? "Fits neither a request nor a reply of this function: cut short, too long or unknown"
                        : std::string("Does not fit a ") + DirectionName(direction) +
                              " of this function: cut short, too long or unknown");
  d.lines.push_back("Bytes: " + HexBytes(unit.data(), static_cast<int>(unit.size())));
  return d;
}

bool ParseFrameInput(std::string_view text, std::vector<std::uint8_t>* bytes, std::string* error) {
  bytes->clear();
  std::size_t start = text.find_first_not_of(" \t\r\n");
  if (start == std::string_view::npos) return *error = "no frame given", false;
  if (text[start] == ':') {
    std::size_t end = text.find_last_not_of(" \t\r\n");
    for (std::size_t k = start; k <= end; ++k) bytes->push_back(static_cast<std::uint8_t>(text[k]));
    bytes->push_back('\r');
    bytes->push_back('\n');
    return true;
  }
  std::string digits;
  for (std::size_t k = start; k < text.size(); ++k) {
    const char c = text[k];
    if (c == ' ' || c == ',' || c == '.' || c == '\t' || c == '\r' || c == '\n') {
      if (!digits.empty()) return *error = "a byte needs two hex digits (at position " + std::to_string(k) + ")", false;
      continue;
    }
    if (!std::isxdigit(static_cast<unsigned char>(c)))
      return *error = "not a hex digit at position " + std::to_string(k + 1), false;
    digits += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (digits.size() == 2) {
      bytes->push_back(linklayer::JoinNibbles(linklayer::HexCharToNibble(digits[0]), linklayer::HexCharToNibble(digits[1])));
      digits.clear();
    }
  }
  if (!digits.empty()) return *error = "the last byte has one hex digit", false;
  if (bytes->empty()) return *error = "no frame given", false;
  return true;
}

}  // namespace framedecode
