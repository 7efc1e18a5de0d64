#pragma once
// Headless vantor's --simulate rules: matched to the definitions they name,
// started when serving starts and stepped on the engine's periodic refresh.
#include <vector>

#include "slave/headless/headless_vantor.h"
#include "slave/headless/headless_vantor_options.h"

namespace headless {

// Gives each definition read from a .vnd file the rules kept beside it
// (FILE.vnd.sim), then each --simulate option to the definition that holds its
// items (the first with its slave id and table whose addresses cover
// ADDRESS..LAST), as item indices in the definition's or the rule's format,
// seeded with --seed. Prints why and returns 1 for a rules file that does not
// fit its definition or a recording (recording:FILE) that cannot be read, 2 for
// an option no definition holds or whose range does not hold whole values of
// its format or recorded values; 0 when all are attached.
int AttachSimulations(const VantorOptions& options, std::vector<HeadlessDefinition>* definitions);

// Sets the time origin of a definition's rules to now and writes their first values.
void StartSimulation(HeadlessDefinition& definition);

// Writes the values of a definition's rules for the time since StartSimulation
// into document.valueImage (already refreshed from the engine) and the engine.
void StepSimulation(HeadlessDefinition& definition);

}  // namespace headless
