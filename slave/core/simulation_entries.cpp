#include "slave/core/simulation_entries.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "common/modbus_protocol.h"
#include "common/options.h"
#include "common/value_format.h"
#include "slave/engine/autochange.h"

namespace simentries {

bool ParseEntry(const std::string& text, SimulationEntry* out, std::string* why) {
  const std::vector<std::string> parts = cmdline::Split(text, ':');
  SimulationEntry e;
  e.text = text;
  e.rule.format = -1;
  if (parts.size() < 4 || !cmdline::ParseInt(parts[0], 0, modbus::MAX_UNIT_ID, &e.slaveId) ||
      !cmdline::ParseInt(parts[1], 1, 4, &e.table))
    return *why = "expected ID:TABLE:ADDRESS[-LAST]:KIND[:FORMAT] with ID 0-255, TABLE 1-4", false;
  const std::vector<std::string> range = cmdline::Split(parts[2], '-');
  if (range.size() > 2 || !cmdline::ParseInt(range[0], 0, 65535, &e.first) ||
      !cmdline::ParseInt(range.back(), e.first, 65535, &e.last))
    return *why = "ADDRESS[-LAST] is 0-65535 with LAST from ADDRESS", false;
  if (parts[3] == "recording") {
    // The path is all that follows, colons included; recorded words need no format.
    if (parts.size() < 5) return *why = "expected recording:FILE", false;
    std::size_t at = 0;
    for (int colon = 0; colon < 4; ++colon) at = text.find(':', at) + 1;
    e.recordingPath = text.substr(at);
    e.rule.kind = simulation::Kind::kRecording;
    if (e.recordingPath.empty()) return *why = "expected recording:FILE", false;
    *out = e;
    return true;
  }
  const int format = valuefmt::FormatFromName(parts.back());
  if (format >= 0) e.rule.format = format;
  const int kindCount = static_cast<int>(parts.size()) - 3 - (format >= 0 ? 1 : 0);
  if (!simulation::ParseKind(parts.data() + 3, kindCount, &e.rule, why)) return false;
  *out = e;
  return true;
}

bool LoadRecordings(std::vector<SimulationEntry>* entries, const std::string& baseDir, std::string* error) {
  std::map<std::string, std::shared_ptr<const recording::Recording>> read;
  for (SimulationEntry& e : *entries) {
    if (e.rule.kind != simulation::Kind::kRecording || e.recorded) continue;
    std::filesystem::path path(e.recordingPath);
    if (path.is_relative() && !baseDir.empty()) path = std::filesystem::path(baseDir) / path;
    std::shared_ptr<const recording::Recording>& r = read[path.string()];
    if (!r) {
      auto loaded = std::make_shared<recording::Recording>();
      std::string why;
      if (!recording::LoadRecording(path.string(), loaded.get(), &why)) return *error = path.string() + ": " + why, false;
      r = std::move(loaded);
    }
    e.recorded = r;
  }
  return true;
}

bool Holds(const vnd::VndDocument& d, const SimulationEntry& e) {
  const int items = std::min(d.length, autochange::IsBitTable(d.table) ? autochange::kImageBytes
                                                                        : autochange::kImageBytes / 2);
  return d.slaveId == e.slaveId && d.table == e.table && e.first >= d.address && e.last < d.address + items;
}

bool RuleFor(const SimulationEntry& e, const vnd::VndDocument& d, simulation::Rule* rule, std::string* error) {
  *rule = e.rule;
  if (!valuefmt::IsValidFormat(rule->format)) rule->format = d.displayFormat;
  if (!valuefmt::IsValidFormat(rule->format)) rule->format = valuefmt::kSigned;
  rule->first = e.first - d.address;
  rule->last = e.last - d.address;
  if (rule->kind == simulation::Kind::kRecording) {
    if (!e.recorded) return *error = "the recording " + e.recordingPath + " is not read", false;
    auto track = std::make_shared<simulation::Track>();
    if (!simulation::BuildTrack(*e.recorded, e.slaveId, e.table, e.first, e.last - e.first + 1, track.get(), error))
      return false;
    rule->track = std::move(track);
    return true;
  }
  const int width = simulation::ItemsPerValue(e.table, *rule);
  if ((rule->last - rule->first + 1) % width == 0) return true;
  *error = std::string(valuefmt::FormatName(rule->format)) + " values take " + std::to_string(width) +
           " registers each; the range holds " + std::to_string(rule->last - rule->first + 1);
  return false;
}

std::string SidecarPath(const std::string& vndPath) { return vndPath + ".sim"; }

bool ParseSidecar(std::string_view text, std::vector<SimulationEntry>* entries, std::string* error) {
  entries->clear();
  std::string why;
  int number = 0;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    std::string line(text.substr(start, end - start));
    start = end + 1;
    ++number;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    SimulationEntry e;
    if (!ParseEntry(line, &e, &why)) return *error = "line " + std::to_string(number) + ": " + why, false;
    entries->push_back(e);
  }
  return true;
}

std::string FormatSidecar(const std::vector<SimulationEntry>& entries) {
  std::string text = "# vantor simulation rules: ID:TABLE:ADDRESS[-LAST]:KIND[:FORMAT], as --simulate takes them\n";
  for (const SimulationEntry& e : entries) text += e.text + '\n';
  return text;
}

bool LoadSidecar(const std::string& path, std::vector<SimulationEntry>* entries, std::string* error) {
  entries->clear();
  std::error_code ignored;
  if (!std::filesystem::exists(path, ignored)) return true;
  if (!std::filesystem::is_regular_file(path, ignored)) return *error = "not a file", false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return *error = std::string("cannot open: ") + std::strerror(errno), false;
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return ParseSidecar(text, entries, error) &&
         LoadRecordings(entries, std::filesystem::path(path).parent_path().string(), error);
}

bool SaveSidecar(const std::string& path, const std::vector<SimulationEntry>& entries, std::string* error) {
  if (entries.empty()) {
    if (std::remove(path.c_str()) == 0 || errno == ENOENT) return true;
    return *error = std::strerror(errno), false;
  }
  std::ofstream out(path, std::ios::trunc);
  out << FormatSidecar(entries);
  out.close();
  if (!out) return *error = std::strerror(errno), false;
  return true;
}

}  // namespace simentries
