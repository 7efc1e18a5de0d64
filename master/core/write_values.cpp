#include "master/core/write_values.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "common/value_format.h"
#include "common/word_order.h"
#include "resources/zelmor_resources.h"

namespace zelmor {

namespace {

// Entered values go out in native order: the lowest register holds the least
// significant word (the inverse formats are applied where the words go to the engine).
constexpr auto kNativeOrder = wordorder::Order::kCDAB;

void AppendWords(std::uint64_t bits, int count, std::vector<std::uint16_t>* words) {
  std::uint16_t split[4];
  wordorder::Split(bits, count, kNativeOrder, split);
  words->insert(words->end(), split, split + count);
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view StripBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

std::string Bound(double value, int digits) {
  char buffer[64];
  if (digits == 0)
    std::snprintf(buffer, sizeof buffer, "%.0f", value);
  else
    std::snprintf(buffer, sizeof buffer, "%.*g", digits, value);
  return buffer;
}

// Blanks around, optional sign, decimal digits; the magnitude saturates a little
// above the 32-bit unsigned range.
bool ParseWideInteger(std::string_view text, long long* value) {
  text = StripBlanks(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return false;
  long long magnitude = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    // Saturate instead of wrapping; the range check then refuses it.
    if (magnitude <= 0xFFFFFFFFLL) magnitude = magnitude * 10 + (c - '0');
  }
  *value = negative ? -magnitude : magnitude;
  return true;
}

bool UnsignedLongInRange(std::string_view text, std::uint32_t* value, EntryFailure* failure) {
  long long v = 0;
  if (!ParseWideInteger(text, &v)) return *failure = {EntryFailure::kNotInteger}, false;
  if (v < 0 || v > kUnsignedLongEntryMax)
    return *failure = {EntryFailure::kIntegerRange, 0.0, double(kUnsignedLongEntryMax)}, false;
  *value = static_cast<std::uint32_t>(v);
  return true;
}

bool IntegerInRange(std::string_view text, int min, int max, int* value, EntryFailure* failure) {
  if (!ParseIntegerEntry(text, value)) return *failure = {EntryFailure::kNotInteger}, false;
  if (*value < min || *value > max) return *failure = {EntryFailure::kIntegerRange, double(min), double(max)}, false;
  return true;
}

bool NumberInRange(std::string_view text, double limit, int digits, double* value, EntryFailure* failure) {
  if (!ParseNumberEntry(text, value)) return *failure = {EntryFailure::kNotNumber}, false;
  // The NaN-safe form: anything not inside the range fails.
  if (!(*value >= -limit && *value <= limit))
    return *failure = {EntryFailure::kNumberRange, -limit, limit, digits}, false;
  return true;
}

}  // namespace

std::string EntryFailureText(const EntryFailure& f) {
  namespace text = res::text;
  char buffer[160];
  switch (f.kind) {
    case EntryFailure::kNone:
      return {};
    case EntryFailure::kNotInteger:
      return text::kEnterInteger;
    case EntryFailure::kIntegerRange:
      std::snprintf(buffer, sizeof buffer, text::kEnterIntegerRange, Bound(f.min, 0).c_str(), Bound(f.max, 0).c_str());
      return buffer;
    case EntryFailure::kNotNumber:
      return text::kEnterNumber;
    case EntryFailure::kNumberRange:
      std::snprintf(buffer, sizeof buffer, text::kEnterNumberRange, Bound(f.min, f.digits).c_str(),
                    Bound(f.max, f.digits).c_str());
      return buffer;
    case EntryFailure::kTooLong:
      std::snprintf(buffer, sizeof buffer, text::kEnterMaxChars, f.maxChars);
      return buffer;
    case EntryFailure::kNotHex:
      return text::kEnterHexNumber;
    case EntryFailure::kNotBinary:
      return text::kEnterBinaryNumber;
  }
  return {};
}

bool ParseIntegerEntry(std::string_view text, int* value) {
  long long v = 0;
  if (!ParseWideInteger(text, &v)) return false;
  if (v > std::numeric_limits<int>::max()) v = std::numeric_limits<int>::max();
  if (v < std::numeric_limits<int>::min()) v = std::numeric_limits<int>::min();
  *value = static_cast<int>(v);
  return true;
}

bool ParseNumberEntry(std::string_view text, double* value) {
  text = StripBlanks(text);
  std::size_t i = 0, n = text.size();
  auto at = [&](std::size_t k) { return k < n ? text[k] : '\0'; };
  if (at(i) == '+' || at(i) == '-') ++i;
  int digits = 0;
  while (at(i) >= '0' && at(i) <= '9') ++i, ++digits;
  if (at(i) == '.') {
    ++i;
    while (at(i) >= '0' && at(i) <= '9') ++i, ++digits;
  }
  if (digits == 0) return false;
  if (at(i) == 'e' || at(i) == 'E') {
    ++i;
    if (at(i) == '+' || at(i) == '-') ++i;
    int exponentDigits = 0;
    while (at(i) >= '0' && at(i) <= '9') ++i, ++exponentDigits;
    if (exponentDigits == 0) return false;
  }
  if (i != n) return false;
  const char* begin = text.data() + (text.front() == '+' ? 1 : 0);
  double parsed = 0;
  auto [end, error] = std::from_chars(begin, text.data() + n, parsed);
  if (end != text.data() + n) return false;
  if (error == std::errc::result_out_of_range) {
    // Only the size matters from here on: a huge value fails every range, a tiny one is 0.
    std::size_t e = text.find_first_of("eE");
    bool huge = e != std::string_view::npos ? text[e + 1] != '-' : true;
    bool negative = text.front() == '-';
    parsed = huge ? (negative ? -HUGE_VAL : HUGE_VAL) : 0.0;
  } else if (error != std::errc()) {
    return false;
  }
  *value = parsed;
  return true;
}

bool ParseHexEntry(std::string_view text, std::uint16_t* value, EntryFailure* failure) {
  if (text.size() > static_cast<std::size_t>(kHexEntryMaxChars)) {
    *failure = {EntryFailure::kTooLong};
    failure->maxChars = kHexEntryMaxChars;
    return false;
  }
  if (text.empty()) return *failure = {EntryFailure::kNotHex}, false;
  unsigned v = 0;
  for (char c : text) {
    if (!IsHexDigit(c)) return *failure = {EntryFailure::kNotHex}, false;
    v = v * 16 + static_cast<unsigned>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
  }
  *value = static_cast<std::uint16_t>(v);
  return true;
}

std::string HexEntryText(std::uint16_t value) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "%X", static_cast<unsigned>(value));
  return buffer;
}

