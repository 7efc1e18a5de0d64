#include "master/core/poll_register_map.h"

#include <map>
#include <vector>

#include "common/modbus_protocol.h"
#include "common/value_format.h"
#include "common/word_order.h"

namespace zelmor {
namespace {

std::uint16_t WordAt(const std::uint8_t* values, int index) {
  return static_cast<std::uint16_t>(values[2 * index] | values[2 * index + 1] << 8);
}

// The map type that shows a value as a display format does.
regmap::Type TypeOfFormat(int format) {
  switch (valuefmt::KindOf(format)) {
    case valuefmt::ValueKind::kFloat: return regmap::Type::kFloat32;
    case valuefmt::ValueKind::kDouble: return regmap::Type::kFloat64;
    case valuefmt::ValueKind::kLong: return regmap::Type::kInt32;
    case valuefmt::ValueKind::kUnsignedLong: return regmap::Type::kUInt32;
    default: return format == valuefmt::kSigned ? regmap::Type::kInt16 : regmap::Type::kUInt16;
  }
}

}  // namespace

const regmap::Entry* EntryOfItem(const regmap::RegisterMap& map, int function, int address, int index) {
  const int item = address + index;
  for (const regmap::Entry& e : map.entries)
    if (e.table == function && e.address <= item && item < e.address + regmap::ItemCount(e.type)) return &e;
  return nullptr;
}

std::string ItemNameText(const regmap::RegisterMap& map, int function, int address, int index) {
  const regmap::Entry* e = EntryOfItem(map, function, address, index);
  if (e == nullptr || e->address != address + index) return {};
  return e->unit.empty() ? e->name : e->name + " [" + e->unit + "]";
}

void RawRegisters(const std::uint8_t* values, int displayFormat, int length, std::uint16_t* out) {
  const int n = valuefmt::RegistersPerValue(displayFormat);
  const wordorder::Order order = valuefmt::OrderOf(displayFormat);
  for (int k = 0; k < length; ++k) out[k] = WordAt(values, k);
  if (n == 1) return;
  // Native order back into the format's order, value by value.
  for (int k = 0; k + n <= length; k += n) wordorder::Split(wordorder::Join(out + k, n, wordorder::Order::kCDAB), n, order, out + k);
}

regmap::RegisterMap PollValuesAsMap(const regmap::RegisterMap& map, int function, int address, int length,
                                    int displayFormat, const std::uint8_t* values) {
  regmap::RegisterMap result;
  const bool bits = modbus::IsBitRead(function);
  std::vector<std::uint16_t> raw(static_cast<std::size_t>(length));
  if (bits) {
    for (int k = 0; k < length; ++k) raw[k] = values[k];
  } else {
    RawRegisters(values, displayFormat, length, raw.data());
  }
  const int step = bits ? 1 : valuefmt::RegistersPerValue(displayFormat);
  for (int k = 0; k < length;) {
    const regmap::Entry* named = EntryOfItem(map, function, address, k);
    regmap::Entry e;
    if (named != nullptr && named->address == address + k) {
      e = *named;
    } else {
      e.table = function;
      e.address = address + k;
      e.type = bits ? regmap::Type::kBit : TypeOfFormat(displayFormat);
      e.order = step == 1 ? wordorder::Order::kABCD : valuefmt::OrderOf(displayFormat);
      // Unnamed values sit where the display format puts them and share no register with an entry.
      bool free = named == nullptr && k % step == 0;
      for (int j = k + 1; free && j < k + step && j < length; ++j) free = EntryOfItem(map, function, address, j) == nullptr;
      if (!free) {
        ++k;
        continue;
      }
    }
    const int count = regmap::ItemCount(e.type);
    if (k + count > length) break;
    e.value = regmap::DecodeValue(e, raw.data() + k);
    e.hasValue = true;
    e.line = 0;
    result.entries.push_back(e);
    k += count;
  }
  return result;
}

void MergeRegisterMap(regmap::RegisterMap* into, const regmap::RegisterMap& more) {
  const std::size_t before = into->entries.size();
  for (const regmap::Entry& e : more.entries) {
    const int end = e.address + regmap::ItemCount(e.type);
    bool free = true;
    for (std::size_t k = 0; k < before && free; ++k) {
      const regmap::Entry& o = into->entries[k];
      free = o.table != e.table || end <= o.address || o.address + regmap::ItemCount(o.type) <= e.address;
    }
    if (free) into->entries.push_back(e);
  }
}

bool SaveDeviceMaps(const std::string& path, const std::vector<PollMapPart>& parts, std::vector<std::string>* written,
                    std::string* error) {
  std::map<int, regmap::RegisterMap> maps;  // by unit
  for (const PollMapPart& p : parts)
    if (p.map != nullptr && !p.map->entries.empty())
      MergeRegisterMap(&maps[p.unit],
                       PollValuesAsMap(*p.map, p.function, p.address, p.length, p.displayFormat, p.values));
  bool ok = true;
  const std::size_t slash = path.rfind('/');
  const std::size_t dot = path.rfind('.');
  const std::size_t stem = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1) ? dot : path.size();
  for (const auto& [unit, map] : maps) {
    const std::string file =
        maps.size() == 1 ? path : path.substr(0, stem) + ".unit" + std::to_string(unit) + path.substr(stem);
    std::string why;
    if (regmap::SaveRegisterMap(file, map, &why)) {
      written->push_back(file);
    } else if (ok) {
      *error = file + ": " + why;
      ok = false;
    }
  }
  return ok;
}

}  // namespace zelmor
