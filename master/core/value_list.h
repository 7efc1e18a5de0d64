#pragma once
// The value lists of the multiple-write dialogs, Qt-free: the value storage
// (128 registers as the display format sees them), its lines in every display
// format, and the value-list file ".mod" (a 32-bit little-endian data-type tag,
// then the whole coil array or the whole register storage).
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "master/engine/comm_interface.h"

namespace zelmor {

constexpr int kCoilListSize = masterengine::kMaxWriteCoils;  // coils, one byte each
constexpr int kRegisterListBytes = 256;                       // 128 registers
constexpr int kRegisterListWords = kRegisterListBytes / 2;
constexpr int kMaxWriteListRegisters = masterengine::kMaxWriteRegisters;  // a size entry 1..127

// Data-type tags of the file: 0 coils, 1 16-bit registers, 2 floats, 3 doubles, 4 longs.
constexpr std::int32_t kCoilListTag = 0;
std::int32_t DataTypeTagForFormat(int displayFormat);

// Registers per value of a display format: 1, 2 (Float, Long and their inverse
// forms) or 4 (Double, Double Inverse).
int RegistersPerValue(int displayFormat);
bool IsInverseFormat(int displayFormat);

// The 128 registers as 256 bytes in the file's byte order: 16-bit words, 32-bit
// floats and longs and 64-bit doubles, each least significant byte first. The
// accessors index by value (the k-th float is bytes 4k..4k+3).
class RegisterValues {
 public:
  std::uint16_t word(int k) const;
  void setWord(int k, std::uint16_t value);
  float floatValue(int k) const;
  void setFloat(int k, float value);
  double doubleValue(int k) const;
  void setDouble(int k, double value);
  std::int32_t longValue(int k) const;
  void setLong(int k, std::int32_t value);
  std::uint32_t rawLong(int k) const;
  std::uint64_t rawDouble(int k) const;
  // The first count registers as native 16-bit words, least significant word of
  // a value first (the form the engine glue hands over).
  std::vector<std::uint16_t> words(int count) const;

  std::uint8_t* data() { return bytes_.data(); }
  const std::uint8_t* data() const { return bytes_.data(); }
  void clear() { bytes_.fill(0); }
  bool operator==(const RegisterValues&) const = default;

 private:
  std::array<std::uint8_t, kRegisterListBytes> bytes_{};
};

// One line per whole value of the first `size` registers, numbered from
// `address` (the address as entered, in the window's base): the k-th line shows
// the k-th value; a trailing incomplete value gets no line.
std::vector<std::string> ValueListLines(const RegisterValues& values, int displayFormat, int address, int size);

// The register at the start of list line `line` (line * registers per value).
inline int FirstRegisterOfLine(int displayFormat, int line) { return line * RegistersPerValue(displayFormat); }

// ---- Value-list files ".mod" ------------------------------------------------------

enum class ValueFileResult { kOk, kOpenError, kWrongType, kWriteError };

// Tag plus the payload (2000 coil bytes or 256 register bytes).
std::vector<std::uint8_t> EncodeValueList(std::int32_t tag, const std::uint8_t* payload, int payloadSize);
// Checks the tag and copies what the file holds of the payload into payload
// (a shorter file leaves the rest as it was). A file shorter than its tag, or
// with another tag, is kWrongType and changes nothing.
ValueFileResult DecodeValueList(const std::vector<std::uint8_t>& bytes, std::int32_t tag, std::uint8_t* payload,
                                int payloadSize);

// The largest list written is 2004 bytes; bytes past the payload are ignored.
// A regular file above this size, or anything but a regular file, is kOpenError.
constexpr std::size_t kMaxValueListFileSize = 64 * 1024;

ValueFileResult ReadValueListFile(const std::string& path, std::int32_t tag, std::uint8_t* payload, int payloadSize);
// A regular file is replaced through a temporary file, so a failed save keeps
// the previous list; a device is written in place.
ValueFileResult WriteValueListFile(const std::string& path, std::int32_t tag, const std::uint8_t* payload,
                                   int payloadSize);

// "C:\\lists\\pump.mod" or "/home/x/pump.mod" -> "pump": the name a file dialog proposes next time.
std::string FileTitle(const std::string& path);

}  // namespace zelmor
