#pragma once
// Simulation rules as text: the "ID:TABLE:ADDRESS[-LAST]:KIND[:FORMAT]" value of
// vantor's --simulate option, and the file beside a definition that keeps its
// rules ("pump.vnd" -> "pump.vnd.sim": one such value a line, '#' starts a
// comment line). The .vnd file itself never holds them, so older versions of
// the programs open it as before. KIND "recording:FILE" takes the rest of the
// text as the recording's path (a relative one from the rules file's folder, or
// from the working directory for --simulate); parsing never reads the file:
// LoadRecordings does. Qt-free.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "slave/core/vnd_file.h"
#include "slave/engine/simulation.h"

namespace simentries {

// One rule as given: protocol addresses first..last of table `table` of slave
// id `slaveId`; rule.format -1 takes the definition's display format.
struct SimulationEntry {
  std::string text;
  int slaveId = 0;
  int table = 0;
  int first = 0;
  int last = 0;
  simulation::Rule rule;
  std::string recordingPath;                               // recording:FILE, as written
  std::shared_ptr<const recording::Recording> recorded;    // set by LoadRecordings
};

// The text of an entry into *out; false with *why saying what is expected.
bool ParseEntry(const std::string& text, SimulationEntry* out, std::string* why);

// Reads the recording of every recording rule that has none yet, each file once;
// relative paths start at `baseDir` (empty: the working directory). False with
// *error "FILE: why" at the first that cannot be read.
bool LoadRecordings(std::vector<SimulationEntry>* entries, const std::string& baseDir, std::string* error);

// True when the definition holds the entry's items (same slave id and table,
// addresses inside its range).
bool Holds(const vnd::VndDocument& definition, const SimulationEntry& entry);

// The entry as a rule of `definition` (item indices, format resolved); false
// with *error when the range does not hold whole values of the format, or for a
// recording rule, when its recording is not read or holds no reads of the range.
// The caller has checked Holds.
bool RuleFor(const SimulationEntry& entry, const vnd::VndDocument& definition, simulation::Rule* rule,
             std::string* error);

// "FILE.vnd" -> "FILE.vnd.sim".
std::string SidecarPath(const std::string& vndPath);
// Reads the rules kept beside a definition and the recordings they name; a
// missing file is no rules. False with *error for a file that cannot be opened,
// ("line N: ...") a line that is not a rule, or a recording that cannot be read.
bool LoadSidecar(const std::string& path, std::vector<SimulationEntry>* entries, std::string* error);
// Writes the rules (their texts) beside a definition; no rules removes the file.
bool SaveSidecar(const std::string& path, const std::vector<SimulationEntry>& entries, std::string* error);

// The text of such a file, as LoadSidecar and SaveSidecar read and write it.
bool ParseSidecar(std::string_view text, std::vector<SimulationEntry>* entries, std::string* error);
std::string FormatSidecar(const std::vector<SimulationEntry>& entries);

}  // namespace simentries
