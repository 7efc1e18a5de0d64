#pragma once
// Values of the write dialogs and of headless writes: the entry rules of each
// display format (ranges, the hex entry), the entry texts a dialog starts
// with, and the 16-bit words a value becomes. Qt-free, so the dialogs, the
// value lists and the command line check and encode alike.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zelmor {

// Entry ranges. The long and double ranges stop short of their types' limits.
constexpr int kSignedEntryMin = -32768;
constexpr int kSignedEntryMax = 32767;
constexpr int kUnsignedEntryMax = 65535;
constexpr int kHexEntryMaxChars = 4;
constexpr double kFloatEntryLimit = 3.4e38;
constexpr double kDoubleEntryLimit = 1.7e307;
constexpr int kLongEntryLimit = 2147483646;
constexpr long long kUnsignedLongEntryMax = 4294967295LL;
constexpr int kFloatEntryDigits = 6;
constexpr int kDoubleEntryDigits = 15;
constexpr int kBinaryEntryMaxChars = 16;

// Why an entry was refused, with what the message needs.
struct EntryFailure {
  enum Kind { kNone, kNotInteger, kIntegerRange, kNotNumber, kNumberRange, kTooLong, kNotHex, kNotBinary };
  Kind kind = kNone;
  double min = 0;
  double max = 0;
  int digits = 0;    // significant digits of the bounds in a number range
  int maxChars = 0;  // kTooLong
};

// The dialogs' texts for a failure: "Please enter an integer between %1 and %2."
// and the like, "Please enter a hex number" for the hex entry.
std::string EntryFailureText(const EntryFailure& failure);

// Integer text: blanks around, optional sign, decimal digits; saturates at the
// 32-bit range. Number text: blanks around, optional sign, digits with optional
// point and exponent; no inf, nan or hex forms. False when not of that form.
bool ParseIntegerEntry(std::string_view text, int* value);
bool ParseNumberEntry(std::string_view text, double* value);

// The hex entry: a non-empty text of hex digits only (no blanks, sign or "0x").
// Longer than 4 characters is kTooLong, checked first.
bool ParseHexEntry(std::string_view text, std::uint16_t* value, EntryFailure* failure);

// The entry texts a dialog starts with.
std::string HexEntryText(std::uint16_t value);     // capitals, no leading zeros: "7FFF", "0"
std::string FloatEntryText(float value);            // "%.6g"
std::string DoubleEntryText(double value);          // "%.15g"

// One value entered in a display format, appended to words as the value list
// keeps it: 16-bit words for the formats 0..3, the 32-bit and 64-bit values in
// native order (least significant word first) whatever the format's word order
// on the wire. Binary takes 1..16 digits 0/1, most significant first. The
// unsigned long formats take 0..4294967295.
bool ParseValueEntry(int format, std::string_view text, std::vector<std::uint16_t>* words, EntryFailure* failure);

// Encoders into native-order words.
void AppendLongWords(std::int32_t value, std::vector<std::uint16_t>* words);
void AppendFloatWords(float value, std::vector<std::uint16_t>* words);
void AppendDoubleWords(double value, std::vector<std::uint16_t>* words);

// The first value of native words as the entry text of its format (the
// dialogs' starting values from a poll's cells).
std::string ValueEntryText(int format, const std::uint16_t* nativeWords);

}  // namespace zelmor
