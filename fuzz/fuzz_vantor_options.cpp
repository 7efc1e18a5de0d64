// vantor --headless options: the input, cut at NUL bytes, is the argument list.
// Parsing never faults; every accepted --slave is a definition the engine can
// register, and the fault options apply to any definition without fault.
#include "fuzz/fuzz_support.h"
#include "slave/headless/headless_vantor_options.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string> args = fuzzsupport::SplitArguments(data, size);
  headless::VantorOptions options;
  std::string error;
  if (!headless::ParseVantorOptions(args, &options, &error)) {
    fuzzsupport::Require(!error.empty(), "a refused option says why");
    return 0;
  }
  for (const headless::DefinitionArgument& definition : options.definitions) {
    if (definition.isFile) continue;
    fuzzsupport::Require(vnd::DefinitionInRange(definition.document), "an accepted --slave is in range");
    (void)headless::FaultsFor(options, definition.document.slaveId);
  }
  (void)headless::FaultsFor(options, -1);
  return 0;
}
