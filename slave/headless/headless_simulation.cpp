#include "slave/headless/headless_simulation.h"

#include <chrono>
#include <cstdio>

#include "common/options.h"
#include "slave/core/simulation_entries.h"
#include "slave/engine/autochange.h"
#include "slave/headless/headless_autochange.h"

namespace headless {

namespace {

std::uint64_t NowMs() {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}

// One rule into the definition, seeded as the index-th rule of the run.
bool Attach(const simentries::SimulationEntry& entry, std::uint64_t seed, int index, HeadlessDefinition* d,
            std::string* error) {
  simulation::Rule rule;
  if (!simentries::RuleFor(entry, d->document, &rule, error)) return false;
  simulation::Seed(&rule, seed, index);
  d->simulation.push_back(rule);
  return true;
}

// The rules kept beside a .vnd file; each must name that file's definition.
bool AttachSidecar(std::uint64_t seed, int* index, HeadlessDefinition* d, std::string* error) {
  const std::string path = simentries::SidecarPath(d->source);
  std::vector<simentries::SimulationEntry> entries;
  std::string why;
  if (!simentries::LoadSidecar(path, &entries, &why)) return *error = path + ": " + why, false;
  for (const simentries::SimulationEntry& e : entries) {
    if (!simentries::Holds(d->document, e)) why = "the definition does not hold " + e.text;
    if (!simentries::Holds(d->document, e) || !Attach(e, seed, (*index)++, d, &why))
      return *error = path + ": " + why, false;
  }
  return true;
}

}  // namespace

int AttachSimulations(const VantorOptions& options, std::vector<HeadlessDefinition>* definitions) {
  int index = 0;
  std::string error;
  for (HeadlessDefinition& d : *definitions) {
    if (d.fromFile && !AttachSidecar(options.seed, &index, &d, &error)) {
      std::fprintf(stderr, "vantor: %s\n", error.c_str());
      return cmdline::kExitFailed;
    }
  }
  std::vector<simentries::SimulationEntry> simulations = options.simulations;
  if (!simentries::LoadRecordings(&simulations, std::string(), &error)) {
    std::fprintf(stderr, "vantor: --simulate: %s\n", error.c_str());
    return cmdline::kExitFailed;
  }
  for (const simentries::SimulationEntry& s : simulations) {
    HeadlessDefinition* target = nullptr;
    for (HeadlessDefinition& d : *definitions)
      if (!target && simentries::Holds(d.document, s)) target = &d;
    std::string why;
    if (!target)
      why = "no definition of slave id " + std::to_string(s.slaveId) + ", table " + std::to_string(s.table) +
            " holds addresses " + std::to_string(s.first) + "-" + std::to_string(s.last);
    if (!target || !Attach(s, options.seed, index++, target, &why)) {
      std::fprintf(stderr, "vantor: --simulate %s: %s\nTry 'vantor --headless --help'.\n", s.text.c_str(),
                   why.c_str());
      return cmdline::kExitBadOption;
    }
  }
  return cmdline::kExitOk;
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
