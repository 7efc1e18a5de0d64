#pragma once
// Headless vantor's --simulate rules: matched to the definitions they name,
// started when serving starts and stepped on the engine's periodic refresh.
#include <vector>

#include "slave/headless/headless_vantor.h"
#include "slave/headless/headless_vantor_options.h"

namespace headless {

// Gives each --simulate option to the definition that holds its items (the first
// with its slave id and table whose addresses cover ADDRESS..LAST), as item
// indices in the definition's or the option's format, seeded with --seed. False
// with *error for an option no definition holds or whose range does not hold
// whole values of its format.
bool AttachSimulations(const VantorOptions& options, std::vector<HeadlessDefinition>* definitions,
                       std::string* error);

// Sets the time origin of a definition's rules to now and writes their first values.
void StartSimulation(HeadlessDefinition& definition);

// Writes the values of a definition's rules for the time since StartSimulation
// into document.valueImage (already refreshed from the engine) and the engine.
void StepSimulation(HeadlessDefinition& definition);

}  // namespace headless
