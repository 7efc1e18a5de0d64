#pragma once
// vantor --headless: the arguments into a VantorOptions. Nothing here opens a
// file or a link; a refused option stops the run before anything starts.
#include <cstdint>
#include <string>
#include <vector>

#include "common/options.h"
#include "slave/core/identity_entries.h"
#include "slave/core/vnd_file.h"
#include "slave/engine/faults.h"
#include "slave/core/simulation_entries.h"
#include "slave/engine/tcp_server.h"

namespace headless {

// One definition source in command-line order: a .vnd path, or a --slave value
// already turned into a document (default display settings, no flags).
struct DefinitionArgument {
  bool isFile = false;
  bool isMap = false;  // --map [ID=]FILE: text is the file, mapSlaveId the slave id
  int mapSlaveId = 1;
  std::string text;
  vnd::VndDocument document;  // for --slave
};

// One fault option in command-line order: it sets its part of the faults of
// every definition, or of those with slave id `id` only.
struct FaultOption {
  int id = -1;  // -1: every definition
  std::string name;
  std::string value;
  bool (*parse)(const std::string&, slavefaults::FaultSettings*, std::string*) = nullptr;
};

struct VantorOptions {
  std::vector<DefinitionArgument> definitions;
  std::vector<FaultOption> faults;
  std::vector<simentries::SimulationEntry> simulations;  // --simulate, in order
  std::vector<identityentries::IdentityEntry> identity;  // --identity, in order
  std::uint64_t seed = 0;
  std::string replayFile;  // --replay: a recording whose values are played into the definitions
  int replaySpeed = 1;     // --replay-speed
  bool replayOnce = false; // --replay-once: stop at the last sample instead of starting again
  bool replayOptions = false;  // a --replay-speed or --replay-once was given
  bool tcp = false;  // a network server: Modbus/TCP, RTU over TCP or Modbus/UDP
  slavetcp::Framing framing = slavetcp::Framing::kMbap;
  int networkOptions = 0;  // how many of --tcp, --rtu-over-tcp, --udp were given
  std::string tcpAddress;
  std::uint16_t tcpPort = slavetcp::kDefaultPort;
  std::string serialDevice;
  std::uint32_t baud = 9600;
  int parity = cmdline::kParityNone;
  int dataBits = 8;
  int stopBits = cmdline::kStopBitsOne;  // as the serial link takes it
  bool ascii = false;
  bool ignoreUnitId = false;
  bool traffic = false;
  bool help = false;
  bool serialOptions = false;
  int format = 0;  // --format: the display format of the --slave definitions after it  // a --baud, --parity, --data-bits, --stop-bits or --ascii was given
};

// Parses the arguments after the program name (a "--headless" among them is
// skipped); false with *error set for the first bad one.
bool ParseVantorOptions(const std::vector<std::string>& args, VantorOptions* options, std::string* error);

// The faults of one definition: every option that names no id or its id, in order.
slavefaults::FaultSettings FaultsFor(const VantorOptions& options, int slaveId);

}  // namespace headless
