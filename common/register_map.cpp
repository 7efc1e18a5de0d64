#include "common/register_map.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string_view>
#include <sys/stat.h>

#include "common/archive.h"
#include "common/modbus_protocol.h"
#include "common/value_format.h"

namespace regmap {
namespace {

constexpr int kColumnCount = 8;
constexpr const char* kColumns[kColumnCount] = {"table", "address", "type", "order",
                                                "name",  "unit",    "scale", "value"};
enum Column { kTable, kAddress, kType, kOrder, kName, kUnit, kScale, kValue };

constexpr const char* kTypeNames[] = {"bit", "int16", "uint16", "int32", "uint32", "float32", "float64"};
constexpr int kTypeCount = 7;

struct TableInfo {
  int table;
  const char* name;
  char digit;  // first digit of the PLC address
};
constexpr TableInfo kTables[] = {
    {modbus::FC_READ_COILS, "coils", '0'},
    {modbus::FC_READ_DISCRETE_INPUTS, "discrete inputs", '1'},
    {modbus::FC_READ_INPUT_REGISTERS, "input registers", '3'},
    {modbus::FC_READ_HOLDING_REGISTERS, "holding registers", '4'},
};
constexpr int kItemsPerTable = modbus::MAX_ADDRESS + 1;

const TableInfo* FindTable(int table) {
  for (const TableInfo& t : kTables)
    if (t.table == table) return &t;
  return nullptr;
}

bool IsBitTable(int table) { return modbus::IsBitRead(table); }

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// A field as a message quotes it: control characters (a terminal's escape
// sequences among them) as '?', so that a message never carries them.
std::string Shown(std::string_view text) {
  std::string shown(text);
  for (char& c : shown)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return shown;
}

// "line 4, column 2 (address): what"
std::string Fault(int line, int column, const std::string& what) {
  std::string text = "line " + std::to_string(line) + ", column " + std::to_string(column + 1);
  if (column < kColumnCount) text += std::string(" (") + kColumns[column] + ")";
  return text + ": " + what;
}

// One CSV row: fields separated by commas, a field in double quotes may hold
// commas and doubled quotes. Unquoted fields lose their surrounding blanks.
bool SplitRow(std::string_view line, std::vector<std::string>* fields, int* badColumn, std::string* why) {
  fields->clear();
  std::size_t i = 0;
  while (true) {
    std::string field;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i < line.size() && line[i] == '"') {
      ++i;
      bool closed = false;
      while (i < line.size()) {
        if (line[i] == '"' && i + 1 < line.size() && line[i + 1] == '"') {
          field += '"';
          i += 2;
        } else if (line[i] == '"') {
          ++i;
          closed = true;
          break;
        } else {
          field += line[i++];
        }
      }
      while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
      if (!closed || (i < line.size() && line[i] != ',')) {
        *badColumn = static_cast<int>(fields->size());
        *why = closed ? "text after the closing quote" : "the quote is not closed on this line";
        return false;
      }
    } else {
      const std::size_t comma = line.find(',', i);
      const std::size_t end = comma == std::string_view::npos ? line.size() : comma;
      field = std::string(Trim(line.substr(i, end - i)));
      i = end;
    }
    fields->push_back(std::move(field));
    if (i >= line.size()) return true;
    ++i;  // the comma
  }
}

bool ParseNumber(std::string_view text, double* value) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return false;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return error == std::errc() && end == text.data() + text.size() && std::isfinite(*value);
}

// PLC form: five digits (up to 9999) or six digits (up to 65536) led by the
// table's digit. Anything else of digits only is a protocol address.
bool ParseAddress(std::string_view text, const TableInfo& table, int* address, std::string* why) {
  if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return *why = "\"" + Shown(text) + "\" is not an address", false;
  if (text.size() > 6) return *why = "\"" + Shown(text) + "\" is outside the table", false;
  int number = 0;
  std::from_chars(text.data(), text.data() + text.size(), number);
  const bool plc = (text.size() == 5 || text.size() == 6) && text.front() == table.digit;
  if (plc) {
    const int reference = text.size() == 5 ? number % 10000 : number % 100000;
    const int last = text.size() == 5 ? 9999 : kItemsPerTable;
    if (reference < 1 || reference > last)
      return *why = "PLC address " + std::string(text) + " is outside the " + table.name, false;
    *address = reference - 1;
    return true;
  }
  if (number >= kItemsPerTable)
    return *why = "address " + std::string(text) + " is outside the " + table.name, false;
  *address = number;
  return true;
}

