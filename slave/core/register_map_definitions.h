#pragma once
// Register maps and vantor's slave definitions: a map's entries become values of
// the definitions that cover them, or new definitions; definitions become a map
// again. Qt-free, shared by the window and --headless --map.
#include <string>
#include <vector>

#include "common/register_map.h"
#include "slave/core/vnd_file.h"

namespace vantormap {

// Puts the values of the map's entries into the definitions of slave `slaveId`
// that hold all their registers (or bits), and appends new definitions for the
// others: one per table and run of entries that fits a definition (4096 bits,
// 2048 registers), displayed in the format of its entries when they share one.
// Each definition keeps its entries (names, units, scales) in mapEntries.
// All or nothing: false with *error and the definitions unchanged when a value
// does not fit or the slave id is not 0..255.
bool ApplyRegisterMap(const regmap::RegisterMap& map, int slaveId, std::vector<vnd::VndDocument>* definitions,
                      std::string* error);

// The map of definitions: a definition's own entries with its current values,
// or, for one without entries, one unnamed entry per value of its display format.
regmap::RegisterMap ExportRegisterMap(const std::vector<vnd::VndDocument>& definitions);

}  // namespace vantormap
