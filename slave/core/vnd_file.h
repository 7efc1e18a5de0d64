#pragma once
// The slave definition file (.vnd): 32-bit little-endian fields, the font record
// with its face name, the auto-change flags, the value image and the frame
// window's placement. Files without the 2000 marker (the older layout) are read
// too. Qt-free, shared by the document and the headless runner.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/archive.h"
#include "common/register_map.h"

namespace vnd {

constexpr std::int32_t kFormatMarker = 2000;
constexpr int kFlagCount = 4096;
constexpr int kImageSize = 4096;
// Size of a file with an empty face name; add the face name's length.
constexpr std::size_t kFileSizeWithoutFaceName = 20589;
constexpr std::size_t kMaxFaceNameLength = 254;  // one length byte
// The largest file written is 20843 bytes; the limit leaves room for a longer
// face name written by another program.
constexpr std::size_t kMaxFileSize = 64 * 1024;

// A block after the placement that older versions never read: its marker ("VNX1")
// and the display format when it is one of 10..19 (the format field holds
// valuefmt::ClassicFormat of it). Written only for those formats.
constexpr std::int32_t kExtensionMarker = 0x31584E56;

struct VndDocument {
  std::int32_t address = 0;
  std::int32_t table = 3;
  std::int32_t length = 10;
  std::int32_t slaveId = 1;
  std::int32_t displayFormat = 0;
  std::int32_t oneBased = 1;
  std::uint32_t textColor = 9;
  std::uint32_t reservedColor = 0xFFFFFF;
  archive::LogFont font = DefaultFont();
  std::array<std::uint32_t, kFlagCount> autoChangeFlags{};
  std::array<std::uint8_t, kImageSize> valueImage{};
  archive::WindowPlacement placement;
  bool hasPlacement = false;  // false for a file of the older layout
  // The register map entries imported into this definition (absolute addresses).
  std::vector<regmap::Entry> mapEntries;

  static archive::LogFont DefaultFont();
  bool operator==(const VndDocument&) const = default;
};

enum class VndResult {
  Ok,
  FormatError,  // older layout with a table outside 0..3
  Truncated,    // the file ends before its last field, or a field of the slave
                // definition is out of range: refused as unreadable
};

// True when slave id, table, address and length are in the ranges the engine can
// register (unit id 0..255, table 1..4, address and length 0..65535). The display
// format and the one-based flag are left to the reader, which falls back to defaults.
bool DefinitionInRange(const VndDocument& document);

// The user-facing text of a result ("File format error" for FormatError).
const char* VndResultText(VndResult result);

// Always writes the current layout with the marker and the placement.
std::vector<std::uint8_t> EncodeVnd(const VndDocument& document);
VndResult DecodeVnd(const std::uint8_t* data, std::size_t size, VndDocument* document);
inline VndResult DecodeVnd(const std::vector<std::uint8_t>& bytes, VndDocument* document) {
  return DecodeVnd(bytes.data(), bytes.size(), document);
}

// Reads and decodes a file; on failure *error holds the reason (the system's
// text when the file cannot be read, else the result text).
bool LoadVndFile(const std::string& path, VndDocument* document, std::string* error);
bool SaveVndFile(const std::string& path, const VndDocument& document, std::string* error);

}  // namespace vnd
