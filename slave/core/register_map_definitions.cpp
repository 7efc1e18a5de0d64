#include "slave/core/register_map_definitions.h"

#include <algorithm>
#include <cstring>

#include "common/modbus_protocol.h"
#include "common/value_format.h"

namespace vantormap {
namespace {

using regmap::Entry;
using regmap::Type;

constexpr int kMaxBits = vnd::kImageSize;           // one byte per bit
constexpr int kMaxRegisters = vnd::kImageSize / 2;  // one host-order word per register

int MaxLength(int table) { return modbus::IsBitRead(table) ? kMaxBits : kMaxRegisters; }

bool Covers(const vnd::VndDocument& d, int slaveId, const Entry& e) {
  return d.slaveId == slaveId && d.table == e.table && d.address <= e.address &&
         e.address + regmap::ItemCount(e.type) <= d.address + std::min(d.length, MaxLength(d.table));
}

// The value image holds one byte per bit and one host-order word per register.
void PutItems(vnd::VndDocument* d, int offset, const std::uint16_t* items, int count) {
  for (int k = 0; k < count; ++k) {
    if (modbus::IsBitRead(d->table))
      d->valueImage[offset + k] = items[k] != 0 ? 1 : 0;
    else
      std::memcpy(d->valueImage.data() + 2 * (offset + k), &items[k], 2);
  }
}

void GetItems(const vnd::VndDocument& d, int offset, std::uint16_t* items, int count) {
  for (int k = 0; k < count; ++k) {
    if (modbus::IsBitRead(d.table))
      items[k] = d.valueImage[offset + k];
    else
      std::memcpy(&items[k], d.valueImage.data() + 2 * (offset + k), 2);
  }
}

// The display format that shows an entry as its type does; -1 when none does.
int FormatOfEntry(const Entry& e) {
  switch (e.type) {
    case Type::kInt16: return valuefmt::kSigned;
    case Type::kUInt16: return valuefmt::kUnsigned;
    case Type::kInt32: return valuefmt::FormatOf(valuefmt::ValueKind::kLong, e.order);
    case Type::kUInt32: return valuefmt::FormatOf(valuefmt::ValueKind::kUnsignedLong, e.order);
    case Type::kFloat32: return valuefmt::FormatOf(valuefmt::ValueKind::kFloat, e.order);
    case Type::kFloat64: return valuefmt::FormatOf(valuefmt::ValueKind::kDouble, e.order);
    default: return -1;
  }
}

// A new definition for entries[first, last) of one table.
vnd::VndDocument NewDefinition(const std::vector<const Entry*>& run, int slaveId) {
  vnd::VndDocument d;
  d.slaveId = slaveId;
  d.table = run.front()->table;
  d.address = run.front()->address;
  const Entry& back = *run.back();
  d.length = back.address + regmap::ItemCount(back.type) - d.address;
  // 16-bit values keep their own words whatever their order; one shared 32/64-bit layout sets the format.
  int format = FormatOfEntry(*run.front());
  for (const Entry* e : run)
    if (FormatOfEntry(*e) != format) format = -1;
  d.displayFormat = format < 0 ? valuefmt::kSigned : format;
  d.oneBased = d.address + d.length <= 9999 ? 1 : 0;
  return d;
}

// Entries no definition covers, grouped into runs that fit a definition.
void AddDefinitions(std::vector<const Entry*> loose, int slaveId, std::vector<vnd::VndDocument>* definitions) {
  std::stable_sort(loose.begin(), loose.end(), [](const Entry* a, const Entry* b) {
    return a->table != b->table ? a->table < b->table : a->address < b->address;
  });
  std::vector<const Entry*> run;
  for (const Entry* e : loose) {
    const bool fits = !run.empty() && run.front()->table == e->table &&
                      e->address + regmap::ItemCount(e->type) - run.front()->address <= MaxLength(e->table);
    if (!fits && !run.empty()) {
      definitions->push_back(NewDefinition(run, slaveId));
      run.clear();
    }
    run.push_back(e);
  }
  if (!run.empty()) definitions->push_back(NewDefinition(run, slaveId));
}

}  // namespace

bool ApplyRegisterMap(const regmap::RegisterMap& map, int slaveId, std::vector<vnd::VndDocument>* definitions,
                      std::string* error) {
  if (slaveId < 0 || slaveId > modbus::MAX_UNIT_ID) {
    *error = "slave id " + std::to_string(slaveId) + " is not 0..255";
    return false;
  }
  std::vector<vnd::VndDocument> result = *definitions;
  const std::size_t existing = result.size();
  std::vector<const Entry*> loose;
  for (const Entry& e : map.entries) {
    bool covered = false;
    for (std::size_t k = 0; k < existing && !covered; ++k) covered = Covers(result[k], slaveId, e);
    if (!covered) loose.push_back(&e);
  }
  AddDefinitions(loose, slaveId, &result);
  for (const Entry& e : map.entries) {
    for (vnd::VndDocument& d : result) {
      if (!Covers(d, slaveId, e)) continue;
      std::erase_if(d.mapEntries, [&](const Entry& old) { return old.table == e.table && old.address == e.address; });
      d.mapEntries.push_back(e);
      if (e.hasValue) {
        std::uint16_t items[4];
        std::string why;
        if (!regmap::EncodeValue(e, e.value, items, &why)) {
          *error = "line " + std::to_string(e.line) + ", column 8 (value): " + why;
          return false;
        }
        PutItems(&d, e.address - d.address, items, regmap::ItemCount(e.type));
      }
      break;
    }
  }
  *definitions = std::move(result);
  return true;
}

namespace {

// One unnamed entry per value of a definition's display format.
void AppendFormatEntries(const vnd::VndDocument& d, regmap::RegisterMap* map) {
  const int length = std::min(d.length, MaxLength(d.table));
  Entry e;
  e.table = d.table;
  e.hasValue = true;
  if (modbus::IsBitRead(d.table)) {
    e.type = Type::kBit;
  } else {
    switch (valuefmt::KindOf(d.displayFormat)) {
      case valuefmt::ValueKind::kFloat: e.type = Type::kFloat32; break;
      case valuefmt::ValueKind::kDouble: e.type = Type::kFloat64; break;
      case valuefmt::ValueKind::kLong: e.type = Type::kInt32; break;
      case valuefmt::ValueKind::kUnsignedLong: e.type = Type::kUInt32; break;
      default: e.type = d.displayFormat == valuefmt::kSigned ? Type::kInt16 : Type::kUInt16; break;
    }
    // The image keeps the registers as the master reads them: the format's order is theirs.
    e.order = regmap::ItemCount(e.type) == 1 ? wordorder::Order::kABCD : valuefmt::OrderOf(d.displayFormat);
  }
  const int step = regmap::ItemCount(e.type);
  for (int offset = 0; offset + step <= length && d.address + offset + step <= modbus::MAX_ADDRESS + 1;
       offset += step) {
    std::uint16_t items[4];
    GetItems(d, offset, items, step);
    e.address = d.address + offset;
    e.value = regmap::DecodeValue(e, items);
    map->entries.push_back(e);
  }
}

}  // namespace

regmap::RegisterMap ExportRegisterMap(const std::vector<vnd::VndDocument>& definitions) {
  regmap::RegisterMap map;
  for (const vnd::VndDocument& d : definitions) {
    if (d.mapEntries.empty()) {
      AppendFormatEntries(d, &map);
      continue;
    }
    for (Entry e : d.mapEntries) {
      if (e.address < d.address || e.address + regmap::ItemCount(e.type) > d.address + std::min(d.length, MaxLength(d.table)))
        continue;
      std::uint16_t items[4];
      GetItems(d, e.address - d.address, items, regmap::ItemCount(e.type));
      e.value = regmap::DecodeValue(e, items);
      e.hasValue = true;
      e.line = 0;
      map.entries.push_back(e);
    }
  }
  return map;
}

}  // namespace vantormap
