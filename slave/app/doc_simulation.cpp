#include "slave/app/doc_simulation.h"

#include <chrono>
#include <filesystem>
#include <sstream>


namespace {

std::uint64_t NowMs() {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}

// The rules of entries that fit the definition; false with *error at the first that does not.
bool RulesFor(const std::vector<simentries::SimulationEntry>& entries, const vnd::VndDocument& d,
              std::vector<simulation::Rule>* rules, std::string* error) {
  rules->clear();
  for (std::size_t k = 0; k < entries.size(); ++k) {
    simulation::Rule rule;
    std::string why = "the definition does not hold " + entries[k].text;
    if (!simentries::Holds(d, entries[k]) || !simentries::RuleFor(entries[k], d, &rule, &why)) {
      if (!error) continue;
      *error = "line " + std::to_string(k + 1) + ": " + why;
      return false;
    }
    simulation::Seed(&rule, 0, static_cast<int>(k));
    rules->push_back(rule);
  }
  return true;
}

}  // namespace

bool DocSimulation::setText(const std::string& text, const vnd::VndDocument& definition, std::string* error) {
  std::vector<simentries::SimulationEntry> entries;
  std::istringstream in(text);
  std::string line, why;
  for (int number = 1; std::getline(in, line); ++number) {
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r' || line.back() == '\t')) line.pop_back();
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.erase(0, 1);
    if (line.empty() || line[0] == '#') continue;
    simentries::SimulationEntry e;
    if (!simentries::ParseEntry(line, &e, &why)) return *error = "line " + std::to_string(number) + ": " + why, false;
    entries.push_back(e);
  }
  if (!simentries::LoadRecordings(&entries, baseDir_, error)) return false;
  std::vector<simulation::Rule> rules;
  if (!RulesFor(entries, definition, &rules, error)) return false;
  entries_ = entries;
  rules_ = rules;
  originMs_ = NowMs();
  keepFile_ = false;
  return true;
}

std::string DocSimulation::text() const {
  std::string out;
  for (const simentries::SimulationEntry& e : entries_) out += e.text + "\n";
  return out;
}

bool DocSimulation::load(const std::string& vndPath, const vnd::VndDocument& definition, std::string* error) {
  std::vector<simentries::SimulationEntry> entries;
  baseDir_ = std::filesystem::path(vndPath).parent_path().string();
  if (!simentries::LoadSidecar(simentries::SidecarPath(vndPath), &entries, error)) {
    keepFile_ = true;
    return false;
  }
  entries_ = entries;
  keepFile_ = false;
  rebuild(definition);
  originMs_ = NowMs();
  return true;
}

bool DocSimulation::save(const std::string& vndPath, std::string* error) const {
  if (keepFile_) return true;
  return simentries::SaveSidecar(simentries::SidecarPath(vndPath), entries_, error);
}

void DocSimulation::rebuild(const vnd::VndDocument& definition) { RulesFor(entries_, definition, &rules_, nullptr); }

void DocSimulation::step(const vnd::VndDocument& definition, std::uint8_t* image,
                         const autochange::Setters& setters) {
  if (rules_.empty()) return;
  const std::uint64_t now = NowMs();
  simulation::Step(definition.table, definition.length, rules_.data(), static_cast<int>(rules_.size()),
                   now > originMs_ ? now - originMs_ : 0, image, setters);
}

bool DocSimulation::covers(int index) const {
  for (const simulation::Rule& r : rules_)
    if (index >= r.first && index <= r.last) return true;
  return false;
}
