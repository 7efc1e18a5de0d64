#pragma once
// Automatic value changes of a slave definition ("Auto increment" / "Auto change")
// and typed access to a definition's value image. Qt-free: the GUI view and the
// headless runner both call Step on every periodic refresh.
//
// The value image has the layout of an engine data area: one byte per coil or
// discrete input, one host-order 16-bit word per register. 32-bit values use
// registers 2p (low) and 2p+1 (high), 64-bit values registers 4q (lowest) to 4q+3;
// "swap" (the inverse formats) reverses the order of the 16-bit words.
#include <cstdint>

#include "common/value_format.h"
#include "common/word_order.h"

namespace autochange {

constexpr int kImageBytes = 4096;
constexpr int kFlagCount = 4096;

// Data tables of a slave definition.
constexpr int kTableCoils = 1, kTableDiscreteInputs = 2, kTableHoldingRegisters = 3, kTableInputRegisters = 4;
constexpr bool IsBitTable(int table) { return table == kTableCoils || table == kTableDiscreteInputs; }
constexpr bool IsRegisterTable(int table) { return table == kTableHoldingRegisters || table == kTableInputRegisters; }
constexpr bool IsKnownTable(int table) { return IsBitTable(table) || IsRegisterTable(table); }

// Display formats; they decide how registers are grouped into values.
enum DisplayFormat : int {
  kSigned = 0, kUnsigned = 1, kHex = 2, kBinary = 3, kFloat = 4, kFloatInverse = 5,
  kDouble = 6, kDoubleInverse = 7, kLong = 8, kLongInverse = 9,
};
constexpr int kFormatCount = 10;
// With the other byte and word orders of common/value_format.h (10..19).
constexpr int kAllFormatCount = valuefmt::kAllFormatCount;

enum class ValueKind { Bit, Register, Float, Double, Long };

// What one element index means for a table and format.
ValueKind KindOf(int table, int format);
bool IsSwapped(int format);  // the inverse formats
// The order of a format's registers: the swap flag's two orders for 0..9, any of
// the four for 10..19 (the unsigned long formats count as Long).
wordorder::Order OrderOf(int format);
// Number of values a definition of `length` elements holds in this table and format
// (length, length / 2 or length / 4); 0 for a table outside 1..4.
int ValueCount(int table, int format, int length);
// Registers per value: 1, 2 or 4 (coils: 1).
int RegistersPerValue(int table, int format);

// Value image access; indices are value indices (p, q). Out-of-range indices read 0
// and write nothing.
std::uint8_t ImageBit(const std::uint8_t* image, int index);
std::uint16_t ImageRegister(const std::uint8_t* image, int index);
std::uint32_t ImageUint32(const std::uint8_t* image, int index, bool swap);
std::uint64_t ImageUint64(const std::uint8_t* image, int index, bool swap);
float ImageFloat(const std::uint8_t* image, int index, bool swap);
double ImageDouble(const std::uint8_t* image, int index, bool swap);
std::int32_t ImageLong(const std::uint8_t* image, int index, bool swap);
// 32-bit (count 2) or 64-bit (count 4) value `index` in any order.
std::uint64_t ImageValue(const std::uint8_t* image, int index, int count, wordorder::Order order);
void SetImageValue(std::uint8_t* image, int index, int count, std::uint64_t value, wordorder::Order order);
void SetImageBit(std::uint8_t* image, int index, std::uint8_t value);
void SetImageRegister(std::uint8_t* image, int index, std::uint16_t value);
void SetImageUint32(std::uint8_t* image, int index, std::uint32_t value, bool swap);
void SetImageUint64(std::uint8_t* image, int index, std::uint64_t value, bool swap);
void SetImageFloat(std::uint8_t* image, int index, float value, bool swap);
void SetImageDouble(std::uint8_t* image, int index, double value, bool swap);
void SetImageLong(std::uint8_t* image, int index, std::int32_t value, bool swap);

// Where the new values go besides the image: the engine's setters of the slot.
// Any member may be null (then only the image changes).
struct Setters {
  void* context = nullptr;
  void (*setCoil)(void* context, int index, std::uint8_t value) = nullptr;
  void (*setRegister)(void* context, int index, std::uint16_t value) = nullptr;
  void (*setFloat)(void* context, int index, float value, bool swap) = nullptr;
  void (*setDouble)(void* context, int index, double value, bool swap) = nullptr;
  void (*setLong)(void* context, int index, std::int32_t value, bool swap) = nullptr;
};

// The next value of every flagged element: coils toggle, registers + 1 (16-bit
// wrap), floats and doubles + 1.0, longs + 1 (32-bit wrap). Reads and writes the
// image (which the caller has just refreshed from the engine) and hands each new
// value to the matching setter; the formats 10..19 hand their registers one by
// one to setRegister. Returns the number of values changed.
int Step(int table, int format, int length, const std::uint32_t* flags, std::uint8_t* image,
         const Setters& setters);

}  // namespace autochange
