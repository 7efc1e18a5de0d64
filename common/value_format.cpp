#include "common/value_format.h"

#include <bit>
#include <cctype>
#include <cstdio>

#include "common/modbus_protocol.h"
#include "common/word_order.h"

namespace valuefmt {
namespace {

constexpr const char* kFormatNames[kAllFormatCount] = {
    "signed",        "unsigned",    "hex",         "binary",
    "float",         "float-inverse", "double",    "double-inverse",
    "long",          "long-inverse",  "float-badc", "float-dcba",
    "double-badc",   "double-dcba",   "long-badc",  "long-dcba",
    "unsigned-long-abcd", "unsigned-long-cdab", "unsigned-long-badc", "unsigned-long-dcba",
};

constexpr const char* kOrderNames[4] = {"ABCD", "CDAB", "BADC", "DCBA"};

// Kind and order of every format, by number.
struct FormatLayout {
  ValueKind kind;
  wordorder::Order order;
};
using enum wordorder::Order;
constexpr FormatLayout kLayouts[kAllFormatCount] = {
    {ValueKind::kRegister, kCDAB},     {ValueKind::kRegister, kCDAB},     {ValueKind::kRegister, kCDAB},
    {ValueKind::kRegister, kCDAB},     {ValueKind::kFloat, kCDAB},        {ValueKind::kFloat, kABCD},
    {ValueKind::kDouble, kCDAB},       {ValueKind::kDouble, kABCD},       {ValueKind::kLong, kCDAB},
    {ValueKind::kLong, kABCD},         {ValueKind::kFloat, kBADC},        {ValueKind::kFloat, kDCBA},
    {ValueKind::kDouble, kBADC},       {ValueKind::kDouble, kDCBA},       {ValueKind::kLong, kBADC},
    {ValueKind::kLong, kDCBA},         {ValueKind::kUnsignedLong, kABCD}, {ValueKind::kUnsignedLong, kCDAB},
    {ValueKind::kUnsignedLong, kBADC}, {ValueKind::kUnsignedLong, kDCBA},
};

constexpr const char* kWidthTemplates[kFormatCount] = {
    "00000 = -00000XXX",
    "00000 = 00000XXX",
    "00000 = 000000XXX",
    "00000 = 0000000000000000XXX",
    "00000 = -0.000000000000XXX",
    "00000 = -0.000000000000XXX",
    "00000 = -0.00000000000000XXX",
    "00000 = -0.00000000000000XXX",
    "00000 = -0000000000XXX",
    "00000 = -0000000000XXX",
};
constexpr const char* kBitWidthTemplate = "00000 = 0XXX";

// Large doubles in "%f" need more than 300 characters.
constexpr std::size_t kTextBuffer = 400;

std::string Printf(const char* format, auto... args) {
  char text[kTextBuffer];
  int n = std::snprintf(text, sizeof text, format, args...);
  if (n < 0) return {};
  return std::string(text, static_cast<std::size_t>(n) < sizeof text ? static_cast<std::size_t>(n) : sizeof text - 1);
}

// Fixed form first; the exponent form when the fixed text reaches `limit` characters.
std::string FixedOrExponent(double value, const char* fixed, std::size_t limit, const char* exponent) {
  std::string text = Printf(fixed, value);
  if (text.size() >= limit) text = Printf(exponent, value);
  return text;
}

char PrefixDigit(int function) {
  switch (function) {
    case modbus::FC_READ_COILS: return '0';
    case modbus::FC_READ_DISCRETE_INPUTS: return '1';
    case modbus::FC_READ_HOLDING_REGISTERS: return '4';
    case modbus::FC_READ_INPUT_REGISTERS: return '3';
    default: return '4';
  }
}

std::uint16_t WordAt(const std::uint8_t* words, int index) {
  return static_cast<std::uint16_t>(words[2 * index] | (words[2 * index + 1] << 8));
}

std::string Lower(const std::string& name) {
  std::string lower;
  for (char c : name) lower += static_cast<char>(c == '_' ? '-' : std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

// The value of a 32- or 64-bit cell whose words sit in `order`.
std::uint64_t CellBits(const std::uint8_t* image, int format, int index, bool inverseWordOrder) {
  const wordorder::Order order = inverseWordOrder ? OrderOf(format) : wordorder::Order::kCDAB;
  return ComposeInOrder(image, index, RegistersPerValue(format), order);
}

}  // namespace

bool IsValidFormat(int format) { return format >= 0 && format < kAllFormatCount; }

ValueKind KindOf(int format) { return IsValidFormat(format) ? kLayouts[format].kind : ValueKind::kRegister; }

wordorder::Order OrderOf(int format) { return IsValidFormat(format) ? kLayouts[format].order : kCDAB; }

int FormatOf(ValueKind kind, wordorder::Order order) {
  if (kind == ValueKind::kRegister) return -1;
  for (int f = 0; f < kAllFormatCount; ++f)
    if (kLayouts[f].kind == kind && kLayouts[f].order == order) return f;
  return -1;
}

int ClassicFormat(int format) {
  if (!IsValidFormat(format)) return kSigned;
  if (format < kFormatCount) return format;
  ValueKind kind = KindOf(format) == ValueKind::kUnsignedLong ? ValueKind::kLong : KindOf(format);
  return FormatOf(kind, wordorder::HighWordFirst(OrderOf(format)) ? kABCD : kCDAB);
}

int StoredFormat(int format) { return IsValidFormat(format) ? ClassicFormat(format) : format; }

const char* OrderName(wordorder::Order order) { return kOrderNames[static_cast<int>(order) & 3]; }

int OrderFromName(const std::string& name) {
  std::string lower = Lower(name);
  for (int i = 0; i < 4; ++i)
    if (lower == Lower(kOrderNames[i])) return i;
  return -1;
}

const char* FormatName(int format) { return IsValidFormat(format) ? kFormatNames[format] : ""; }

int FormatFromName(const std::string& name) {
  const std::string lower = Lower(name);
  for (int i = 0; i < kAllFormatCount; ++i)
    if (lower == kFormatNames[i]) return i;
  // "float-abcd", "double-cdab", "long-abcd": the classic formats by order name.
  for (int i = kFloat; i < kFormatCount; ++i) {
    const std::string name = kFormatNames[i];
    if (lower == name.substr(0, name.find('-')) + "-" + Lower(OrderName(OrderOf(i)))) return i;
  }
  return -1;
}

bool IsBitFunction(int function) { return modbus::IsBitRead(function); }

int RegistersPerValue(int format) {
  switch (KindOf(format)) {
    case ValueKind::kFloat:
    case ValueKind::kLong:
    case ValueKind::kUnsignedLong:
      return 2;
    case ValueKind::kDouble:
      return 4;
    default:
      return 1;
  }
}

bool CellHasValue(int function, int format, int index, int length) {
  if (index < 0 || index >= length) return false;
  if (IsBitFunction(function)) return true;
  int n = RegistersPerValue(format);
  return index % n == 0 && length - index >= n;
}

std::string RegisterText(int format, std::uint16_t word, TextForm form) {
  bool screen = form != TextForm::kMasterLog;
  switch (format) {
    case kSigned:
      return Printf(screen ? "%6hi" : "%hi", static_cast<short>(word));
    case kUnsigned:
      return Printf(screen ? "%5hu" : "%hu", static_cast<unsigned short>(word));
    case kHex:
      return Printf("0x%04hX", static_cast<unsigned short>(word));
    case kBinary: {
      std::string bits(16, '0');
      for (int b = 0; b < 16; ++b)
        if (word & (0x8000u >> b)) bits[b] = '1';
      return bits;
    }
    default:
      return {};
  }
}

std::string FloatText(float value, TextForm form) {
  double v = value;
  switch (form) {
    case TextForm::kMasterScreen: return FixedOrExponent(v, "%15.6f", 16, "%1.7e");
    case TextForm::kMasterLog: return Printf("%1.6f", v);
    case TextForm::kSlaveScreen: return FixedOrExponent(v, "%15.4f", 16, "%15.8G");
  }
  return {};
}

std::string DoubleText(double value, TextForm form) {
  switch (form) {
    case TextForm::kMasterScreen: return FixedOrExponent(value, "%17.10f", 18, "%1.9e");
    case TextForm::kMasterLog: return Printf("%1.10f", value);
    case TextForm::kSlaveScreen: return FixedOrExponent(value, "%17.6f", 18, "%17.10G");
  }
  return {};
}

std::string LongText(std::int32_t value, TextForm form) {
  return Printf(form == TextForm::kMasterLog ? "%i" : "%10i", static_cast<int>(value));
}

std::string UnsignedLongText(std::uint32_t value, TextForm form) {
  return Printf(form == TextForm::kMasterLog ? "%u" : "%10u", static_cast<unsigned>(value));
}

std::string BitText(std::uint8_t value) { return Printf("%hi", static_cast<short>(value)); }

std::uint64_t ComposeInOrder(const std::uint8_t* words, int index, int count, wordorder::Order order) {
  std::uint16_t registers[4];
  for (int k = 0; k < count; ++k) registers[k] = WordAt(words, index + k);
  return wordorder::Join(registers, count, order);
}

std::uint32_t Compose32(const std::uint8_t* words, int index, bool inverse) {
  return static_cast<std::uint32_t>(ComposeInOrder(words, index, 2, wordorder::FromSwap(inverse)));
}

std::uint64_t Compose64(const std::uint8_t* words, int index, bool inverse) {
  return ComposeInOrder(words, index, 4, wordorder::FromSwap(inverse));
}

std::string CellValueText(const std::uint8_t* image, std::size_t imageSize, int function, int format, int index,
                          int length, TextForm form, bool inverseWordOrder) {
  if (!CellHasValue(function, format, index, length)) return {};
  if (IsBitFunction(function)) {
    if (static_cast<std::size_t>(index) >= imageSize) return {};
    return BitText(image[index]);
  }
  if (!IsValidFormat(format)) return {};
  int registers = RegistersPerValue(format);
  if (static_cast<std::size_t>(2 * (index + registers)) > imageSize) return {};
  if (registers == 1) return RegisterText(format, WordAt(image, index), form);
  const std::uint64_t bits = CellBits(image, format, index, inverseWordOrder);
  switch (KindOf(format)) {
    case ValueKind::kFloat: return FloatText(std::bit_cast<float>(static_cast<std::uint32_t>(bits)), form);
    case ValueKind::kDouble: return DoubleText(std::bit_cast<double>(bits), form);
    case ValueKind::kLong: return LongText(static_cast<std::int32_t>(bits), form);
    default: return UnsignedLongText(static_cast<std::uint32_t>(bits), form);
  }
}

bool CellNumber(const std::uint8_t* image, std::size_t imageSize, int function, int format, int index, int length,
                bool inverseWordOrder, double* out) {
  if (!CellHasValue(function, format, index, length) || index < 0) return false;
  if (IsBitFunction(function)) {
    if (static_cast<std::size_t>(index) >= imageSize) return false;
    *out = image[index] != 0 ? 1.0 : 0.0;
    return true;
  }
  if (!IsValidFormat(format)) return false;
  if (static_cast<std::size_t>(2 * (index + RegistersPerValue(format))) > imageSize) return false;
  if (RegistersPerValue(format) == 1) {
    *out = format == kSigned ? static_cast<std::int16_t>(WordAt(image, index)) : WordAt(image, index);
    return true;
  }
  const std::uint64_t bits = CellBits(image, format, index, inverseWordOrder);
  switch (KindOf(format)) {
    case ValueKind::kFloat: *out = std::bit_cast<float>(static_cast<std::uint32_t>(bits)); break;
    case ValueKind::kDouble: *out = std::bit_cast<double>(bits); break;
    case ValueKind::kLong: *out = static_cast<std::int32_t>(bits); break;
    default: *out = static_cast<std::uint32_t>(bits); break;
  }
  return true;
}

bool NumberRegisters(int format, double value, std::uint16_t* registers) {
  const int n = RegistersPerValue(format);
  if (n == 1) return false;
  std::uint64_t bits = 0;
  auto clamp = [&](double low, double high) { return value != value ? 0.0 : value < low ? low : value > high ? high : value; };
  switch (KindOf(format)) {
    case ValueKind::kFloat: bits = std::bit_cast<std::uint32_t>(static_cast<float>(value)); break;
    case ValueKind::kDouble: bits = std::bit_cast<std::uint64_t>(value); break;
    case ValueKind::kLong:
      bits = static_cast<std::uint32_t>(static_cast<std::int32_t>(clamp(-2147483648.0, 2147483647.0)));
      break;
    default: bits = static_cast<std::uint32_t>(clamp(0.0, 4294967295.0)); break;
  }
  wordorder::Split(bits, n, OrderOf(format), registers);
  return true;
}

bool UsesWideLabel(bool oneBased, int address, int length) { return oneBased && address + length > 9999; }

std::string AddressLabel(int function, bool oneBased, int address, int length, int index) {
  int shown = address + (oneBased ? 1 : 0) + index;
  if (!oneBased) return Printf("%05i = ", shown);
  char prefix = PrefixDigit(function);
  return UsesWideLabel(oneBased, address, length) ? Printf("%c%05i = ", prefix, shown)
                                                  : Printf("%c%04i = ", prefix, shown);
}

std::string FirstAddressText(int function, bool oneBased, int address, int length) {
  std::string label = AddressLabel(function, oneBased, address, length, 0);
  return label.substr(0, label.size() - 3);
}

const char* WidthTemplate(int function, int format) {
  if (IsBitFunction(function) || !IsValidFormat(format)) return kBitWidthTemplate;
  return kWidthTemplates[ClassicFormat(format)];
}

}  // namespace valuefmt
