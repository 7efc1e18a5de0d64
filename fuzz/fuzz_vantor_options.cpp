// vantor --headless options: the input, cut at NUL bytes, is the argument list.
// Parsing never faults; every accepted --slave is a definition the engine can
// register, and the fault options apply to any definition without fault.
// Every definition argument carries a whole slave definition (20 KB), so the
// options live across inputs: reset to their defaults, the list of definitions
// keeps its storage and the parser's appends copy into memory already in use.
#include "fuzz/fuzz_support.h"
#include "slave/headless/headless_vantor_options.h"

namespace {

void ResetKeepingStorage(headless::VantorOptions* options) {
  std::vector<headless::DefinitionArgument> definitions = std::move(options->definitions);
  definitions.clear();
  *options = headless::VantorOptions{};
  options->definitions = std::move(definitions);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static headless::VantorOptions options;
  ResetKeepingStorage(&options);
  const std::vector<std::string> args = fuzzsupport::SplitArguments(data, size);
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
