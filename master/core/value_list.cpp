#include "master/core/value_list.h"

#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/archive.h"
#include "common/value_format.h"
#include "common/word_order.h"
#include "master/core/test_center.h"

namespace zelmor {

namespace {

std::uint64_t GetLe(const std::uint8_t* p, int bytes) {
  std::uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

void PutLe(std::uint8_t* p, int bytes, std::uint64_t v) {
  for (int i = 0; i < bytes; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// The storage holds every value least significant byte first: counted in
// registers, the lowest register holds the least significant word.
constexpr auto kStorageOrder = wordorder::Order::kCDAB;

std::uint64_t JoinStored(const std::uint8_t* p, int registers) {
  std::uint16_t words[4];
  for (int i = 0; i < registers; ++i) words[i] = static_cast<std::uint16_t>(GetLe(p + 2 * i, 2));
  return wordorder::Join(words, registers, kStorageOrder);
}

void SplitStored(std::uint8_t* p, int registers, std::uint64_t value) {
  std::uint16_t words[4];
  wordorder::Split(value, registers, kStorageOrder, words);
  for (int i = 0; i < registers; ++i) PutLe(p + 2 * i, 2, words[i]);
}

// The "%1.4f" text of a large value does not fit the list's column; such a
// value is shown in exponent form instead.
std::string FitNumber(int number, double value, const char* fixed, const char* general) {
  char line[400];
  std::snprintf(line, sizeof line, fixed, number, value);
  if (std::strlen(line) >= 24) std::snprintf(line, sizeof line, general, number, value);
  return line;
}

}  // namespace

std::int32_t DataTypeTagForFormat(int displayFormat) {
  switch (valuefmt::ClassicFormat(displayFormat)) {
    case valuefmt::kFloat: case valuefmt::kFloatInverse: return 2;
    case valuefmt::kDouble: case valuefmt::kDoubleInverse: return 3;
    case valuefmt::kLong: case valuefmt::kLongInverse: return 4;
    default: return 1;
  }
}

int RegistersPerValue(int displayFormat) { return valuefmt::RegistersPerValue(displayFormat); }

bool IsInverseFormat(int displayFormat) {
  return displayFormat == valuefmt::kFloatInverse || displayFormat == valuefmt::kDoubleInverse ||
         displayFormat == valuefmt::kLongInverse;
}

// ---- RegisterValues ---------------------------------------------------------------

std::uint16_t RegisterValues::word(int k) const {
  return static_cast<std::uint16_t>(GetLe(bytes_.data() + 2 * k, 2));
}
void RegisterValues::setWord(int k, std::uint16_t value) { PutLe(bytes_.data() + 2 * k, 2, value); }

std::uint32_t RegisterValues::rawLong(int k) const {
  return static_cast<std::uint32_t>(JoinStored(bytes_.data() + 4 * k, 2));
}
std::uint64_t RegisterValues::rawDouble(int k) const { return JoinStored(bytes_.data() + 8 * k, 4); }

std::vector<std::uint16_t> RegisterValues::words(int count) const {
  std::vector<std::uint16_t> out;
  for (int k = 0; k < count && k < kRegisterListWords; ++k) out.push_back(word(k));
  return out;
}

float RegisterValues::floatValue(int k) const { return std::bit_cast<float>(rawLong(k)); }
void RegisterValues::setFloat(int k, float value) {
  SplitStored(bytes_.data() + 4 * k, 2, std::bit_cast<std::uint32_t>(value));
}

double RegisterValues::doubleValue(int k) const { return std::bit_cast<double>(rawDouble(k)); }
void RegisterValues::setDouble(int k, double value) {
  SplitStored(bytes_.data() + 8 * k, 4, std::bit_cast<std::uint64_t>(value));
}

std::int32_t RegisterValues::longValue(int k) const { return static_cast<std::int32_t>(rawLong(k)); }
void RegisterValues::setLong(int k, std::int32_t value) {
  SplitStored(bytes_.data() + 4 * k, 2, static_cast<std::uint32_t>(value));
}

// ---- Lines ------------------------------------------------------------------------

std::vector<std::string> ValueListLines(const RegisterValues& values, int displayFormat, int address, int size) {
  std::vector<std::string> lines;
  if (size > kRegisterListWords) size = kRegisterListWords;
  const int step = RegistersPerValue(displayFormat);
  char line[64];
  for (int i = 0, k = 0; i + step <= size; i += step, ++k) {
    const int number = address + i;
    if (valuefmt::KindOf(displayFormat) == valuefmt::ValueKind::kUnsignedLong) {
      std::snprintf(line, sizeof line, "%03i = %u", number, static_cast<unsigned>(values.longValue(k)));
      lines.emplace_back(line);
      continue;
    }
    switch (valuefmt::ClassicFormat(displayFormat)) {
      case valuefmt::kSigned:
        std::snprintf(line, sizeof line, "%03i = %hi", number, static_cast<short>(values.word(i)));
        lines.emplace_back(line);
        break;
      case valuefmt::kUnsigned:
        std::snprintf(line, sizeof line, "%03i = %hu", number, static_cast<unsigned short>(values.word(i)));
        lines.emplace_back(line);
        break;
      case valuefmt::kHex:
        std::snprintf(line, sizeof line, "%03i = 0x%04hX", number, static_cast<unsigned short>(values.word(i)));
        lines.emplace_back(line);
        break;
      case valuefmt::kBinary: {
        std::snprintf(line, sizeof line, "%03i = ", number);
        std::string text = line;
        const std::uint16_t w = values.word(i);
        for (int bit = 15; bit >= 0; --bit) {
          text += (w >> bit) & 1 ? '1' : '0';
          if (bit % 4 == 0) text += ' ';
        }
        lines.push_back(text);
        break;
      }
      case valuefmt::kFloat:
      case valuefmt::kFloatInverse:
        lines.push_back(FitNumber(number, values.floatValue(k), "%03i = %1.4f", "%03i = %15.8G"));
        break;
      case valuefmt::kDouble:
      case valuefmt::kDoubleInverse:
        lines.push_back(FitNumber(number, values.doubleValue(k), "%03i = %1.6f", "%03i = %17.10G"));
        break;
      case valuefmt::kLong:
      case valuefmt::kLongInverse:
        std::snprintf(line, sizeof line, "%03i = %i", number, values.longValue(k));
        lines.emplace_back(line);
        break;
      default: break;
    }
  }
  return lines;
}

// ---- Files ------------------------------------------------------------------------

std::vector<std::uint8_t> EncodeValueList(std::int32_t tag, const std::uint8_t* payload, int payloadSize) {
  std::vector<std::uint8_t> bytes(4 + static_cast<std::size_t>(payloadSize));
  PutLe(bytes.data(), 4, static_cast<std::uint32_t>(tag));
  std::memcpy(bytes.data() + 4, payload, static_cast<std::size_t>(payloadSize));
  return bytes;
}

ValueFileResult DecodeValueList(const std::vector<std::uint8_t>& bytes, std::int32_t tag, std::uint8_t* payload,
                                int payloadSize) {
  if (bytes.size() < 4 || static_cast<std::int32_t>(GetLe(bytes.data(), 4)) != tag) return ValueFileResult::kWrongType;
  const std::size_t available = bytes.size() - 4;
  const std::size_t count = available < static_cast<std::size_t>(payloadSize) ? available : payloadSize;
  std::memcpy(payload, bytes.data() + 4, count);
  return ValueFileResult::kOk;
}

ValueFileResult ReadValueListFile(const std::string& path, std::int32_t tag, std::uint8_t* payload, int payloadSize) {
  // A device, FIFO or directory is refused without reading, so /dev/zero or a
  // pipe without a writer cannot hang the dialog.
  std::vector<std::uint8_t> bytes;
  if (!archive::ReadFile(path, &bytes, nullptr, kMaxValueListFileSize)) return ValueFileResult::kOpenError;
  return DecodeValueList(bytes, tag, payload, payloadSize);
}

ValueFileResult WriteValueListFile(const std::string& path, std::int32_t tag, const std::uint8_t* payload,
                                   int payloadSize) {
  switch (SaveListFileBytes(path, EncodeValueList(tag, payload, payloadSize))) {
    case ListFileResult::kOk: return ValueFileResult::kOk;
    case ListFileResult::kOpenError: return ValueFileResult::kOpenError;
    default: return ValueFileResult::kWriteError;
  }
}

std::string FileTitle(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name;
}

}  // namespace zelmor
