#pragma once
// Building and splitting 32- and 64-bit values held in consecutive 16-bit
// registers, in every word and byte order devices use. Qt-free and header-only:
// the engines use it on their hot paths.
//
// Letters name the value's bytes from the most significant (A) down. A register
// holds two of them, first byte high: with ABCD the first register holds A B
// (big-endian words); with CDAB it holds C D (the lowest register holds the least
// significant word); BADC and DCBA swap the two bytes inside every register. The
// 64-bit patterns follow the same rule over four registers (ABCDEFGH, GHEFCDAB,
// BADCFEHG, HGFEDCBA).
#include <bit>
#include <cstdint>

namespace wordorder {

enum class Order : std::uint8_t {
  kABCD = 0,  // big-endian words: most significant register first
  kCDAB = 1,  // least significant register first
  kBADC = 2,  // ABCD with the bytes of each register swapped
  kDCBA = 3,  // CDAB with the bytes of each register swapped
};

// The two orders of the single "swap"/"inverse" flag: set, the most significant
// register comes first.
constexpr Order FromSwap(bool swap) { return swap ? Order::kABCD : Order::kCDAB; }

constexpr bool HighWordFirst(Order order) { return order == Order::kABCD || order == Order::kBADC; }
constexpr bool BytesSwapped(Order order) { return order == Order::kBADC || order == Order::kDCBA; }
constexpr std::uint16_t SwapBytes(std::uint16_t w) { return static_cast<std::uint16_t>(w << 8 | w >> 8); }

// Splits the low 16 * count bits of value into count registers (count 1..4).
constexpr void Split(std::uint64_t value, int count, Order order, std::uint16_t* registers) {
  for (int i = 0; i < count; ++i) {
    const auto word = static_cast<std::uint16_t>(value >> (16 * i));  // i = 0: least significant
    const int at = HighWordFirst(order) ? count - 1 - i : i;
    registers[at] = BytesSwapped(order) ? SwapBytes(word) : word;
  }
}

// Joins count registers (1..4) into a value.
constexpr std::uint64_t Join(const std::uint16_t* registers, int count, Order order) {
  std::uint64_t value = 0;
  for (int i = 0; i < count; ++i) {
    const int at = HighWordFirst(order) ? count - 1 - i : i;
    const std::uint16_t word = BytesSwapped(order) ? SwapBytes(registers[at]) : registers[at];
    value |= std::uint64_t{word} << (16 * i);
  }
  return value;
}

constexpr void Split32(std::uint32_t value, Order order, std::uint16_t* registers) {
  Split(value, 2, order, registers);
}
constexpr std::uint32_t Join32(const std::uint16_t* registers, Order order) {
  return static_cast<std::uint32_t>(Join(registers, 2, order));
}
constexpr void Split64(std::uint64_t value, Order order, std::uint16_t* registers) {
  Split(value, 4, order, registers);
}
constexpr std::uint64_t Join64(const std::uint16_t* registers, Order order) { return Join(registers, 4, order); }

inline void SplitFloat(float value, Order order, std::uint16_t* registers) {
  Split32(std::bit_cast<std::uint32_t>(value), order, registers);
}
inline float JoinFloat(const std::uint16_t* registers, Order order) {
  return std::bit_cast<float>(Join32(registers, order));
}
inline void SplitDouble(double value, Order order, std::uint16_t* registers) {
  Split64(std::bit_cast<std::uint64_t>(value), order, registers);
}
inline double JoinDouble(const std::uint16_t* registers, Order order) {
  return std::bit_cast<double>(Join64(registers, order));
}

// Big-endian 16-bit fields of a frame.
constexpr std::uint16_t Get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }
constexpr void Put16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 8);
  p[1] = static_cast<std::uint8_t>(v);
}

}  // namespace wordorder
