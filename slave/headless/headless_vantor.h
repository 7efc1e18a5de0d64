#pragma once
// vantor without a window: serves slave definitions (from .vnd files and the
// command line) over Modbus/TCP or a serial device until SIGINT or SIGTERM.
#include <cstdint>
#include <string>
#include <vector>

#include "slave/core/vnd_file.h"
#include "slave/engine/simulation.h"

namespace headless {

// One served definition. A definition given on the command line carries a
// document built from its four numbers (default display settings, no flags).
struct HeadlessDefinition {
  int slot = -1;
  std::string source;  // the .vnd path, or the --slave argument
  bool fromFile = false;
  vnd::VndDocument document;
  std::vector<simulation::Rule> simulation;  // --simulate rules, item indices of this definition
  std::uint64_t simulationOriginMs = 0;      // steady clock when serving started
};

// Called on the main thread for a definition whenever the engine's 500 ms
// periodic notification reaches its slot; it may call the engine's setters and
// keep document.valueImage in step (auto-change rules plug in here).
using RefreshHandler = void (*)(HeadlessDefinition& definition);
void SetRefreshHandler(RefreshHandler handler);

// The whole program: parses argv (a "--headless" among them is skipped), serves,
// returns the exit status (0 after a signal, 2 for a bad option, 1 for other errors).
int RunHeadlessVantor(int argc, char** argv);

std::string HeadlessUsage();

}  // namespace headless

// The entry point the GUI's main calls when "--headless" is given.
inline int RunHeadlessVantor(int argc, char** argv) { return headless::RunHeadlessVantor(argc, argv); }
