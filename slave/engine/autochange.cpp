#include "slave/engine/autochange.h"

#include <bit>
#include <cstring>

#include "common/word_order.h"

namespace autochange {

namespace {

std::uint16_t Word(const std::uint8_t* image, int word) {
  std::uint16_t value;
  std::memcpy(&value, image + 2 * word, 2);
  return value;
}

void PutWord(std::uint8_t* image, int word, std::uint16_t value) { std::memcpy(image + 2 * word, &value, 2); }

// The `count` words from `first` as one value in `order`.
std::uint64_t JoinWords(const std::uint8_t* image, int first, int count, wordorder::Order order) {
  std::uint16_t words[4];
  for (int w = 0; w < count; ++w) words[w] = Word(image, first + w);
  return wordorder::Join(words, count, order);
}
std::uint64_t JoinWords(const std::uint8_t* image, int first, int count, bool swap) {
  return JoinWords(image, first, count, wordorder::FromSwap(swap));
}

void SplitWords(std::uint8_t* image, int first, int count, std::uint64_t value, wordorder::Order order) {
  std::uint16_t words[4];
  wordorder::Split(value, count, order, words);
  for (int w = 0; w < count; ++w) PutWord(image, first + w, words[w]);
}
void SplitWords(std::uint8_t* image, int first, int count, std::uint64_t value, bool swap) {
  SplitWords(image, first, count, value, wordorder::FromSwap(swap));
}

// Formats 10..19: the new value goes into the image and, register by register, to setRegister.
void StepOrdered(ValueKind kind, wordorder::Order order, int i, std::uint8_t* image, const Setters& setters) {
  const int count = kind == ValueKind::Double ? 4 : 2;
  const std::uint64_t bits = ImageValue(image, i, count, order);
  std::uint64_t next = bits + 1;  // longs: 32-bit wrap when the value is stored
  if (kind == ValueKind::Float)
    next = std::bit_cast<std::uint32_t>(std::bit_cast<float>(static_cast<std::uint32_t>(bits)) + 1.0f);
  else if (kind == ValueKind::Double)
    next = std::bit_cast<std::uint64_t>(std::bit_cast<double>(bits) + 1.0);
  SetImageValue(image, i, count, next, order);
  if (!setters.setRegister) return;
  for (int w = 0; w < count; ++w) setters.setRegister(setters.context, count * i + w, Word(image, count * i + w));
}

}  // namespace

ValueKind KindOf(int table, int format) {
  if (IsBitTable(table)) return ValueKind::Bit;
  switch (valuefmt::KindOf(format)) {
    case valuefmt::ValueKind::kFloat: return ValueKind::Float;
    case valuefmt::ValueKind::kDouble: return ValueKind::Double;
    case valuefmt::ValueKind::kLong:
    case valuefmt::ValueKind::kUnsignedLong: return ValueKind::Long;
    default: break;
  }
  switch (format) {
    case kFloat:
    case kFloatInverse:
      return ValueKind::Float;
    case kDouble:
    case kDoubleInverse:
      return ValueKind::Double;
    case kLong:
    case kLongInverse:
      return ValueKind::Long;
    default:
      return ValueKind::Register;
  }
}

bool IsSwapped(int format) { return format == kFloatInverse || format == kDoubleInverse || format == kLongInverse; }

wordorder::Order OrderOf(int format) { return valuefmt::OrderOf(format); }

int RegistersPerValue(int table, int format) {
  switch (KindOf(table, format)) {
    case ValueKind::Float:
    case ValueKind::Long:
      return 2;
    case ValueKind::Double:
      return 4;
    default:
      return 1;
  }
}

int ValueCount(int table, int format, int length) {
  if (!IsKnownTable(table)) return 0;
  if (length < 0) return 0;
  int maxElements = IsBitTable(table) ? kImageBytes : kImageBytes / 2;
  if (length > maxElements) length = maxElements;
  return length / RegistersPerValue(table, format);
}

std::uint8_t ImageBit(const std::uint8_t* image, int index) {
  return index >= 0 && index < kImageBytes ? image[index] : 0;
}

std::uint16_t ImageRegister(const std::uint8_t* image, int index) {
  return index >= 0 && index < kImageBytes / 2 ? Word(image, index) : 0;
}

std::uint32_t ImageUint32(const std::uint8_t* image, int index, bool swap) {
  if (index < 0 || index >= kImageBytes / 4) return 0;
  return static_cast<std::uint32_t>(JoinWords(image, 2 * index, 2, swap));
}

std::uint64_t ImageUint64(const std::uint8_t* image, int index, bool swap) {
  if (index < 0 || index >= kImageBytes / 8) return 0;
  return JoinWords(image, 4 * index, 4, swap);
}

float ImageFloat(const std::uint8_t* image, int index, bool swap) {
  return std::bit_cast<float>(ImageUint32(image, index, swap));
}

double ImageDouble(const std::uint8_t* image, int index, bool swap) {
  return std::bit_cast<double>(ImageUint64(image, index, swap));
}

std::int32_t ImageLong(const std::uint8_t* image, int index, bool swap) {
  return static_cast<std::int32_t>(ImageUint32(image, index, swap));
}

std::uint64_t ImageValue(const std::uint8_t* image, int index, int count, wordorder::Order order) {
  if (index < 0 || (count != 2 && count != 4) || index >= kImageBytes / (2 * count)) return 0;
  return JoinWords(image, count * index, count, order);
}

void SetImageValue(std::uint8_t* image, int index, int count, std::uint64_t value, wordorder::Order order) {
  if (index < 0 || (count != 2 && count != 4) || index >= kImageBytes / (2 * count)) return;
  SplitWords(image, count * index, count, value, order);
}

void SetImageBit(std::uint8_t* image, int index, std::uint8_t value) {
  if (index >= 0 && index < kImageBytes) image[index] = value ? 1 : 0;
}

void SetImageRegister(std::uint8_t* image, int index, std::uint16_t value) {
  if (index >= 0 && index < kImageBytes / 2) PutWord(image, index, value);
}

void SetImageUint32(std::uint8_t* image, int index, std::uint32_t value, bool swap) {
  if (index < 0 || index >= kImageBytes / 4) return;
  SplitWords(image, 2 * index, 2, value, swap);
}

void SetImageUint64(std::uint8_t* image, int index, std::uint64_t value, bool swap) {
  if (index < 0 || index >= kImageBytes / 8) return;
  SplitWords(image, 4 * index, 4, value, swap);
}

void SetImageFloat(std::uint8_t* image, int index, float value, bool swap) {
  SetImageUint32(image, index, std::bit_cast<std::uint32_t>(value), swap);
}

void SetImageDouble(std::uint8_t* image, int index, double value, bool swap) {
  SetImageUint64(image, index, std::bit_cast<std::uint64_t>(value), swap);
}

void SetImageLong(std::uint8_t* image, int index, std::int32_t value, bool swap) {
  SetImageUint32(image, index, static_cast<std::uint32_t>(value), swap);
}

int Step(int table, int format, int length, const std::uint32_t* flags, std::uint8_t* image,
         const Setters& setters) {
  if (format < 0 || format >= kAllFormatCount) format = kSigned;
  const int count = ValueCount(table, format, length);
  const bool swap = IsSwapped(format);
  const ValueKind kind = KindOf(table, format);
  const bool ordered = format >= kFormatCount && kind != ValueKind::Bit;
  int changed = 0;
  for (int i = 0; i < count && i < kFlagCount; ++i) {
    if (flags[i] == 0) continue;
    ++changed;
    if (ordered) {
      StepOrdered(kind, OrderOf(format), i, image, setters);
      continue;
    }
    switch (kind) {
      case ValueKind::Bit: {
        auto next = static_cast<std::uint8_t>(ImageBit(image, i) ? 0 : 1);
        SetImageBit(image, i, next);
        if (setters.setCoil) setters.setCoil(setters.context, i, next);
        break;
      }
      case ValueKind::Register: {
        auto next = static_cast<std::uint16_t>(ImageRegister(image, i) + 1u);
        SetImageRegister(image, i, next);
        if (setters.setRegister) setters.setRegister(setters.context, i, next);
        break;
      }
      case ValueKind::Float: {
        float next = ImageFloat(image, i, swap) + 1.0f;
        SetImageFloat(image, i, next, swap);
        if (setters.setFloat) setters.setFloat(setters.context, i, next, swap);
        break;
      }
      case ValueKind::Double: {
        double next = ImageDouble(image, i, swap) + 1.0;
        SetImageDouble(image, i, next, swap);
        if (setters.setDouble) setters.setDouble(setters.context, i, next, swap);
        break;
      }
      case ValueKind::Long: {
        // Unsigned arithmetic: 0x7FFFFFFF + 1 wraps to INT32_MIN without overflow.
        auto next = static_cast<std::int32_t>(ImageUint32(image, i, swap) + 1u);
        SetImageLong(image, i, next, swap);
        if (setters.setLong) setters.setLong(setters.context, i, next, swap);
        break;
      }
    }
  }
  return changed;
}

}  // namespace autochange