std::string ShortNumber(double value) {
  char buffer[64];
  // Whole numbers as digits ("1000000", not "1e+06"); the rest in the shortest exact form.
  if (value == std::nearbyint(value) && std::fabs(value) < 1e15) {
    std::snprintf(buffer, sizeof buffer, "%.0f", value);
    return buffer;
  }
  auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return error == std::errc() ? std::string(buffer, end) : std::string("0");
}

std::string RangeText(double low, double high) { return "(" + ShortNumber(low) + ".." + ShortNumber(high) + ")"; }

// The fields of one row into an entry; false with the column and the reason.
bool ReadEntry(const std::vector<std::string>& f, Entry* e, int* column, std::string* why) {
  *column = kTable;
  const TableInfo* table = nullptr;
  for (const TableInfo& t : kTables)
    if (Lower(f[kTable]) == t.name) table = &t;
  if (table == nullptr)
    return *why = "unknown table \"" + Shown(f[kTable]) +
                  "\" (coils, discrete inputs, input registers, holding registers)", false;
  e->table = table->table;
  *column = kType;
  int type = -1;
  for (int t = 0; t < kTypeCount; ++t)
    if (Lower(f[kType]) == kTypeNames[t]) type = t;
  if (type < 0)
    return *why = "unknown type \"" + Shown(f[kType]) + "\" (bit, int16, uint16, int32, uint32, float32, float64)", false;
  e->type = static_cast<Type>(type);
  if ((e->type == Type::kBit) != IsBitTable(e->table))
    return *why = std::string("type ") + kTypeNames[type] + " does not fit the " + table->name, false;
  *column = kAddress;
  if (!ParseAddress(f[kAddress], *table, &e->address, why)) return false;
  if (e->address + ItemCount(e->type) > kItemsPerTable)
    return *why = std::string("a ") + kTypeNames[type] + " at " + f[kAddress] + " ends outside the " + table->name,
           false;
  *column = kOrder;
  e->order = wordorder::Order::kABCD;
  if (!f[kOrder].empty()) {
    const int order = valuefmt::OrderFromName(f[kOrder]);
    if (order < 0) return *why = "unknown order \"" + Shown(f[kOrder]) + "\" (ABCD, CDAB, BADC, DCBA)", false;
    if (e->type != Type::kBit) e->order = static_cast<wordorder::Order>(order);
  }
  for (int c : {kName, kUnit}) {
    *column = c;
    if (f[c].size() > kMaxTextLength)
      return *why = "longer than " + std::to_string(kMaxTextLength) + " characters", false;
    for (unsigned char ch : f[c])
      if (ch < 0x20 || ch == 0x7F) return *why = "control characters are not allowed", false;
  }
  e->name = f[kName];
  e->unit = f[kUnit];
  *column = kScale;
  e->scale = 1.0;
  if (!f[kScale].empty() && (!ParseNumber(f[kScale], &e->scale) || e->scale == 0.0))
    return *why = "\"" + Shown(f[kScale]) + "\" is not a scale (a number other than 0)", false;
  *column = kValue;
  e->hasValue = !f[kValue].empty();
  if (e->hasValue) {
    if (!ParseNumber(f[kValue], &e->value)) return *why = "\"" + Shown(f[kValue]) + "\" is not a number", false;
    std::uint16_t registers[4];
    if (!EncodeValue(*e, e->value, registers, why)) return false;
  }
  return true;
}

bool IsHeader(const std::vector<std::string>& fields) {
  if (fields.size() != kColumnCount) return false;
  for (int c = 0; c < kColumnCount; ++c)
    if (Lower(fields[c]) != kColumns[c]) return false;
  return true;
}

