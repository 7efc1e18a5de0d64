#include "slave/core/vnd_file.h"

#include <limits>

#include "common/modbus_protocol.h"
#include "common/value_format.h"
#include "slave/engine/autochange.h"

namespace vnd {

archive::LogFont VndDocument::DefaultFont() {
  archive::LogFont font;
  font.faceName = "Courier New";
  font.height = -10;
  font.weight = 400;
  font.outPrecision = 4;
  font.clipPrecision = 0;
  font.quality = 2;
  font.pitchAndFamily = 33;
  return font;
}

const char* VndResultText(VndResult result) {
  switch (result) {
    case VndResult::Ok: return "";
    case VndResult::FormatError: return "File format error";
    case VndResult::Truncated: return "The file ends unexpectedly";
  }
  return "";
}

bool DefinitionInRange(const VndDocument& d) {
  auto within = [](std::int32_t value, std::int32_t min, std::int32_t max) { return value >= min && value <= max; };
  return within(d.slaveId, 0, modbus::MAX_UNIT_ID) && autochange::IsKnownTable(d.table) &&
         within(d.address, 0, modbus::MAX_ADDRESS) && within(d.length, 0, std::numeric_limits<std::uint16_t>::max());
}

std::vector<std::uint8_t> EncodeVnd(const VndDocument& d) {
  archive::Writer w;
  w.int32(kFormatMarker);
  w.int32(d.address);
  w.int32(d.table);
  w.int32(d.length);
  w.int32(d.slaveId);
  w.int32(valuefmt::StoredFormat(d.displayFormat));
  w.int32(d.oneBased);
  w.uint32(d.textColor);
  w.uint32(d.reservedColor);
  w.logFontMetrics(d.font);
  std::string face = d.font.faceName;
  if (face.size() > kMaxFaceNameLength) face.resize(kMaxFaceNameLength);
  w.prefixedString(face);
  for (std::uint32_t flag : d.autoChangeFlags) w.uint32(flag);
  w.raw(d.valueImage.data(), d.valueImage.size());
  w.placement(d.placement);
  if (d.displayFormat >= valuefmt::kFormatCount && valuefmt::IsValidFormat(d.displayFormat)) {
    w.int32(kExtensionMarker);
    w.int32(d.displayFormat);
  }
  return w.bytes();
}

VndResult DecodeVnd(const std::uint8_t* data, std::size_t size, VndDocument* out) {
  archive::Reader r(data, size);
  VndDocument d;
  const std::int32_t first = r.int32();
  const std::int32_t second = r.int32();
  const std::int32_t third = r.int32();
  if (!r.ok()) return VndResult::Truncated;
  const bool current = first == kFormatMarker;
  if (current) {
    d.address = second;
    d.table = third;
    d.length = r.int32();
  } else {
    if (second < 0 || second > 3) return VndResult::FormatError;
    d.address = first;
    d.table = second + 1;  // the older layout stored the list index 0..3
    d.length = third;
  }
  d.slaveId = r.int32();
  d.displayFormat = r.int32();
  d.oneBased = r.int32();
  d.textColor = static_cast<std::uint32_t>(r.int32());
  d.reservedColor = static_cast<std::uint32_t>(r.int32());
  r.logFontMetrics(&d.font);
  d.font.faceName = r.prefixedString();
  for (std::uint32_t& flag : d.autoChangeFlags) flag = static_cast<std::uint32_t>(r.int32());
  r.raw(d.valueImage.data(), d.valueImage.size());
  d.hasPlacement = current;
  if (current) d.placement = r.placement();
  if (!r.ok() || !DefinitionInRange(d)) return VndResult::Truncated;
  if (current && r.remaining() >= 8 && r.int32() == kExtensionMarker) {
    const std::int32_t format = r.int32();
    if (valuefmt::IsValidFormat(format)) d.displayFormat = format;
  }
  *out = d;
  return VndResult::Ok;
}

bool LoadVndFile(const std::string& path, VndDocument* document, std::string* error) {
  std::vector<std::uint8_t> bytes;
  if (!archive::ReadFile(path, &bytes, error, kMaxFileSize)) return false;
  const VndResult result = DecodeVnd(bytes, document);
  if (result != VndResult::Ok) {
    if (error) *error = VndResultText(result);
    return false;
  }
  return true;
}

bool SaveVndFile(const std::string& path, const VndDocument& document, std::string* error) {
  return archive::WriteFileAtomically(path, EncodeVnd(document), error);
}

}  // namespace vnd
