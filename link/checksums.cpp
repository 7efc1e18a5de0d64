#include "link/checksums.h"

#include <array>

namespace linklayer {

namespace {

// The standard Modbus CRC-16 table (reflected polynomial 0xA001), built at compile time.
constexpr std::array<std::uint16_t, 256> MakeCrcTable() {
  std::array<std::uint16_t, 256> table{};
  for (unsigned index = 0; index < 256; ++index) {
    std::uint16_t crc = static_cast<std::uint16_t>(index);
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 1u) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001u) : static_cast<std::uint16_t>(crc >> 1);
    }
    table[index] = crc;
  }
  return table;
}

constexpr std::array<std::uint16_t, 256> kCrcTable = MakeCrcTable();
static_assert(kCrcTable[1] == 0xC0C1 && kCrcTable[255] == 0x4040, "Modbus CRC table");

}  // namespace

std::uint16_t ComputeCrc16(const std::uint8_t* bytes, std::uint16_t length) {
  std::uint16_t crc = 0xFFFF;
  for (std::uint16_t i = 0; i < length; ++i) {
    crc = static_cast<std::uint16_t>(kCrcTable[(crc ^ bytes[i]) & 0xFFu] ^ (crc >> 8));
  }
  return crc;
}

std::uint8_t ComputeLrc(const std::uint8_t* bytes, std::uint16_t length) {
  std::uint8_t sum = 0;
  for (std::uint16_t i = 0; i < length; ++i) sum = static_cast<std::uint8_t>(sum + bytes[i]);
  return static_cast<std::uint8_t>(-sum);
}

char NibbleToHexChar(std::uint8_t value) {
  if (value < 10) return static_cast<char>('0' + value);
  if (value < 16) return static_cast<char>('A' + (value - 10));
  return '0';
}

std::uint8_t HexCharToNibble(char character) {
  // Upper case only: the ASCII framing writes upper-case digits, anything else reads as 0.
  if (character >= '0' && character <= '9') return static_cast<std::uint8_t>(character - '0');
  if (character >= 'A' && character <= 'F') return static_cast<std::uint8_t>(character - 'A' + 10);
  return 0;
}

std::uint8_t JoinNibbles(std::uint8_t high, std::uint8_t low) {
  return static_cast<std::uint8_t>((high << 4) | (low & 0x0F));
}

void EncodeHex(const std::uint8_t* bytes, std::uint16_t count, char* output) {
  for (std::uint16_t i = 0; i < count; ++i) {
    output[2 * i] = NibbleToHexChar(static_cast<std::uint8_t>(bytes[i] >> 4));
    output[2 * i + 1] = NibbleToHexChar(static_cast<std::uint8_t>(bytes[i] & 0x0F));
  }
}

void DecodeHex(const char* text, std::uint16_t count, std::uint8_t* output) {
  for (std::uint16_t i = 0; i < count; ++i) {
    output[i] = JoinNibbles(HexCharToNibble(text[2 * i]), HexCharToNibble(text[2 * i + 1]));
  }
}

std::uint8_t ComputeAsciiLrc(const char* frame, std::uint16_t totalLength) {
  // ":" + 2 x count hex characters + 2 LRC characters + CR LF.
  const int count = (static_cast<int>(totalLength) - 5) / 2;
  std::uint8_t sum = 0;
  for (int i = 0; i < count; ++i) {
    sum = static_cast<std::uint8_t>(sum + JoinNibbles(HexCharToNibble(frame[1 + 2 * i]), HexCharToNibble(frame[2 + 2 * i])));
  }
  return static_cast<std::uint8_t>(-sum);
}

namespace {
bool IsHexChar(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }
}  // namespace

bool CheckAsciiLrc(const char* frame, std::uint16_t totalLength) {
  if (totalLength < 5 || totalLength % 2 == 0) return false;
  // A whole frame only: a character that is no digit would otherwise count as 0
  // and let a damaged frame pass with its values changed.
  if (frame[0] != ':' || frame[totalLength - 2] != '\r' || frame[totalLength - 1] != '\n') return false;
  for (std::uint16_t i = 1; i < totalLength - 2; ++i)
    if (!IsHexChar(frame[i])) return false;
  const std::uint8_t received =
      JoinNibbles(HexCharToNibble(frame[totalLength - 4]), HexCharToNibble(frame[totalLength - 3]));
  return received == ComputeAsciiLrc(frame, totalLength);
}

}  // namespace linklayer