// Two entries may not share a register or bit of a table.
bool CheckOverlaps(const std::vector<Entry>& entries, std::string* error) {
  std::vector<const Entry*> sorted;
  for (const Entry& e : entries) sorted.push_back(&e);
  std::stable_sort(sorted.begin(), sorted.end(), [](const Entry* a, const Entry* b) {
    return a->table != b->table ? a->table < b->table : a->address < b->address;
  });
  for (std::size_t k = 1; k < sorted.size(); ++k) {
    const Entry& a = *sorted[k - 1];
    const Entry& b = *sorted[k];
    if (a.table == b.table && b.address < a.address + ItemCount(a.type)) {
      const Entry& later = a.line > b.line ? a : b;
      const Entry& earlier = a.line > b.line ? b : a;
      *error = Fault(later.line, kAddress, "overlaps the entry of line " + std::to_string(earlier.line));
      return false;
    }
  }
  return true;
}

std::string TooLarge(std::size_t size) {
  return Fault(1, 0, "the map has " + std::to_string(size) + " bytes, more than the " + std::to_string(kMaxMapBytes) +
                         " a register map may have");
}

std::string CsvField(const std::string& text) {
  const bool quote = text.find_first_of(",\"") != std::string::npos ||
                     (!text.empty() && (text.front() == ' ' || text.back() == ' ' || text.front() == '\t' ||
                                        text.back() == '\t'));
  if (!quote) return text;
  std::string out = "\"";
  for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

}  // namespace

bool Entry::operator==(const Entry& o) const {
  return table == o.table && address == o.address && type == o.type && order == o.order && name == o.name &&
         unit == o.unit && scale == o.scale && hasValue == o.hasValue && (!hasValue || value == o.value);
}

int ItemCount(Type type) {
  switch (type) {
    case Type::kInt32:
    case Type::kUInt32:
    case Type::kFloat32: return 2;
    case Type::kFloat64: return 4;
    default: return 1;
  }
}

const char* TypeName(Type type) { return kTypeNames[static_cast<int>(type)]; }

const char* TableName(int table) {
  const TableInfo* t = FindTable(table);
  return t ? t->name : "";
}

std::string PlcAddressText(int table, int address) {
  const TableInfo* t = FindTable(table);
  if (t == nullptr) return "";
  char text[16];
  std::snprintf(text, sizeof text, "%c%05d", t->digit, (address & 0xFFFF) + 1);
  return text;
}

bool ParseAddressText(std::string_view text, int table, int* address, std::string* why) {
  const TableInfo* t = FindTable(table);
  if (t == nullptr) return *why = "unknown table " + std::to_string(table), false;
  return ParseAddress(text, *t, address, why);
}

std::string_view NextCsvLine(std::string_view text, std::size_t* start, int line) {
  std::size_t end = text.find('\n', *start);
  if (end == std::string_view::npos) end = text.size();
  std::string_view row = text.substr(*start, end - *start);
  *start = end + 1;
  if (!row.empty() && row.back() == '\r') row.remove_suffix(1);
  if (line == 1 && row.starts_with("\xEF\xBB\xBF")) row.remove_prefix(3);  // a byte order mark
  return row;
}

bool ParseRegisterMap(const char* data, std::size_t size, RegisterMap* map, std::string* error) {
  if (size > kMaxMapBytes) return *error = TooLarge(size), false;
  const std::string_view text(data, size);
  RegisterMap parsed;
  bool headerSeen = false;
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (int line = 1; start < text.size(); ++line) {
    std::string_view row = NextCsvLine(text, &start, line);
    if (Trim(row).empty() || Trim(row).front() == '#') continue;
    int column = 0;
    std::string why;
    if (row.find('\0') != std::string_view::npos)
      return *error = Fault(line, 0, "the line holds a NUL byte"), false;
    if (!SplitRow(row, &fields, &column, &why)) return *error = Fault(line, column, why), false;
    if (!headerSeen) {
      if (!IsHeader(fields))
        return *error = Fault(line, 0, "the first row must be the header table,address,type,order,name,unit,"
                                       "scale,value"), false;
      headerSeen = true;
      continue;
    }
    if (fields.size() != kColumnCount) {
      const int at = static_cast<int>(std::min<std::size_t>(fields.size(), kColumnCount));
      return *error = Fault(line, at, std::to_string(fields.size()) + " columns, a row has " +
                                          std::to_string(kColumnCount)), false;
    }
    Entry entry;
    entry.line = line;
    if (!ReadEntry(fields, &entry, &column, &why)) return *error = Fault(line, column, why), false;
    parsed.entries.push_back(std::move(entry));
  }
  if (!headerSeen) return *error = Fault(1, 0, "the map has no header row"), false;
  if (!CheckOverlaps(parsed.entries, error)) return false;
  *map = std::move(parsed);
  return true;
}

