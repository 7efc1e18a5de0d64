#include "link/framing.h"

#include "link/checksums.h"

namespace linklayer {

std::uint16_t AppendCrc(std::uint8_t* frame, std::uint16_t length, Check check) {
  std::uint16_t crc = ComputeCrc16(frame, length);
  if (check == Check::kSpoiled) crc ^= 0x00FF;
  frame[length] = static_cast<std::uint8_t>(crc & 0xFF);
  frame[length + 1] = static_cast<std::uint8_t>(crc >> 8);
  return static_cast<std::uint16_t>(length + 2);
}

std::uint16_t BuildAsciiFrame(const std::uint8_t* bytes, std::uint16_t length, char* text, Check check) {
  std::uint8_t lrc = ComputeLrc(bytes, length);
  if (check == Check::kSpoiled) ++lrc;
  text[0] = ':';
  EncodeHex(bytes, length, text + 1);
  int n = 1 + 2 * length;
  text[n++] = NibbleToHexChar(static_cast<std::uint8_t>(lrc >> 4));
  text[n++] = NibbleToHexChar(static_cast<std::uint8_t>(lrc & 0x0F));
  text[n++] = '\r';
  text[n++] = '\n';
  return static_cast<std::uint16_t>(n);
}

void PutMbapHeader(std::uint8_t* frame, std::uint16_t transactionId, std::uint16_t followingLength) {
  frame[0] = static_cast<std::uint8_t>(transactionId >> 8);
  frame[1] = static_cast<std::uint8_t>(transactionId & 0xFF);
  frame[2] = 0;
  frame[3] = 0;
  frame[4] = static_cast<std::uint8_t>(followingLength >> 8);
  frame[5] = static_cast<std::uint8_t>(followingLength & 0xFF);
}

}  // namespace linklayer
