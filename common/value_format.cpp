#include "common/value_format.h"

#include <bit>
#include <cctype>
#include <cstdio>

#include "common/modbus_protocol.h"
#include "common/word_order.h"

namespace valuefmt {
namespace {

constexpr const char* kFormatNames[kFormatCount] = {
    "signed", "unsigned", "hex", "binary", "float", "float-inverse", "double", "double-inverse", "long", "long-inverse",
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

// Joins `count` words of the image starting at word `index`; inverse puts the
// most significant word first.
std::uint64_t ComposeWords(const std::uint8_t* words, int index, int count, bool inverse) {
  std::uint16_t registers[4];
  for (int k = 0; k < count; ++k) registers[k] = WordAt(words, index + k);
  return wordorder::Join(registers, count, wordorder::FromSwap(inverse));
}

}  // namespace

bool IsValidFormat(int format) { return format >= 0 && format < kFormatCount; }

const char* FormatName(int format) { return IsValidFormat(format) ? kFormatNames[format] : ""; }

int FormatFromName(const std::string& name) {
  std::string lower;
  for (char c : name) lower += static_cast<char>(c == '_' ? '-' : std::tolower(static_cast<unsigned char>(c)));
  for (int i = 0; i < kFormatCount; ++i)
    if (lower == kFormatNames[i]) return i;
  return -1;
}

bool IsBitFunction(int function) { return modbus::IsBitRead(function); }

int RegistersPerValue(int format) {
  switch (format) {
    case kFloat:
    case kFloatInverse:
    case kLong:
    case kLongInverse:
      return 2;
    case kDouble:
    case kDoubleInverse:
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

std::string BitText(std::uint8_t value) { return Printf("%hi", static_cast<short>(value)); }

std::uint32_t Compose32(const std::uint8_t* words, int index, bool inverse) {
  return static_cast<std::uint32_t>(ComposeWords(words, index, 2, inverse));
}

std::uint64_t Compose64(const std::uint8_t* words, int index, bool inverse) {
  return ComposeWords(words, index, 4, inverse);
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
  switch (format) {
    case kFloat:
    case kFloatInverse: {
      const auto value = std::bit_cast<float>(Compose32(image, index, inverseWordOrder && format == kFloatInverse));
      return FloatText(value, form);
    }
    case kDouble:
    case kDoubleInverse: {
      const auto value = std::bit_cast<double>(Compose64(image, index, inverseWordOrder && format == kDoubleInverse));
      return DoubleText(value, form);
    }
    case kLong:
    case kLongInverse:
      return LongText(static_cast<std::int32_t>(Compose32(image, index, inverseWordOrder && format == kLongInverse)),
                      form);
    default:
      return RegisterText(format, WordAt(image, index), form);
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
  switch (format) {
    case kFloat:
    case kFloatInverse: {
      *out = std::bit_cast<float>(Compose32(image, index, inverseWordOrder && format == kFloatInverse));
      return true;
    }
    case kDouble:
    case kDoubleInverse: {
      *out = std::bit_cast<double>(Compose64(image, index, inverseWordOrder && format == kDoubleInverse));
      return true;
    }
    case kLong:
    case kLongInverse:
      *out = static_cast<std::int32_t>(Compose32(image, index, inverseWordOrder && format == kLongInverse));
      return true;
    case kSigned: *out = static_cast<std::int16_t>(WordAt(image, index)); return true;
    default: *out = WordAt(image, index); return true;
  }
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
  return kWidthTemplates[format];
}

}  // namespace valuefmt
