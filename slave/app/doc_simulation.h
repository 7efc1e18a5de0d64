#pragma once
// The simulation rules of one open slave definition: the rule texts as kept in
// FILE.vnd.sim, the rules they make for the current definition, and their time
// origin. The document steps them after the auto changes on every periodic
// refresh.
#include <cstdint>
#include <string>
#include <vector>

#include "slave/core/simulation_entries.h"
#include "slave/core/vnd_file.h"

class DocSimulation {
 public:
  const std::vector<simentries::SimulationEntry>& entries() const { return entries_; }
  bool empty() const { return entries_.empty(); }

  // New rule texts, one a line; false with *error ("line N: ...") and nothing
  // changed when a line is not a rule or the definition does not hold it, or
  // ("FILE: ...") when a recording a rule names cannot be read. Relative
  // recording paths start at the folder of the file last loaded.
  bool setText(const std::string& text, const vnd::VndDocument& definition, std::string* error);
  // The rule texts, one a line.
  std::string text() const;

  // Reads the rules kept beside a .vnd file (none when there is no such file)
  // and the recordings they name; false with *error when the file is there but
  // not readable as rules, or a recording cannot be read.
  bool load(const std::string& vndPath, const vnd::VndDocument& definition, std::string* error);
  // Writes them beside the .vnd file (no rules: removes that file).
  bool save(const std::string& vndPath, std::string* error) const;
  // True when the rules beside the file were refused on load: saving then
  // leaves that file alone until the rules are set again.
  bool keepFile() const { return keepFile_; }

  // The rules for a changed definition or display format; entries it no longer
  // holds stay in the texts but do not run.
  void rebuild(const vnd::VndDocument& definition);
  // Writes the rules' values for the time since the rules were set.
  void step(const vnd::VndDocument& definition, std::uint8_t* image, const autochange::Setters& setters);
  // True when element `index` of the definition is moved by a rule.
  bool covers(int index) const;

 private:
  std::vector<simentries::SimulationEntry> entries_;
  std::vector<simulation::Rule> rules_;
  std::uint64_t originMs_ = 0;
  bool keepFile_ = false;
  std::string baseDir_;  // where relative recording paths start
};
