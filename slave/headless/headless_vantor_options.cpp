#include "slave/headless/headless_vantor_options.h"

#include "common/modbus_protocol.h"
#include "common/value_format.h"
#include "slave/engine/identity.h"
#include "slave/engine/replay.h"
#include "slave/headless/headless_vantor.h"

namespace headless {

std::string HeadlessUsage() {
  return "Usage: vantor --headless [OPTIONS] [FILE.vnd ...]\n"
         "Serves slave definitions without a window until SIGINT or SIGTERM.\n"
         "\n"
         "Definitions (any number, registered in the order given):\n"
         "  FILE.vnd                      a saved slave definition with its values\n"
         "  --slave ID:TABLE:ADDRESS:LENGTH\n"
         "                                TABLE 1 coils, 2 discrete inputs, 3 holding registers,\n"
         "                                4 input registers; ADDRESS is the protocol (0-based) address\n"
         "  --map [ID=]FILE               a register map (CSV) for slave ID (default 1): its values go\n"
         "                                into the definitions given before it that hold them, the\n"
         "                                rest into new definitions\n"
         "  --format NAME                 display format of the --slave definitions after it (signed,\n"
         "                                float-inverse, long-badc, unsigned-long-abcd, ...; default signed)\n"
         "Link (default: Modbus/TCP on port 502 of every local address):\n"
         "  --tcp [ADDRESS:]PORT          Modbus/TCP server (port 0 picks a free port)\n"
         "  --rtu-over-tcp [ADDRESS:]PORT RTU frames with their CRC over TCP (as behind a\n"
         "                                serial-to-Ethernet gateway); address 0 gets no answer\n"
         "  --udp [ADDRESS:]PORT          Modbus/UDP server: one request per datagram\n"
         "                                ADDRESS: an IPv4 or IPv6 address, [::1] with a port\n"
         "  --ignore-unit-id              answer every unit id (TCP only)\n"
         "  --serial DEVICE               Modbus RTU slave on a serial device\n"
         "  --baud N                      9600 unless given\n"
         "  --parity N|E|O                N unless given\n"
         "  --data-bits 7|8               8 unless given\n"
         "  --stop-bits 1|2               1 unless given\n"
         "  --ascii                       Modbus ASCII framing instead of RTU\n"
         "Faults (off unless given; each value may start with ID= to apply to slave id ID only):\n"
         "  --delay MS[:MAX]              answer MS ms late, or a random delay in MS..MAX\n"
         "  --exception CODE[@FIRST-LAST] answer exception CODE (1-11) to every request, or to\n"
         "                                requests touching the protocol addresses FIRST..LAST\n"
         "  --drop PCT                    leave PCT % of the requests unanswered\n"
         "  --corrupt PCT                 spoil PCT % of the replies (serial: checksum;\n"
         "                                TCP: length field or transaction id)\n"
         "  --busy N:M                    answer exception 6 for N s at the start of every M s\n"
         "  --seed N                      seed of the random faults (default 0): the same seed\n"
         "                                gives the same faults for the same requests\n"
         "Simulated values (off unless given; repeatable, stepped on the 500 ms refresh):\n"
         "  --simulate ID:TABLE:ADDRESS[-LAST]:KIND[:FORMAT]\n"
         "                                items ADDRESS..LAST of a definition of slave id ID and table\n"
         "                                TABLE follow KIND, from when serving starts:\n"
         "                                  random:MIN:MAX          a new random value each refresh\n"
         "                                                          (repeatable with --seed)\n"
         "                                  ramp:MIN:MAX:PERIOD_MS  MIN rising to MAX, again every period\n"
         "                                  sine:CENTRE:AMPLITUDE:PERIOD_MS\n"
         "                                  toggle:PERIOD_MS        0 and 1, flipping every PERIOD_MS\n"
         "                                  recording:FILE          the words or bits a device recording\n"
         "                                                          holds for these addresses (of unit ID,\n"
         "                                                          or its only unit), at the recorded\n"
         "                                                          moments, looped; no FORMAT\n"
         "                                FORMAT (default: the definition's) as for --format; a float,\n"
         "                                long or double value takes 2 or 4 registers in its order;\n"
         "                                values are rounded and clamped to the format, bits are 1 for\n"
         "                                any value that rounds to non-zero\n"
         "Replay (off unless given):\n"
         "  --replay FILE                 play a recording (CSV, as zelmor records it) into the\n"
         "                                definitions: each read's values are served from the moment\n"
         "                                they were read on; definitions are added for the reads no\n"
         "                                definition holds; after the last row it starts again\n"
         "  --replay-speed N              play N times faster (1-1000, default 1)\n"
         "  --replay-once                 stop at the last row and keep its values\n"
         "Identity (read device identification 43/14, report slave id 17):\n"
         "  --identity ID:OBJECT=TEXT     object OBJECT of slave id ID (repeatable); OBJECT is 0-255\n"
         "                                (0x80-0xFF private) or a name: VendorName, ProductCode,\n"
         "                                MajorMinorRevision, VendorUrl, ProductName, ModelName,\n"
         "                                UserApplicationName\n"
         "Other:\n"
         "  --traffic                     print every received and sent frame on standard output\n"
         "                                (injected faults are marked \"[fault: ...]\")\n"
         "  --help                        this text\n"
         "\n"
         "A line \"vantor: serving N definitions on ...\" on standard error says it is ready.\n";
}

namespace {

using Row = cmdline::OptionRow<VantorOptions>;

// "bad --NAME value 'VALUE'" and the hint, if any.
bool Bad(const std::string& name, const std::string& value, const std::string& hint, std::string* error) {
  *error = "bad " + name + " value '" + value + "'" + (hint.empty() ? "" : " (" + hint + ")");
  return false;
}

bool SetHelp(const std::string&, const std::string&, VantorOptions* o, std::string*) {
  o->help = true;
  return true;
}

// "ID:TABLE:ADDRESS:LENGTH" into a document.
bool AddSlave(const std::string& name, const std::string& v, VantorOptions* o, std::string* error) {
  const std::vector<std::string> parts = cmdline::Split(v, ':');
  int id = 0, table = 0, address = 0, length = 0;
  if (parts.size() != 4 || !cmdline::ParseInt(parts[0], 0, modbus::MAX_UNIT_ID, &id) ||
      !cmdline::ParseInt(parts[1], 1, 4, &table) || !cmdline::ParseInt(parts[2], 0, 65535, &address) ||
      !cmdline::ParseInt(parts[3], 1, 65535, &length))
    return Bad(name, v, "expected ID:TABLE:ADDRESS:LENGTH with ID 0-255, TABLE 1-4, ADDRESS 0-65535, LENGTH from 1",
               error);
  DefinitionArgument definition;
  definition.text = v;
  definition.document.slaveId = id;
  definition.document.table = table;
  definition.document.address = address;
  definition.document.length = length;
  definition.document.displayFormat = o->format;
  o->definitions.push_back(definition);
  return true;
}

// "[ID=]FILE": a register map for slave ID (1 unless given), read when the run starts.
bool AddMap(const std::string& name, const std::string& v, VantorOptions* o, std::string* error) {
  DefinitionArgument definition;
  definition.isMap = true;
  definition.text = v;
  const std::size_t equals = v.find('=');
  if (equals != std::string::npos && cmdline::ParseInt(v.substr(0, equals), 0, modbus::MAX_UNIT_ID,
                                                       &definition.mapSlaveId))
    definition.text = v.substr(equals + 1);
  if (definition.text.empty()) return Bad(name, v, "expected [ID=]FILE", error);
  o->definitions.push_back(definition);
  return true;
}

bool SetFormat(const std::string& name, const std::string& v, VantorOptions* o, std::string* error) {
  o->format = valuefmt::FormatFromName(v);
  if (o->format >= 0) return true;
  o->format = 0;
  return Bad(name, v, "a display format such as unsigned, float-inverse or long-badc", error);
}

bool SetTcp(const std::string& name, const std::string& v, VantorOptions* o, std::string* error) {
  const std::size_t colon = v.rfind(':');
  const std::string port = colon == std::string::npos ? v : v.substr(colon + 1);
  if (colon != std::string::npos) o->tcpAddress = v.substr(0, colon);
  int number = 0;
  if (!cmdline::ParseInt(port, 0, 65535, &number)) return Bad(name, v, "expected [ADDRESS:]PORT", error);
  o->tcp = true;
  ++o->networkOptions;
  o->framing = name == "--rtu-over-tcp" ? slavetcp::Framing::kRtu
               : name == "--udp"        ? slavetcp::Framing::kUdp
                                        : slavetcp::Framing::kMbap;
  o->tcpPort = static_cast<std::uint16_t>(number);
  return true;
}

bool SetSerial(const std::string&, const std::string& v, VantorOptions* o, std::string*) {
  o->serialDevice = v;
  return true;
}

bool SetBaud(const std::string& name, const std::string& v, VantorOptions* o, std::string* error) {
  o->serialOptions = true;
  return cmdline::ParseBaud(v, &o->baud) || Bad(name, v, "", error);
}

bool SetParity(const std::string& name, const std::string& v, VantorOptions* o, std::string* error) {
  o->serialOptions = true;
  return cmdline::ParseParity(v, &o->parity) || Bad(name, v, "expected N, E or O", error);
}

bool SetDataBits(const std::string& name, const std::string& v, VantorOptions* o, std::string* error) {
  o->serialOptions = true;
  return cmdline::ParseDataBits(v, &o->dataBits) || Bad(name, v, "expected 7 or 8", error);
}

bool SetStopBits(const std::string& name, const std::string& v, VantorOptions* o, std::string* error) {
  o->serialOptions = true;
  return cmdline::ParseStopBits(v, &o->stopBits) || Bad(name, v, "expected 1 or 2", error);
}

bool SetAscii(const std::string&, const std::string&, VantorOptions* o, std::string*) {
  o->ascii = true;
  o->serialOptions = true;
  return true;
}

bool SetIgnoreUnitId(const std::string&, const std::string&, VantorOptions* o, std::string*) {
  o->ignoreUnitId = true;
  return true;
}

bool SetTraffic(const std::string&, const std::string&, VantorOptions* o, std::string*) {
  o->traffic = true;
  return true;
}

// --delay, --exception, --drop, --corrupt and --busy: VALUE or ID=VALUE, its
// value checked now, applied to the definitions once they are all known.
bool AddFault(const std::string& name, const std::string& v, VantorOptions* o, std::string* error) {
  FaultOption f;
  f.name = name;
  f.parse = name == "--delay"       ? slavefaults::ParseDelay
            : name == "--exception" ? slavefaults::ParseException
            : name == "--drop"      ? slavefaults::ParseDrop
            : name == "--corrupt"   ? slavefaults::ParseCorrupt
                                    : slavefaults::ParseBusy;
  f.value = v;
  const std::size_t equals = v.find('=');
  if (equals != std::string::npos) {
    if (!cmdline::ParseInt(v.substr(0, equals), 0, modbus::MAX_UNIT_ID, &f.id))
      return Bad(name, v, "the prefix before '=' is a slave id 0-255", error);
    f.value = v.substr(equals + 1);
  }
  slavefaults::FaultSettings scratch;
  std::string why;
  if (!f.parse(f.value, &scratch, &why)) return *error = name + ": " + why, false;
  o->faults.push_back(f);
  return true;
}

bool SetSeed(const std::string& name, const std::string& v, VantorOptions* o, std::string* error) {
  // Up to 19 digits, every one of which fits a 64-bit seed.
  return cmdline::ParseUnsigned(v, 9999999999999999999ULL, &o->seed) ||
         Bad(name, v, "expected a decimal number", error);
}

// "ID:TABLE:ADDRESS[-LAST]:KIND[:FORMAT]"; the definition it names is looked
// for once all are loaded.
bool AddSimulate(const std::string& name, const std::string& v, VantorOptions* o, std::string* error) {
  simentries::SimulationEntry entry;
  std::string why;
  if (!simentries::ParseEntry(v, &entry, &why)) return Bad(name, v, why, error);
  o->simulations.push_back(entry);
  return true;
}

bool SetReplay(const std::string& name, const std::string& v, VantorOptions* o, std::string* error) {
  if (v.empty()) return Bad(name, v, "expected a recording file", error);
  o->replayFile = v;
  return true;
}

bool SetReplaySpeed(const std::string& name, const std::string& v, VantorOptions* o, std::string* error) {
  o->replayOptions = true;
  return cmdline::ParseInt(v, replay::kMinSpeed, replay::kMaxSpeed, &o->replaySpeed) ||
         Bad(name, v, "expected " + std::to_string(replay::kMinSpeed) + "-" + std::to_string(replay::kMaxSpeed),
             error);
}

bool SetReplayOnce(const std::string&, const std::string&, VantorOptions* o, std::string*) {
  o->replayOnce = true;
  o->replayOptions = true;
  return true;
}

bool AddIdentity(const std::string& name, const std::string& v, VantorOptions* o, std::string* error) {
  identityentries::IdentityEntry entry;
  std::string why;
  if (!identityentries::ParseEntry(v, &entry, &why)) return Bad(name, v, why, error);
  if (entry.text.size() > static_cast<std::size_t>(slaveidentity::kMaxObjectLength))
    return Bad(name, v, "TEXT holds up to " + std::to_string(slaveidentity::kMaxObjectLength) + " bytes", error);
  o->identity.push_back(entry);
  return true;
}

// Anything else starting with '-' is refused; the rest (and a lone "-") are .vnd files.
bool AddFile(const std::string& arg, VantorOptions* o, std::string* error) {
  if (arg.size() > 1 && arg[0] == '-') return *error = "unknown option '" + arg + "'", false;
  DefinitionArgument definition;
  definition.isFile = true;
  definition.text = arg;
  o->definitions.push_back(definition);
  return true;
}

constexpr Row kOptions[] = {
    {"--help", false, SetHelp},
    {"-h", false, SetHelp},
    {"--slave", true, AddSlave},
    {"--map", true, AddMap},
    {"--format", true, SetFormat},
    {"--tcp", true, SetTcp},
    {"--rtu-over-tcp", true, SetTcp},
    {"--udp", true, SetTcp},
    {"--serial", true, SetSerial},
    {"--baud", true, SetBaud},
    {"--parity", true, SetParity},
    {"--data-bits", true, SetDataBits},
    {"--stop-bits", true, SetStopBits},
    {"--ascii", false, SetAscii},
    {"--ignore-unit-id", false, SetIgnoreUnitId},
    {"--traffic", false, SetTraffic},
    {"--delay", true, AddFault},
    {"--exception", true, AddFault},
    {"--drop", true, AddFault},
    {"--corrupt", true, AddFault},
    {"--busy", true, AddFault},
    {"--seed", true, SetSeed},
    {"--identity", true, AddIdentity},
    {"--simulate", true, AddSimulate},
    {"--replay", true, SetReplay},
    {"--replay-speed", true, SetReplaySpeed},
    {"--replay-once", false, SetReplayOnce},
};

// The options that only make sense together, and the definitions to serve.
bool CheckCombination(VantorOptions* o, std::string* error) {
  if (o->networkOptions > 1) return *error = "choose one of --tcp, --rtu-over-tcp and --udp", false;
  if (o->tcp && !o->serialDevice.empty()) return *error = "choose either --tcp or --serial", false;
  if (!o->serialDevice.empty() && o->ignoreUnitId) return *error = "--ignore-unit-id applies to --tcp only", false;
  if (o->serialDevice.empty() && o->serialOptions)
    return *error = "--baud, --parity, --data-bits, --stop-bits and --ascii need --serial", false;
  if (o->replayFile.empty() && o->replayOptions)
    return *error = "--replay-speed and --replay-once need --replay", false;
  if (o->serialDevice.empty()) o->tcp = true;  // Modbus/TCP on port 502 unless told otherwise
  if (o->definitions.empty() && o->replayFile.empty())
    return *error = "no slave definitions (give .vnd files or --slave ID:TABLE:ADDRESS:LENGTH)", false;
  return true;
}

}  // namespace

bool ParseVantorOptions(const std::vector<std::string>& args, VantorOptions* o, std::string* error) {
  if (!cmdline::WalkOptions(args, kOptions, "option ", AddFile, o, error)) return false;
  return o->help || CheckCombination(o, error);
}

slavefaults::FaultSettings FaultsFor(const VantorOptions& o, int slaveId) {
  slavefaults::FaultSettings settings;
  std::string ignored;
  for (const FaultOption& f : o.faults)
    if (f.id < 0 || f.id == slaveId) f.parse(f.value, &settings, &ignored);
  return settings;
}

}  // namespace headless
