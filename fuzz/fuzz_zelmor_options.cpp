// zelmor --headless options: the input, cut at NUL bytes, is the argument list.
// Parsing never faults, and an accepted option set holds only what the run can
// use (settings in range, scan rate 0 or in range, writes encoded within the
// protocol's limits).
#include "fuzz/fuzz_support.h"
#include "master/core/poll_definition.h"
#include "master/engine/comm_interface.h"
#include "master/headless/headless.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string> args = fuzzsupport::SplitArguments(data, size);
  zelmor::HeadlessOptions options;
  std::string error;
  if (!zelmor::ParseHeadlessOptions(args, &options, &error)) {
    fuzzsupport::Require(!error.empty(), "a refused option says why");
    return 0;
  }
  for (const zelmor::HeadlessPoll& poll : options.polls) {
    // A --poll may ask for scan rate 0 (as fast as the line allows); documents keep the floor.
    zelmor::PollDocumentData document = poll.document;
    if (document.scanRate == 0) document.scanRate = zelmor::PollFieldRange(zelmor::PollField::kScanRate, 0).min;
    fuzzsupport::Require(zelmor::PollDefinitionProblem(document).empty(), "an accepted --poll is in range");
  }
  for (const zelmor::HeadlessWrite& write : options.writes) {
    fuzzsupport::Require(write.words.size() <= masterengine::kMaxWriteRegisters, "--write register count");
    fuzzsupport::Require(write.coils.size() <= masterengine::kMaxWriteCoils, "--write coil count");
    fuzzsupport::Require(write.slave >= 0 && write.slave <= modbus::MAX_UNIT_ID, "--write slave");
    fuzzsupport::Require(write.address >= 0 && write.address <= modbus::MAX_ADDRESS, "--write address");
  }
  return 0;
}
