#pragma once
// Register maps: CSV files that name the values of a device's tables, with their
// types, byte and word orders, units, scales and (optionally) values. The format
// is described in docs/register_map.md. Qt-free; the parser is a pure function
// over a byte buffer and either fills the whole map or reports the first fault
// with its line and column (nothing half-read).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/word_order.h"

namespace regmap {

// The largest map the reader takes (a map of every address of all four tables
// with long names stays well below it).
constexpr std::size_t kMaxMapBytes = 4u * 1024 * 1024;
// The longest name or unit.
constexpr std::size_t kMaxTextLength = 200;

enum class Type : std::uint8_t { kBit, kInt16, kUInt16, kInt32, kUInt32, kFloat32, kFloat64 };

struct Entry {
  int table = 3;        // the read function of its table: modbus::FC_READ_COILS .. FC_READ_INPUT_REGISTERS
  int address = 0;      // protocol (0-based) address of the first item
  Type type = Type::kUInt16;
  wordorder::Order order = wordorder::Order::kABCD;
  std::string name;
  std::string unit;
  double scale = 1.0;   // the shown value is the raw value times scale
  bool hasValue = false;
  double value = 0.0;   // the shown (scaled) value
  int line = 0;         // where the reader found it (0 for entries made in code)
  bool operator==(const Entry& other) const;
};

struct RegisterMap {
  std::vector<Entry> entries;
};

// Registers (or bits) of a type: 1 for bit, int16, uint16; 2 for 32-bit; 4 for float64.
int ItemCount(Type type);
const char* TypeName(Type type);        // "int16", ...
const char* TableName(int table);       // "holding registers", ...; "" for another number
// The six-digit PLC form of a protocol address: "400001" for holding register 0;
// "" for another table number.
std::string PlcAddressText(int table, int address);
// The protocol (0-based) address of a map's address field for `table` (a read
// function 1..4): the PLC form ("400001", "40001") or a protocol address ("0").
// False with *why ("... is outside the holding registers") otherwise.
bool ParseAddressText(std::string_view text, int table, int* address, std::string* why);

// The next line of a CSV text from *start (moved past its LF), without its CR
// and, on line 1, without a UTF-8 byte order mark: the row splitting of maps
// and of recordings.
std::string_view NextCsvLine(std::string_view text, std::size_t* start, int line);

// Parses a whole map. False with *error "line L, column C (NAME): what" and *map
// untouched on the first fault.
bool ParseRegisterMap(const char* data, std::size_t size, RegisterMap* map, std::string* error);
// Reads and parses a file of at most kMaxMapBytes (larger files are refused unread).
bool LoadRegisterMap(const std::string& path, RegisterMap* map, std::string* error);

// The CSV text of a map: the header row and one row per entry, addresses in the
// six-digit PLC form, numbers in their shortest exact form. ParseRegisterMap reads
// it back to an equal map (lines aside).
std::string FormatRegisterMap(const RegisterMap& map);
bool SaveRegisterMap(const std::string& path, const RegisterMap& map, std::string* error);

// The raw registers of a shown value: value / scale, rounded for the integer
// types, split in the entry's order (one register for 16-bit types; a bit gives
// 0 or 1 in registers[0]). False with *why when it does not fit the type.
bool EncodeValue(const Entry& entry, double value, std::uint16_t* registers, std::string* why);
// The shown value of raw registers (ItemCount(entry.type) of them; a bit in registers[0]).
double DecodeValue(const Entry& entry, const std::uint16_t* registers);

}  // namespace regmap
