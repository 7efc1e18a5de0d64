#pragma once
// The bytes the terminal sends and the text it shows for received bytes.
// Plain C++ (no Qt), so the rules can be tested on their own.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kestrin {

// Capacity of the dialog's send buffer.
constexpr int kSendBufferBytes = 500;

// Hexadecimal send text: tokens separated by spaces; a one-character token is
// that character's value, a longer one joins its first two characters as high
// and low nibble (further characters ignored). Any character has a value
// (code - 48 below 'A', else code - 55), so "g1" gives 01.
std::vector<std::uint8_t> ParseHexText(const std::string& text);

enum class FrameResult { Ok, StationTooLarge, BadFunction, FieldTooLarge };

struct ModbusRequestFields {
  long station = 1;
  long function = 3;
  long registerAddress = 0;
  long quantityOrValue = 1;  // quantity for functions 1-4, value for 5 and 6
};

// Builds the 8-byte request with its CRC (low byte first). Stations above 256,
// functions outside 1..6 and an address, quantity or value that does not fit
// in 16 bits are refused and leave frame untouched.
FrameResult BuildRequestFrame(const ModbusRequestFields& fields, std::array<std::uint8_t, 8>* frame);
// "0x01 0x03 ... " : each byte as 0x and two upper-case digits, then a space.
std::string FormatFrameText(const std::uint8_t* bytes, int count);

// "%4x" of a received byte and "[%4d]" of the milliseconds since the previous one.
std::string FormatReceivedByte(std::uint8_t byte);
std::string FormatElapsed(int milliseconds);
// Sent bytes as the receive view shows them: `mark`, then each byte as
// FormatReceivedByte does, `bytesPerLine` to a line (each line marked), the
// lines joined by '\n' without a final one.
std::string FormatSentLines(const std::uint8_t* bytes, int count, const std::string& mark, int bytesPerLine);
// Removes every "[" ... "]" group; an unterminated "[" and what follows it stay.
std::string RemoveTimingGroups(const std::string& text);

}  // namespace kestrin