bool LoadRegisterMap(const std::string& path, RegisterMap* map, std::string* error) {
  // A file too large is refused by its size, unread.
  struct stat status {};
  if (::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
      static_cast<std::uint64_t>(status.st_size) > kMaxMapBytes)
    return *error = TooLarge(static_cast<std::size_t>(status.st_size)), false;
  std::vector<std::uint8_t> bytes;
  if (!archive::ReadFile(path, &bytes, error, kMaxMapBytes)) return false;
  return ParseRegisterMap(reinterpret_cast<const char*>(bytes.data()), bytes.size(), map, error);
}

std::string FormatRegisterMap(const RegisterMap& map) {
  std::string text = "table,address,type,order,name,unit,scale,value\n";
  for (const Entry& e : map.entries) {
    const TableInfo* table = FindTable(e.table);
    if (table == nullptr) continue;
    text += std::string(table->name) + "," + PlcAddressText(e.table, e.address) + "," + TypeName(e.type) + ",";
    if (e.type != Type::kBit) text += valuefmt::OrderName(e.order);
    text += "," + CsvField(e.name) + "," + CsvField(e.unit) + "," + ShortNumber(e.scale) + ",";
    if (e.hasValue) text += ShortNumber(e.value);
    text += "\n";
  }
  return text;
}

bool SaveRegisterMap(const std::string& path, const RegisterMap& map, std::string* error) {
  const std::string text = FormatRegisterMap(map);
  return archive::WriteFileAtomically(path, std::vector<std::uint8_t>(text.begin(), text.end()), error);
}

bool EncodeValue(const Entry& entry, double value, std::uint16_t* registers, std::string* why) {
  const double raw = value / entry.scale;
  const std::string type = TypeName(entry.type);
  if (!std::isfinite(raw)) return *why = ShortNumber(value) + " does not fit " + type, false;
  std::uint64_t bits = 0;
  auto integer = [&](double low, double high) {
    const double rounded = std::nearbyint(raw);
    if (rounded < low || rounded > high) {
      *why = ShortNumber(value) + " is outside " + type + " " + RangeText(low * entry.scale, high * entry.scale);
      return false;
    }
    bits = static_cast<std::uint64_t>(static_cast<std::int64_t>(rounded));
    return true;
  };
  switch (entry.type) {
    case Type::kBit:
      if (raw != 0.0 && raw != 1.0) return *why = ShortNumber(value) + " is not a bit (0 or 1)", false;
      registers[0] = raw != 0.0 ? 1 : 0;
      return true;
    case Type::kInt16: if (!integer(-32768, 32767)) return false; break;
    case Type::kUInt16: if (!integer(0, 65535)) return false; break;
    case Type::kInt32: if (!integer(-2147483648.0, 2147483647.0)) return false; break;
    case Type::kUInt32: if (!integer(0, 4294967295.0)) return false; break;
    case Type::kFloat32:
      if (std::fabs(raw) > std::numeric_limits<float>::max())
        return *why = ShortNumber(value) + " is outside float32", false;
      bits = std::bit_cast<std::uint32_t>(static_cast<float>(raw));
      break;
    case Type::kFloat64: bits = std::bit_cast<std::uint64_t>(raw); break;
  }
  wordorder::Split(bits, ItemCount(entry.type), entry.order, registers);
  return true;
}

double DecodeValue(const Entry& entry, const std::uint16_t* registers) {
  if (entry.type == Type::kBit) return (registers[0] != 0 ? 1.0 : 0.0) * entry.scale;
  const std::uint64_t bits = wordorder::Join(registers, ItemCount(entry.type), entry.order);
  double raw = 0;
  switch (entry.type) {
    case Type::kInt16: raw = static_cast<std::int16_t>(bits); break;
    case Type::kUInt16: raw = static_cast<std::uint16_t>(bits); break;
    case Type::kInt32: raw = static_cast<std::int32_t>(bits); break;
    case Type::kUInt32: raw = static_cast<std::uint32_t>(bits); break;
    case Type::kFloat32: raw = std::bit_cast<float>(static_cast<std::uint32_t>(bits)); break;
    default: raw = std::bit_cast<double>(bits); break;
  }
  return raw * entry.scale;
}

}  // namespace regmap
