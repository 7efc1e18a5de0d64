#pragma once
// Frame checksums and the upper-case hexadecimal text of the ASCII framing.
// Pure functions: no state, no lock, callable from any thread.
#include <cstdint>

namespace linklayer {

std::uint16_t ComputeCrc16(const std::uint8_t* bytes, std::uint16_t length);  // 0xFFFF for length 0
std::uint8_t ComputeLrc(const std::uint8_t* bytes, std::uint16_t length);
char NibbleToHexChar(std::uint8_t value);        // 0..15 -> '0'..'F'; above 15 -> '0'
std::uint8_t HexCharToNibble(char character);    // '0'..'9', 'A'..'F'; anything else -> 0
std::uint8_t JoinNibbles(std::uint8_t high, std::uint8_t low);
void EncodeHex(const std::uint8_t* bytes, std::uint16_t count, char* output);  // 2 x count chars
void DecodeHex(const char* text, std::uint16_t count, std::uint8_t* output);   // count bytes
std::uint8_t ComputeAsciiLrc(const char* frame, std::uint16_t totalLength);
// True for a whole ASCII frame whose LRC checks: ":", pairs of upper-case hex
// digits, the LRC pair, CR LF; any other character fails the check.
bool CheckAsciiLrc(const char* frame, std::uint16_t totalLength);

}  // namespace linklayer
