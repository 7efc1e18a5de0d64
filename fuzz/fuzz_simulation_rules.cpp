// vantor's simulation rules beside a definition (FILE.vnd.sim): any text parses
// without fault; a parsed file written again parses to the same rules; every
// rule, put into a definition that holds its range, steps its values into the
// definition's image without writing outside the rule's items. Input: two bytes
// of elapsed time (seconds), then the file's text.
#include <cmath>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "slave/core/simulation_entries.h"
#include "slave/engine/autochange.h"

namespace {

struct Written {
  int first = 0;
  int last = 0;
  bool outside = false;
};

void Note(void* context, int index) {
  auto* w = static_cast<Written*>(context);
  if (index < w->first || index > w->last) w->outside = true;
}

// The definition of slave, table and address range of the entry; false when
// no definition can hold it (more items than a definition's image).
bool DefinitionFor(const simentries::SimulationEntry& e, vnd::VndDocument* d) {
  const int items = autochange::IsBitTable(e.table) ? autochange::kImageBytes : autochange::kImageBytes / 2;
  if (e.last - e.first + 1 > items) return false;
  d->slaveId = e.slaveId;
  d->table = e.table;
  d->address = e.first;
  d->length = e.last - e.first + 1;
  return true;
}

void StepRule(const simentries::SimulationEntry& e, std::uint64_t elapsedMs) {
  static vnd::VndDocument definition;  // 20 KB: kept off the stack
  definition = vnd::VndDocument{};
  if (!DefinitionFor(e, &definition)) return;
  fuzzsupport::Require(simentries::Holds(definition, e), "a definition of the rule's range holds it");
  simulation::Rule rule;
  std::string error;
  if (!simentries::RuleFor(e, definition, &rule, &error)) {
    fuzzsupport::Require(!error.empty(), "a refused rule says why");
    return;
  }
  fuzzsupport::Require(rule.first == 0 && rule.last == definition.length - 1, "the rule covers its items");
  simulation::Seed(&rule, elapsedMs, 0);
  Written written{rule.first, rule.last};
  autochange::Setters setters;
  setters.context = &written;
  setters.setCoil = [](void* c, int index, std::uint8_t) { Note(c, index); };
  setters.setRegister = [](void* c, int index, std::uint16_t) { Note(c, index); };
  std::vector<std::uint8_t> image(autochange::kImageBytes);  // exact heap size: a write past it is caught
  for (int pass = 0; pass < 2; ++pass)
    simulation::Step(definition.table, definition.length, &rule, 1, elapsedMs + pass * 1000u, image.data(), setters);
  fuzzsupport::Require(!written.outside, "a rule writes only its own items");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzsupport::InputReader in(data, size);
  const std::uint64_t elapsedMs = std::uint64_t{in.word()} * 1000;
  const fuzzsupport::Bytes rest = in.rest();
  const std::string_view text(reinterpret_cast<const char*>(rest.data()), rest.size());
  std::vector<simentries::SimulationEntry> entries;
  std::string error;
  if (!simentries::ParseSidecar(text, &entries, &error)) {
    fuzzsupport::Require(error.rfind("line ", 0) == 0, "a refused file names the line");
    return 0;
  }
  std::vector<simentries::SimulationEntry> again;
  fuzzsupport::Require(simentries::ParseSidecar(simentries::FormatSidecar(entries), &again, &error),
                       "written rules parse");
  fuzzsupport::Require(again.size() == entries.size(), "written rules keep their count");
  for (std::size_t i = 0; i < entries.size(); ++i) {
    fuzzsupport::Require(again[i].text == entries[i].text && again[i].first == entries[i].first &&
                             again[i].last == entries[i].last && again[i].rule.kind == entries[i].rule.kind,
                         "written rules keep their meaning");
    StepRule(entries[i], elapsedMs);
  }
  return 0;
}