std::string FloatEntryText(float value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*g", kFloatEntryDigits, static_cast<double>(value));
  return buffer;
}

std::string DoubleEntryText(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*g", kDoubleEntryDigits, value);
  return buffer;
}

void AppendLongWords(std::int32_t value, std::vector<std::uint16_t>* words) {
  AppendWords(static_cast<std::uint32_t>(value), 2, words);
}

void AppendFloatWords(float value, std::vector<std::uint16_t>* words) {
  AppendWords(std::bit_cast<std::uint32_t>(value), 2, words);
}

void AppendDoubleWords(double value, std::vector<std::uint16_t>* words) {
  AppendWords(std::bit_cast<std::uint64_t>(value), 4, words);
}

bool ParseValueEntry(int format, std::string_view text, std::vector<std::uint16_t>* words, EntryFailure* failure) {
  *failure = {};
  // The other orders enter like the classic format of their kind; unsigned long has its own range.
  if (valuefmt::KindOf(format) == valuefmt::ValueKind::kUnsignedLong) {
    std::uint32_t v = 0;
    if (!UnsignedLongInRange(text, &v, failure)) return false;
    AppendWords(v, 2, words);
    return true;
  }
  format = valuefmt::ClassicFormat(format);
  switch (format) {
    case valuefmt::kSigned: {
      int v = 0;
      if (!IntegerInRange(text, kSignedEntryMin, kSignedEntryMax, &v, failure)) return false;
      words->push_back(static_cast<std::uint16_t>(v));
      return true;
    }
    case valuefmt::kUnsigned: {
      int v = 0;
      if (!IntegerInRange(text, 0, kUnsignedEntryMax, &v, failure)) return false;
      words->push_back(static_cast<std::uint16_t>(v));
      return true;
    }
    case valuefmt::kHex: {
      std::uint16_t v = 0;
      if (!ParseHexEntry(text, &v, failure)) return false;
      words->push_back(v);
      return true;
    }
    case valuefmt::kBinary: {
      if (text.empty() || text.size() > static_cast<std::size_t>(kBinaryEntryMaxChars))
        return *failure = {EntryFailure::kNotBinary}, false;
      unsigned v = 0;
      for (char c : text) {
        if (c != '0' && c != '1') return *failure = {EntryFailure::kNotBinary}, false;
        v = v * 2 + static_cast<unsigned>(c - '0');
      }
      words->push_back(static_cast<std::uint16_t>(v));
      return true;
    }
    case valuefmt::kFloat:
    case valuefmt::kFloatInverse: {
      double v = 0;
      if (!NumberInRange(text, kFloatEntryLimit, kFloatEntryDigits, &v, failure)) return false;
      AppendFloatWords(static_cast<float>(v), words);
      return true;
    }
    case valuefmt::kDouble:
    case valuefmt::kDoubleInverse: {
      double v = 0;
      if (!NumberInRange(text, kDoubleEntryLimit, kDoubleEntryDigits, &v, failure)) return false;
      AppendDoubleWords(v, words);
      return true;
    }
    case valuefmt::kLong:
    case valuefmt::kLongInverse: {
      int v = 0;
      if (!IntegerInRange(text, -kLongEntryLimit, kLongEntryLimit, &v, failure)) return false;
      AppendLongWords(v, words);
      return true;
    }
    default:
      return *failure = {EntryFailure::kNotNumber}, false;
  }
}

std::string ValueEntryText(int format, const std::uint16_t* w) {
  if (valuefmt::KindOf(format) == valuefmt::ValueKind::kUnsignedLong)
    return std::to_string(wordorder::Join32(w, kNativeOrder));
  switch (valuefmt::ClassicFormat(format)) {
    case valuefmt::kSigned:
      return std::to_string(static_cast<std::int16_t>(w[0]));
    case valuefmt::kUnsigned:
      return std::to_string(w[0]);
    case valuefmt::kHex:
      return HexEntryText(w[0]);
    case valuefmt::kBinary: {
      std::string bits;
      for (int b = 15; b >= 0; --b) bits += (w[0] >> b) & 1 ? '1' : '0';
      return bits;
    }
    case valuefmt::kFloat:
    case valuefmt::kFloatInverse:
      return FloatEntryText(wordorder::JoinFloat(w, kNativeOrder));
    case valuefmt::kDouble:
    case valuefmt::kDoubleInverse:
      return DoubleEntryText(wordorder::JoinDouble(w, kNativeOrder));
    default:
      return std::to_string(static_cast<std::int32_t>(wordorder::Join32(w, kNativeOrder)));
  }
}

}  // namespace zelmor
