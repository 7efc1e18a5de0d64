#include "slave/headless/headless_simulation.h"

#include <chrono>

#include "common/value_format.h"
#include "slave/engine/autochange.h"
#include "slave/headless/headless_autochange.h"

namespace headless {

namespace {

std::uint64_t NowMs() {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}

bool Holds(const vnd::VndDocument& d, const SimulateOption& s) {
  return d.slaveId == s.slaveId && d.table == s.table && s.first >= d.address &&
         s.last < d.address + std::min(d.length, autochange::IsBitTable(d.table) ? autochange::kImageBytes
                                                                                   : autochange::kImageBytes / 2);
}

}  // namespace

bool AttachSimulations(const VantorOptions& options, std::vector<HeadlessDefinition>* definitions,
                       std::string* error) {
  int index = 0;
  for (const SimulateOption& s : options.simulations) {
    HeadlessDefinition* target = nullptr;
    for (HeadlessDefinition& d : *definitions)
      if (!target && Holds(d.document, s)) target = &d;
    if (!target) {
      *error = "--simulate " + s.text + ": no definition of slave id " + std::to_string(s.slaveId) + ", table " +
               std::to_string(s.table) + " holds addresses " + std::to_string(s.first) + "-" + std::to_string(s.last);
      return false;
    }
    simulation::Rule rule = s.rule;
    if (!valuefmt::IsValidFormat(rule.format)) rule.format = target->document.displayFormat;
    if (!valuefmt::IsValidFormat(rule.format)) rule.format = valuefmt::kSigned;
    rule.first = s.first - target->document.address;
    rule.last = s.last - target->document.address;
    const int width = simulation::ItemsPerValue(s.table, rule);
    if ((rule.last - rule.first + 1) % width != 0) {
      *error = "--simulate " + s.text + ": " + std::string(valuefmt::FormatName(rule.format)) + " values take " +
               std::to_string(width) + " registers each; the range holds " +
               std::to_string(rule.last - rule.first + 1);
      return false;
    }
    simulation::Seed(&rule, options.seed, index++);
    target->simulation.push_back(rule);
  }
  return true;
}

void StartSimulation(HeadlessDefinition& definition) {
  definition.simulationOriginMs = NowMs();
  StepSimulation(definition);
}

void StepSimulation(HeadlessDefinition& definition) {
  if (definition.simulation.empty() || definition.slot < 0) return;
  const std::uint64_t now = NowMs();
  const std::uint64_t elapsed = now > definition.simulationOriginMs ? now - definition.simulationOriginMs : 0;
  simulation::Step(definition.document.table, definition.document.length, definition.simulation.data(),
                   static_cast<int>(definition.simulation.size()), elapsed, definition.document.valueImage.data(),
                   SlotSetters(&definition.slot));
}

}  // namespace headless
