#include "terminal/send_data.h"

#include <cctype>
#include <cstdio>

#include "common/modbus_protocol.h"
#include "common/word_order.h"
#include "link/framing.h"

namespace kestrin {

namespace {

// The character's value as the hexadecimal send text defines it; not limited
// to 0..15, so letters past F push bits out of the byte.
int CharacterValue(char character) {
  const int code = static_cast<signed char>(character);
  return code < 65 ? code - 48 : code - 55;
}

bool IsWhite(char character) { return std::isspace(static_cast<unsigned char>(character)) != 0; }

}  // namespace

std::vector<std::uint8_t> ParseHexText(const std::string& text) {
  std::vector<std::uint8_t> bytes;
  std::size_t position = 0;
  while (position < text.size() && IsWhite(text[position])) ++position;
  std::string upper = text.substr(position);
  for (char& character : upper) {
    if (character >= 'a' && character <= 'z') character = static_cast<char>(character - 'a' + 'A');
  }
  position = 0;
  while (position < upper.size()) {
    std::size_t end = upper.find(' ', position);
    if (end == std::string::npos) end = upper.size();
    if (end == position) break;  // empty token
    const int first = CharacterValue(upper[position]);
    if (end - position == 1) {
      bytes.push_back(static_cast<std::uint8_t>(first));
    } else {
      const int second = CharacterValue(upper[position + 1]);
      bytes.push_back(static_cast<std::uint8_t>(((first << 4) & 0xFF) | second));
    }
    position = end;
    while (position < upper.size() && IsWhite(upper[position])) ++position;
  }
  return bytes;
}

FrameResult BuildRequestFrame(const ModbusRequestFields& fields, std::array<std::uint8_t, 8>* frame) {
  if (fields.station > 256) return FrameResult::StationTooLarge;
  if (fields.function < modbus::FC_READ_COILS || fields.function > modbus::FC_WRITE_SINGLE_REGISTER)
    return FrameResult::BadFunction;
  if (fields.registerAddress < 0 || fields.registerAddress > 0xFFFF || fields.quantityOrValue < 0 ||
      fields.quantityOrValue > 0xFFFF) {
    return FrameResult::FieldTooLarge;
  }
  std::array<std::uint8_t, 8> bytes{};
  bytes[0] = static_cast<std::uint8_t>(fields.station % 256);
  bytes[1] = static_cast<std::uint8_t>(fields.function);
  wordorder::Put16(&bytes[2], static_cast<std::uint16_t>(fields.registerAddress));
  if (modbus::IsRead(static_cast<int>(fields.function))) {
    const long quantity = fields.quantityOrValue == 0 ? 1 : fields.quantityOrValue;
    wordorder::Put16(&bytes[4], static_cast<std::uint16_t>(quantity));
  } else if (fields.function == modbus::FC_WRITE_SINGLE_COIL) {
    wordorder::Put16(&bytes[4], fields.quantityOrValue != 0 ? modbus::COIL_ON : modbus::COIL_OFF);
  } else {
    wordorder::Put16(&bytes[4], static_cast<std::uint16_t>(fields.quantityOrValue));
  }
  linklayer::AppendCrc(bytes.data(), 6);
  *frame = bytes;
  return FrameResult::Ok;
}

std::string FormatFrameText(const std::uint8_t* bytes, int count) {
  std::string text;
  char field[8];
  for (int index = 0; index < count; ++index) {
    std::snprintf(field, sizeof field, "0x%02X ", bytes[index]);
    text += field;
  }
  return text;
}

std::string FormatReceivedByte(std::uint8_t byte) {
  char field[8];
  std::snprintf(field, sizeof field, "%4x", byte);
  return field;
}

std::string FormatSentLines(const std::uint8_t* bytes, int count, const std::string& mark, int bytesPerLine) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    if (i % bytesPerLine == 0) text += (i == 0 ? "" : "\n") + mark;
    text += FormatReceivedByte(bytes[i]);
  }
  return text;
}

std::string FormatElapsed(int milliseconds) {
  char field[16];
  std::snprintf(field, sizeof field, "[%4d]", milliseconds);
  return field;
}

std::string RemoveTimingGroups(const std::string& text) {
  std::string result;
  result.reserve(text.size());
  std::size_t position = 0;
  while (position < text.size()) {
    const std::size_t open = text.find('[', position);
    if (open == std::string::npos) break;
    const std::size_t close = text.find(']', open + 1);
    if (close == std::string::npos) break;
    result.append(text, position, open - position);
    position = close + 1;
  }
  result.append(text, position, std::string::npos);
  return result;
}

}  // namespace kestrin
