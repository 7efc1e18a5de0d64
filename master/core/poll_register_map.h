#pragma once
// A poll window's register map: the names of its cells and its current values
// as a map. Qt-free; the view and the export use it.
#include <cstdint>
#include <string>
#include <vector>

#include "common/register_map.h"

namespace zelmor {

// The entry of a poll (function 1..4 at `address`) that holds item `index`; nullptr if none.
const regmap::Entry* EntryOfItem(const regmap::RegisterMap& map, int function, int address, int index);
// "Name [unit]" (or "Name") of the entry that starts at item `index`; "" elsewhere.
std::string ItemNameText(const regmap::RegisterMap& map, int function, int address, int index);

// The registers as the device sent them, from a poll's value image (16-bit
// words, low byte first; 32/64-bit values in native order): `length` words.
void RawRegisters(const std::uint8_t* values, int displayFormat, int length, std::uint16_t* out);

// A poll's current values as a map: the map's entries inside the poll with the
// values their type and order give, and for every other value of the display
// format an unnamed entry (bits for functions 1 and 2).
regmap::RegisterMap PollValuesAsMap(const regmap::RegisterMap& map, int function, int address, int length,
                                    int displayFormat, const std::uint8_t* values);

// Adds the entries of `more` that share no register or bit with an entry of
// `into` (the first window's entry wins), so that the maps of several windows
// of one device make one map.
void MergeRegisterMap(regmap::RegisterMap* into, const regmap::RegisterMap& more);

// One poll's share of a device's map: its unit, its map (nullptr or empty:
// none) and what PollValuesAsMap needs for its current values.
struct PollMapPart {
  int unit = 1;
  const regmap::RegisterMap* map = nullptr;
  int function = 3;
  int address = 0;
  int length = 0;
  int displayFormat = 0;
  const std::uint8_t* values = nullptr;
};

// Writes the current values of the polls with a map, merged into one map per
// unit: to `path` when one unit has a map, else to `path` with ".unit<N>"
// before its extension for each. Adds the paths written to *written; false with
// *error ("path: why") naming the first that failed. Nothing to write is true.
bool SaveDeviceMaps(const std::string& path, const std::vector<PollMapPart>& parts, std::vector<std::string>* written,
                    std::string* error);

}  // namespace zelmor
