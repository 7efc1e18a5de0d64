#pragma once
// A register image as zelmor keeps it (the document's values, the formatter's
// input): 16-bit words, low byte first.
#include <cstdint>
#include <initializer_list>
#include <vector>

inline std::vector<std::uint8_t> RegisterImage(const std::vector<std::uint16_t>& words) {
  std::vector<std::uint8_t> image;
  for (std::uint16_t w : words) {
    image.push_back(static_cast<std::uint8_t>(w));
    image.push_back(static_cast<std::uint8_t>(w >> 8));
  }
  return image;
}
inline std::vector<std::uint8_t> RegisterImage(std::initializer_list<std::uint16_t> words) {
  return RegisterImage(std::vector<std::uint16_t>(words));
}
