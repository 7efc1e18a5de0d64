#pragma once
// Display formats, value texts, address labels and cell width templates of the
// poll view (master) and the slave view. One routine serves the screen, the
// printer, the data log and the headless output, so they always agree.
// Qt-free.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/word_order.h"

namespace valuefmt {

enum DisplayFormat : int {
  kSigned = 0,
  kUnsigned = 1,
  kHex = 2,
  kBinary = 3,
  kFloat = 4,
  kFloatInverse = 5,
  kDouble = 6,
  kDoubleInverse = 7,
  kLong = 8,
  kLongInverse = 9,
  // The other byte and word orders, after the ten formats older files know.
  kFloatBadc = 10,
  kFloatDcba = 11,
  kDoubleBadc = 12,
  kDoubleDcba = 13,
  kLongBadc = 14,
  kLongDcba = 15,
  kUnsignedLongAbcd = 16,
  kUnsignedLongCdab = 17,
  kUnsignedLongBadc = 18,
  kUnsignedLongDcba = 19,
};
// The ten formats of the first menus and of the files' format fields (0..9).
constexpr int kFormatCount = 10;
// Every format, the other orders included (0..19).
constexpr int kAllFormatCount = 20;

// What a format makes of its registers.
enum class ValueKind { kRegister, kFloat, kDouble, kLong, kUnsignedLong };
ValueKind KindOf(int format);
// The order of a 32- or 64-bit format's registers (kCDAB for 16-bit formats).
wordorder::Order OrderOf(int format);
// The format of a kind in an order; -1 for kRegister.
int FormatOf(ValueKind kind, wordorder::Order order);
// Formats 10.. stand for themselves in a field older versions ignore; the old
// field gets this one of the ten with the same kind and the same word order
// (bytes not swapped): float BADC -> float-inverse, unsigned long CDAB -> long.
int ClassicFormat(int format);
// The format field a file keeps: ClassicFormat of a valid format; any other
// value as it was read, so that a file read and written again keeps its bytes.
int StoredFormat(int format);
// Order names "ABCD", "CDAB", "BADC", "DCBA"; OrderFromName -1 when unknown.
const char* OrderName(wordorder::Order order);
int OrderFromName(const std::string& name);

// Which text a value is given.
enum class TextForm {
  kMasterScreen,  // poll view on screen/paper, fixed-width data log
  kMasterLog,     // comma- and tab-delimited data log
  kSlaveScreen,   // slave view (float "%15.4f", double "%17.6f")
};

bool IsValidFormat(int format);  // 0..kAllFormatCount - 1
// Name for the command line and menus' short form: "signed", "float-inverse",
// "float-badc", "unsigned-long-abcd", ...
const char* FormatName(int format);
// Parses a name as FormatName gives it (case-insensitive); -1 when unknown. The
// classic float, double and long formats also answer to their order names
// ("float-abcd" is float-inverse, "long-cdab" is long).
int FormatFromName(const std::string& name);

// Functions 1 and 2 (coils, discrete inputs) show one bit per item and ignore the format.
bool IsBitFunction(int function);
// Registers per value: 1, 2 (float, long) or 4 (double).
int RegistersPerValue(int format);
// True when the cell at item index i of a poll of `length` items carries a value:
// 32-bit values sit at even indices with two items left, 64-bit values at indices
// divisible by 4 with four items left; every item for 16-bit formats and bits.
bool CellHasValue(int function, int format, int index, int length);

// Value texts from numbers.
std::string RegisterText(int format, std::uint16_t word, TextForm form);  // formats 0..3
std::string FloatText(float value, TextForm form);
std::string DoubleText(double value, TextForm form);
std::string LongText(std::int32_t value, TextForm form);
std::string UnsignedLongText(std::uint32_t value, TextForm form);
std::string BitText(std::uint8_t value);

// Reads 32-bit and 64-bit values from a little-endian 16-bit word image. With
// `inverse` the most significant word comes first (the inverse formats).
std::uint32_t Compose32(const std::uint8_t* words, int index, bool inverse);
std::uint64_t Compose64(const std::uint8_t* words, int index, bool inverse);
// The same in any order.
std::uint64_t ComposeInOrder(const std::uint8_t* words, int index, int count, wordorder::Order order);

// The value text of item `index` of a value image: one byte per item for bit
// functions, 16-bit little-endian words for registers. Empty for cells without a
// value (CellHasValue false) and for items outside `imageSize`.
// `inverseWordOrder`: true when the image still holds the words in register order
// and the format's order must be undone here (the slave view); false when the
// caller already stored values in native order (the master's document).
std::string CellValueText(const std::uint8_t* image, std::size_t imageSize, int function, int format, int index,
                          int length, TextForm form, bool inverseWordOrder);

// The number behind a cell's text, for plotting: the bit, the register as its
// format reads it (signed for kSigned, else unsigned), or the 32/64-bit value.
// False for cells without a value, as CellValueText gives them no text.
bool CellNumber(const std::uint8_t* image, std::size_t imageSize, int function, int format, int index, int length,
                bool inverseWordOrder, double* out);

// The registers of a number in a 32- or 64-bit format, in the format's order
// (longs saturate at their type's range, floats round to nearest). False for
// the 16-bit formats.
bool NumberRegisters(int format, double value, std::uint16_t* registers);

// Address labels: "4%04i = " (PLC, narrow), "4%05i = " (PLC, wide when address +
// length exceeds 9999), "%05i = " (protocol addresses). Prefix digit by function:
// 1 -> 0, 2 -> 1, 3 -> 4, 4 -> 3.
bool UsesWideLabel(bool oneBased, int address, int length);
std::string AddressLabel(int function, bool oneBased, int address, int length, int index);
// The label of the first item without its trailing " = " (data-log lines).
std::string FirstAddressText(int function, bool oneBased, int address, int length);

// Cell width template of a format, e.g. "00000 = -00000XXX"; the coil template for
// bit functions. The wide label form needs one more "X" of width (WideLabelExtra).
const char* WidthTemplate(int function, int format);
constexpr const char* kWideLabelExtra = "X";
constexpr const char* kColumnGapTemplate = "XXX";

}  // namespace valuefmt
