// Register map CSV: any bytes parse without fault; a refused map names the
// line and column and leaves the map untouched; an accepted map written again
// parses to an equal map, and every value of it encodes to its registers and
// decodes without fault.
#include <cmath>

#include "common/register_map.h"
#include "fuzz/fuzz_support.h"

namespace {

void CheckValues(const regmap::RegisterMap& map) {
  for (const regmap::Entry& entry : map.entries) {
    fuzzsupport::Require(regmap::ItemCount(entry.type) >= 1 && regmap::ItemCount(entry.type) <= 4, "item count");
    fuzzsupport::Require(entry.name.size() <= regmap::kMaxTextLength && entry.unit.size() <= regmap::kMaxTextLength,
                         "text length");
    if (!entry.hasValue) continue;
    std::uint16_t registers[4] = {};
    std::string why;
    if (!regmap::EncodeValue(entry, entry.value, registers, &why)) {
      fuzzsupport::Require(!why.empty(), "a value that does not fit says why");
      continue;
    }
    (void)regmap::DecodeValue(entry, registers);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  regmap::RegisterMap map;
  map.entries.resize(1);
  map.entries[0].name = "untouched";
  const regmap::RegisterMap before = map;
  std::string error;
  if (!regmap::ParseRegisterMap(reinterpret_cast<const char*>(data), size, &map, &error)) {
    fuzzsupport::Require(error.rfind("line ", 0) == 0, "a refused map names the line");
    fuzzsupport::Require(map.entries == before.entries, "a refused map leaves the map untouched");
    return 0;
  }
  CheckValues(map);
  const std::string written = regmap::FormatRegisterMap(map);
  regmap::RegisterMap again;
  fuzzsupport::Require(regmap::ParseRegisterMap(written.data(), written.size(), &again, &error), "a written map parses");
  fuzzsupport::Require(again.entries == map.entries, "a written map reads back equal");
  fuzzsupport::Require(regmap::FormatRegisterMap(again) == written, "a map keeps its text");
  return 0;
}
