// zelmor --headless: the arguments into a HeadlessOptions. Nothing here opens,
// sends or prints; a refused option stops the run before anything starts.
#include <cstdint>
#include <string>
#include <vector>

#include "common/baud_table.h"
#include "common/device_objects.h"
#include "common/host_text.h"
#include "common/modbus_protocol.h"
#include "common/options.h"
#include "common/value_format.h"
#include "master/core/poll_definition.h"
#include "master/core/poll_results.h"
#include "master/core/write_values.h"
#include "master/headless/headless.h"

namespace zelmor {

const char* HeadlessUsage() {
  return "Usage: zelmor --headless [options] [FILE.zmw | FILE.zmd ...]\n"
         "Polls without a window and prints one data-log line per completed poll.\n"
         "\n"
         "Link (a workspace gives its own unless a network option or --serial is given):\n"
         "  --tcp HOST:PORT             Modbus/TCP server: host name, IPv4 address or [IPv6 address]\n"
         "  --rtu-over-tcp HOST:PORT    RTU frames with their CRC over TCP (a serial-to-Ethernet gateway)\n"
         "  --udp HOST:PORT             Modbus/UDP server (one request per datagram)\n"
         "  --serial DEVICE             serial device, e.g. /dev/ttyUSB0\n"
         "  --baud N                    300 600 1200 2400 4800 9600 14400 19200 38400 56000 57600 115200\n"
         "  --parity none|odd|even      (default even)\n"
         "  --data-bits 7|8             (default 8)\n"
         "  --stop-bits 1|2             (default 1)\n"
         "  --ascii                     Modbus ASCII framing instead of RTU\n"
         "  --timeout MS                response time-out, 50..100000 (default 1000)\n"
         "  --delay-between-polls MS    pause between transactions, 0..1000 (default 10)\n"
         "Polls:\n"
         "  --poll SLAVE:FUNCTION:ADDRESS:LENGTH[:SCANRATE]\n"
         "                              function 1..4, protocol address 0..65535, scan rate in ms\n"
         "                              (default 1000); may be repeated; labels use PLC addresses\n"
         "                              scan rate 0: as fast as the line allows\n"
         "  FILE.zmd                    a poll document; FILE.zmw a workspace (link and documents)\n"
         "Writes (before any poll; values in --format, unsigned when not given):\n"
         "  --write SLAVE:FUNCTION:ADDRESS:VALUE[,VALUE...]\n"
         "                              5 one coil (0/1), 15 coils (0/1 each, up to 1968),\n"
         "                              6 one register, 16 registers (up to 123),\n"
         "                              22 AND,OR masks, 23 registers (up to 121) with --read;\n"
         "                              protocol address 0..65535; may be repeated\n"
         "  --read ADDRESS:COUNT        registers read back by every 23 write (count 1..125)\n"
         "Identification (after the writes, before any poll):\n"
         "  --identify SLAVE            read the device identification (43/14) of SLAVE 1..255,\n"
         "                              following \"more follows\", and print one object a line\n"
         "  --identify-code basic|regular|extended\n"
         "                              the objects asked for (default extended)\n"
         "Output:\n"
         "  --format NAME               signed unsigned hex binary float float-inverse double\n"
         "                              double-inverse long long-inverse (default: each document's)\n"
         "                              other orders: float-badc float-dcba double-badc double-dcba\n"
         "                              long-badc long-dcba unsigned-long-abcd unsigned-long-cdab\n"
         "                              unsigned-long-badc unsigned-long-dcba (float-abcd is float-inverse,\n"
         "                              float-cdab is float; the same for double and long)\n"
         "  --delimiter comma|tab|fixed (default comma)\n"
         "  --count N                   stop after N completed polls of every document\n"
         "  --timing                    end each line with the poll's response times since the start:\n"
         "                              last, min, mean and max in ms (replies only, time-outs left out)\n"
         "  --record FILE               also write a recording of the device (docs/recording.md):\n"
         "                              one row per successful read with the raw registers or bits,\n"
         "                              for vantor to replay; an existing FILE is replaced\n"
         "  --export-map FILE           at the end, write the register maps of the documents that\n"
         "                              have one, with the last values read, merged per unit\n"
         "                              (FILE with .unitN before its extension for several units)\n"
         "  --help                      this text\n"
         "Scan (find devices instead of polling; one line per device found):\n"
         "  --scan                      probe every slave id on the --tcp or --serial link\n"
         "  --scan-ids FIRST-LAST       slave ids (default 1-247; over TCP 0..255 allowed)\n"
         "  --scan-bauds N[,N...]       baud rates to try (default the --baud)\n"
         "  --scan-parities P[,P...]    none, odd, even (default the --parity)\n"
         "  --scan-framing rtu|ascii|both  (default the --ascii choice)\n"
         "  --scan-probe register[:ADDRESS]\n"
         "                              read 1 holding register (default, address 0)\n"
         "  --scan-probe identify|report-slave-id\n"
         "                              read the basic device identification (43/14) or report\n"
         "                              slave id (17); the line shows the strings the device sent\n"
         "  --scan-timeout MS           time-out per probe at 9600 baud, scaled by 9600/baud,\n"
         "                              20..10000 (default 100); over TCP taken as it is\n"
         "  A line reads \"slave ID LINE MS ms ANSWER\"; an exception reply counts as a device.\n"
         "  Exit code 0 when a device was found, 7 when none answered.\n"
         "Register scan (the readable blocks of one device on the --tcp or --serial link):\n"
         "  --register-scan SLAVE:FUNCTION:FIRST-LAST[:BLOCK]\n"
         "                              function 1..4, protocol addresses, BLOCK items per read\n"
         "                              (default 100); a block answered with exception 2 is split\n"
         "                              down to single addresses. Prints \"address,count,values\"\n"
         "                              per readable block; exit code 7 when none is readable.\n"
         "Each write prints its result (\"Response ok\" or the error); a 23 write then prints\n"
         "the registers read back as a poll line. Without polls the run ends after the writes.\n"
         "Ends with exit code 0 on SIGINT/SIGTERM or when --count is reached; 2 bad option or\n"
         "value, 3 unreadable file, 4 connection failed, 5 more polls than the 32 poll slots,\n"
         "6 a write that did not get \"Response ok\", 8 --identify failed (the reason on standard error).\n"
         "With --record or --export-map: 9 when the file could not be created or written.\n";
}

namespace {

using cmdline::ParseInt;
using cmdline::RangeText;
using cmdline::Split;
using Row = cmdline::OptionRow<HeadlessOptions>;

// ---- Link ---------------------------------------------------------------------

bool SetHelp(const std::string&, const std::string&, HeadlessOptions* o, std::string*) {
  o->help = true;
  return true;
}

// --tcp, --rtu-over-tcp and --udp: HOST:PORT, an IPv6 host in brackets.
bool SetTcp(const std::string& name, const std::string& v, HeadlessOptions* o, std::string* error) {
  auto colon = v.rfind(':');
  int port = 0;
  if (colon == std::string::npos || colon == 0 || !ParseInt(v.substr(colon + 1), 1, 65535, &port)) {
    *error = name + " expects HOST:PORT with a port 1..65535, got \"" + v + "\"";
    return false;
  }
  const std::string host = hosttext::Unbracketed(v.substr(0, colon));
  if (host.empty() || host.size() > static_cast<std::size_t>(kHostMaxLength) ||
      (host.find(':') != std::string::npos && v[colon - 1] != ']')) {
    *error = name + " expects HOST:PORT with a host name, an IPv4 address or [an IPv6 address], got \"" + v + "\"";
    return false;
  }
  o->settings.port = kTcpPortChoice;
  SetRemoteHost(&o->settings, host);
  o->settings.transport = name == "--rtu-over-tcp" ? kTransportRtuOverTcp
                          : name == "--udp"        ? kTransportUdp
                                                   : kTransportModbusTcp;
  o->settings.servicePort = port;
  o->haveLink = true;
  return true;
}

bool SetSerial(const std::string&, const std::string& v, HeadlessOptions* o, std::string*) {
  o->serialDevice = v;
  o->settings.port = 0;
  o->haveLink = true;
  return true;
}

bool SetBaud(const std::string&, const std::string& v, HeadlessOptions* o, std::string* error) {
  std::uint32_t baud = 0;
  int index = cmdline::ParseBaud(v, &baud) ? baudtable::IndexForBaudRate(baud) : -1;
  if (index < 0) return *error = "--baud: unsupported baud rate \"" + v + "\"", false;
  o->settings.baudIndex = index;
  return true;
}

// The settings keep data and stop bits as list indexes, as the files store them.
bool SetParity(const std::string&, const std::string& v, HeadlessOptions* o, std::string* error) {
  if (!cmdline::ParseParity(v, &o->settings.parity)) return *error = "--parity expects none, odd or even", false;
  return true;
}

bool SetDataBits(const std::string&, const std::string& v, HeadlessOptions* o, std::string* error) {
  int bits = 0;
  if (!cmdline::ParseDataBits(v, &bits)) return *error = "--data-bits expects 7 or 8", false;
  o->settings.dataBits = bits == 8 ? 1 : 0;
  return true;
}

bool SetStopBits(const std::string&, const std::string& v, HeadlessOptions* o, std::string* error) {
  int stop = 0;
  if (!cmdline::ParseStopBits(v, &stop)) return *error = "--stop-bits expects 1 or 2", false;
  o->settings.stopBits = stop == cmdline::kStopBitsTwo ? 1 : 0;
  return true;
}

bool SetAscii(const std::string&, const std::string&, HeadlessOptions* o, std::string*) {
  o->settings.asciiMode = 1;
  return true;
}

bool SetTimeout(const std::string&, const std::string& v, HeadlessOptions* o, std::string* error) {
  if (!ParseInt(v, 50, 100000, &o->settings.timeout)) return *error = RangeText("--timeout", 50, 100000), false;
  o->timeout = o->settings.timeout;
  return true;
}

bool SetDelay(const std::string&, const std::string& v, HeadlessOptions* o, std::string* error) {
  if (!ParseInt(v, 0, 1000, &o->settings.delayBetweenPolls))
    return *error = RangeText("--delay-between-polls", 0, 1000), false;
  o->delayBetweenPolls = o->settings.delayBetweenPolls;
  return true;
}

// ---- Polls and writes ---------------------------------------------------------

// One field of a --poll, in the range the poll definition allows.
bool ParsePollField(const std::string& text, PollField field, const char* name, int function, int* out,
                    std::string* error) {
  const PollRange range = PollFieldRange(field, function);
  if (ParseInt(text, range.min, range.max, out)) return true;
  *error = RangeText(std::string("--poll ") + name, range.min, range.max);
  return false;
}

// A scan rate of 0, given explicitly, polls as fast as the line allows (only
// here: documents and the windows keep the poll definition's floor).
bool ParseScanRate(const std::string& text, int* out, std::string* error) {
  if (text == "0") return *out = 0, true;
  return ParsePollField(text, PollField::kScanRate, "scan rate", 0, out, error);
}

bool AddPoll(const std::string&, const std::string& v, HeadlessOptions* o, std::string* error) {
  auto parts = Split(v, ':');
  if (parts.size() != 4 && parts.size() != 5) {
    *error = "--poll expects SLAVE:FUNCTION:ADDRESS:LENGTH[:SCANRATE], got \"" + v + "\"";
    return false;
  }
  HeadlessPoll poll;
  PollDocumentData& d = poll.document;
  if (!ParsePollField(parts[0], PollField::kSlave, "slave", 0, &d.slaveId, error) ||
      !ParsePollField(parts[1], PollField::kFunction, "function", 0, &d.function, error) ||
      !ParsePollField(parts[2], PollField::kAddress, "address", 0, &d.address, error) ||
      !ParsePollField(parts[3], PollField::kLength, "length", d.function, &d.length, error) ||
      (parts.size() == 5 && !ParseScanRate(parts[4], &d.scanRate, error)))
    return false;
  poll.source = "--poll " + v;
  o->polls.push_back(poll);
  return true;
}

// Kept as text: the values are read in the --format, which may come later.
bool AddWrite(const std::string&, const std::string& v, HeadlessOptions* o, std::string*) {
  HeadlessWrite w;
  w.text = v;
  o->writes.push_back(w);
  return true;
}

bool SetRead(const std::string&, const std::string& v, HeadlessOptions* o, std::string* error) {
  auto parts = Split(v, ':');
  if (parts.size() != 2 || !ParseInt(parts[0], 0, 65535, &o->readAddress) ||
      !ParseInt(parts[1], 1, modbus::MAX_WR_READ_REGISTERS, &o->readCount)) {
    *error = "--read expects ADDRESS:COUNT with address 0..65535 and count 1..125, got \"" + v + "\"";
    return false;
  }
  return true;
}

// ---- Output -------------------------------------------------------------------

bool SetFormat(const std::string&, const std::string& v, HeadlessOptions* o, std::string* error) {
  o->format = valuefmt::FormatFromName(v);
  if (o->format < 0) return *error = "--format: unknown display format \"" + v + "\"", false;
  return true;
}

bool SetDelimiter(const std::string&, const std::string& v, HeadlessOptions* o, std::string* error) {
  if (v == "comma") o->delimiter = kLogComma;
  else if (v == "tab") o->delimiter = kLogTab;
  else if (v == "fixed") o->delimiter = kLogFixed;
  else return *error = "--delimiter expects comma, tab or fixed", false;
  return true;
}

bool SetTiming(const std::string&, const std::string&, HeadlessOptions* o, std::string*) {
  o->timing = true;
  return true;
}

bool SetRecord(const std::string&, const std::string& v, HeadlessOptions* o, std::string* error) {
  if (v.empty()) return *error = "--record expects a file name", false;
  o->recordPath = v;
  return true;
}

bool SetExportMap(const std::string&, const std::string& v, HeadlessOptions* o, std::string* error) {
  if (v.empty()) return *error = "--export-map expects a file name", false;
  o->exportMapPath = v;
  return true;
}

bool SetCount(const std::string&, const std::string& v, HeadlessOptions* o, std::string* error) {
  if (!ParseInt(v, 1, 1000000000, &o->count)) return *error = RangeText("--count", 1, 1000000000), false;
  return true;
}

// ---- Scan ---------------------------------------------------------------------

bool SetScan(const std::string&, const std::string&, HeadlessOptions* o, std::string*) {
  o->scan = true;
  return true;
}

bool SetScanIds(const std::string&, const std::string& v, HeadlessOptions* o, std::string* error) {
  if (!busscan::ParseIdRange(v, 0, modbus::MAX_UNIT_ID, &o->scanPlan.firstId, &o->scanPlan.lastId))
    return *error = "--scan-ids expects FIRST-LAST within 0..255, got \"" + v + "\"", false;
  return true;
}

bool SetScanBauds(const std::string&, const std::string& v, HeadlessOptions* o, std::string* error) {
  o->scanPlan.bauds.clear();
  for (const std::string& item : Split(v, ',')) {
    std::uint32_t baud = 0;
    if (!cmdline::ParseBaud(item, &baud) || baudtable::IndexForBaudRate(baud) < 0)
      return *error = "--scan-bauds: unsupported baud rate \"" + item + "\"", false;
    o->scanPlan.bauds.push_back(baud);
  }
  o->scanBaudsGiven = true;
  return true;
}

bool SetScanParities(const std::string&, const std::string& v, HeadlessOptions* o, std::string* error) {
  o->scanPlan.parities.clear();
  for (const std::string& item : Split(v, ',')) {
    int parity = 0;
    if (!cmdline::ParseParity(item, &parity)) return *error = "--scan-parities expects none, odd or even", false;
    o->scanPlan.parities.push_back(parity);
  }
  o->scanParitiesGiven = true;
  return true;
}

bool SetScanFraming(const std::string&, const std::string& v, HeadlessOptions* o, std::string* error) {
  if (v == "rtu") o->scanPlan.framings = {false};
  else if (v == "ascii") o->scanPlan.framings = {true};
  else if (v == "both") o->scanPlan.framings = {false, true};
  else return *error = "--scan-framing expects rtu, ascii or both", false;
  o->scanFramingGiven = true;
  return true;
}

bool SetScanProbe(const std::string&, const std::string& v, HeadlessOptions* o, std::string* error) {
  auto parts = Split(v, ':');
  if (parts[0] == "register" && parts.size() <= 2) {
    o->scanPlan.probe = busscan::Probe::kHoldingRegister;
    if (parts.size() == 2 && !ParseInt(parts[1], 0, 65535, &o->scanPlan.address))
      return *error = RangeText("--scan-probe register address", 0, 65535), false;
    return true;
  }
  if (parts.size() == 1 && (parts[0] == "identify" || parts[0] == "report-slave-id")) {
    o->scanPlan.probe = parts[0] == "identify" ? busscan::Probe::kDeviceIdentification : busscan::Probe::kReportSlaveId;
    return true;
  }
  return *error = "--scan-probe expects register[:ADDRESS], got \"" + v + "\"", false;
}

bool SetScanTimeout(const std::string&, const std::string& v, HeadlessOptions* o, std::string* error) {
  if (!ParseInt(v, busscan::kMinProbeTimeoutMs, busscan::kMaxProbeTimeoutMs, &o->scanPlan.timeoutMs))
    return *error = RangeText("--scan-timeout", busscan::kMinProbeTimeoutMs, busscan::kMaxProbeTimeoutMs), false;
  return true;
}

bool SetRegisterScan(const std::string&, const std::string& v, HeadlessOptions* o, std::string* error) {
  auto parts = Split(v, ':');
  regscan::RegisterScanPlan& plan = o->registerScanPlan;
  if ((parts.size() != 3 && parts.size() != 4) || !ParseInt(parts[0], 0, modbus::MAX_UNIT_ID, &plan.slave) ||
      !ParseInt(parts[1], 1, 4, &plan.function) ||
      !busscan::ParseIdRange(parts[2], 0, modbus::MAX_ADDRESS, &plan.first, &plan.last) ||
      (parts.size() == 4 && !ParseInt(parts[3], 1, modbus::MAX_READ_BITS, &plan.blockSize)))
    return *error = "--register-scan expects SLAVE:FUNCTION:FIRST-LAST[:BLOCK], got \"" + v + "\"", false;
  const std::string problem = regscan::PlanProblem(plan);
  if (!problem.empty()) return *error = "--register-scan: " + problem, false;
  o->registerScan = true;
  return true;
}

// The line settings not given for the scan are the link's own.
bool FinishScanPlan(HeadlessOptions* o, std::string* error) {
  busscan::ScanPlan& plan = o->scanPlan;
  plan.tcp = o->settings.port == kTcpPortChoice;
  if (!o->scanBaudsGiven) plan.bauds = {baudtable::BaudRateForIndex(o->settings.baudIndex)};
  if (!o->scanParitiesGiven) plan.parities = {o->settings.parity};
  if (!o->scanFramingGiven) plan.framings = {o->settings.asciiMode != 0};
  const std::string problem = busscan::PlanProblem(plan);
  if (!problem.empty()) return *error = "--scan: " + problem, false;
  return true;
}

// Anything else starting with '-' is refused; the rest are .zmd and .zmw files.
bool AddFile(const std::string& arg, HeadlessOptions* o, std::string* error) {
  if (!arg.empty() && arg[0] == '-') return *error = "unknown option \"" + arg + "\"", false;
  o->files.push_back(arg);
  return true;
}

// ---- Identification -------------------------------------------------------------

bool SetIdentify(const std::string& name, const std::string& v, HeadlessOptions* o, std::string* error) {
  if (ParseInt(v, 1, modbus::MAX_UNIT_ID, &o->identify)) return true;
  *error = RangeText(name, 1, modbus::MAX_UNIT_ID);
  return false;
}

bool SetIdentifyCode(const std::string& name, const std::string& v, HeadlessOptions* o, std::string* error) {
  static constexpr const char* kCodes[] = {"basic", "regular", "extended"};
  for (int i = 0; i < 3; ++i)
    if (v == kCodes[i]) return o->identifyCode = modbus::READ_DEVICE_ID_BASIC + i, true;
  *error = name + " expects basic, regular or extended, got \"" + v + "\"";
  return false;
}

constexpr Row kOptions[] = {
    {"--help", false, SetHelp},
    {"-h", false, SetHelp},
    {"--tcp", true, SetTcp},
    {"--rtu-over-tcp", true, SetTcp},
    {"--udp", true, SetTcp},
    {"--serial", true, SetSerial},
    {"--baud", true, SetBaud},
    {"--parity", true, SetParity},
    {"--data-bits", true, SetDataBits},
    {"--stop-bits", true, SetStopBits},
    {"--ascii", false, SetAscii},
    {"--timeout", true, SetTimeout},
    {"--delay-between-polls", true, SetDelay},
    {"--poll", true, AddPoll},
    {"--write", true, AddWrite},
    {"--read", true, SetRead},
    {"--format", true, SetFormat},
    {"--delimiter", true, SetDelimiter},
    {"--timing", false, SetTiming},
    {"--count", true, SetCount},
    {"--record", true, SetRecord},
    {"--export-map", true, SetExportMap},
    {"--scan", false, SetScan},
    {"--scan-ids", true, SetScanIds},
    {"--scan-bauds", true, SetScanBauds},
    {"--scan-parities", true, SetScanParities},
    {"--scan-framing", true, SetScanFraming},
    {"--scan-probe", true, SetScanProbe},
    {"--scan-timeout", true, SetScanTimeout},
    {"--register-scan", true, SetRegisterScan},

    {"--identify", true, SetIdentify},
    {"--identify-code", true, SetIdentifyCode},
};

bool ParseCoil(const std::string& text, std::uint8_t* coil) {
  if (text == "1" || text == "on") return *coil = 1, true;
  if (text == "0" || text == "off") return *coil = 0, true;
  return false;
}

// The values of a 5 or 15: one coil each.
bool PrepareCoils(const std::vector<std::string>& values, HeadlessWrite* w, std::string* why) {
  std::size_t most = w->function == modbus::FC_WRITE_SINGLE_COIL ? 1 : modbus::MAX_WRITE_BITS;
  if (values.size() > most) {
    *why = "function " + std::to_string(w->function) + " takes at most " + cmdline::CountText(most, "value", "values");
    return false;
  }
  for (const std::string& v : values) {
    std::uint8_t coil = 0;
    if (!ParseCoil(v, &coil)) return *why = "a coil value is 0, 1, on or off, got \"" + v + "\"", false;
    w->coils.push_back(coil);
  }
  return true;
}

// The AND,OR masks of a 22.
bool PrepareMasks(const std::vector<std::string>& values, int format, HeadlessWrite* w, std::string* why) {
  if (valuefmt::RegistersPerValue(format) != 1) return *why = "the masks of function 22 are 16-bit values", false;
  if (values.size() != 2) return *why = "function 22 takes two values, AND,OR", false;
  std::vector<std::uint16_t> masks;
  for (const std::string& v : values) {
    EntryFailure failure;
    if (!ParseValueEntry(format, v, &masks, &failure))
      return *why = "\"" + v + "\": " + EntryFailureText(failure), false;
  }
  w->andMask = masks[0];
  w->orMask = masks[1];
  return true;
}

// The register values of a 6, 16 or 23, encoded by the format.
bool PrepareRegisters(const std::vector<std::string>& values, int format, HeadlessWrite* w, std::string* why) {
  for (const std::string& v : values) {
    EntryFailure failure;
    if (!ParseValueEntry(format, v, &w->words, &failure))
      return *why = "\"" + v + "\": " + EntryFailureText(failure), false;
  }
  int most = w->function == modbus::FC_WRITE_SINGLE_REGISTER     ? 1
             : w->function == modbus::FC_WRITE_MULTIPLE_REGISTERS ? modbus::MAX_WRITE_REGISTERS
                                                                  : modbus::MAX_WR_WRITE_REGISTERS;
  if (static_cast<int>(w->words.size()) > most) {
    *why = "function " + std::to_string(w->function) + " writes at most " +
           cmdline::CountText(static_cast<std::size_t>(most), "register", "registers") + ", the values take " +
           std::to_string(w->words.size());
    return false;
  }
  return true;
}

bool IsHeadlessWrite(int function) {
  return modbus::IsEchoWrite(function) || function == modbus::FC_MASK_WRITE_REGISTER ||
         function == modbus::FC_WRITE_AND_READ_REGISTERS;
}

// Checks a --write against its function and encodes its values by the format.
bool PrepareWrite(const std::string& text, int format, HeadlessWrite* w, std::string* error) {
  auto parts = Split(text, ':');
  if (parts.size() != 4) {
    *error = "--write expects SLAVE:FUNCTION:ADDRESS:VALUE[,VALUE...], got \"" + text + "\"";
    return false;
  }
  w->text = text;
  if (!ParseInt(parts[1], 1, modbus::FC_WRITE_AND_READ_REGISTERS, &w->function) || !IsHeadlessWrite(w->function))
    return *error = "--write function must be 5, 6, 15, 16, 22 or 23, got \"" + parts[1] + "\"", false;
  // Mask writes and read/write need a reply, so no broadcast for them.
  int minSlave = w->function == modbus::FC_MASK_WRITE_REGISTER || w->function == modbus::FC_WRITE_AND_READ_REGISTERS
                     ? 1
                     : modbus::BROADCAST_ADDRESS;
  if (!ParseInt(parts[0], minSlave, modbus::MAX_UNIT_ID, &w->slave))
    return *error = RangeText("--write slave", minSlave, modbus::MAX_UNIT_ID), false;
  if (!ParseInt(parts[2], 0, 65535, &w->address)) return *error = RangeText("--write address", 0, 65535), false;
  auto values = Split(parts[3], ',');
  std::string why;
  bool ok = modbus::IsBitFunction(w->function)                ? PrepareCoils(values, w, &why)
            : w->function == modbus::FC_MASK_WRITE_REGISTER ? PrepareMasks(values, format, w, &why)
                                                              : PrepareRegisters(values, format, w, &why);
  if (!ok) *error = "--write " + text + ": " + why;
  return ok;
}

}  // namespace

bool ParseHeadlessOptions(const std::vector<std::string>& args, HeadlessOptions* o, std::string* error) {
  if (!cmdline::WalkOptions(args, kOptions, "", AddFile, o, error)) return false;
  if (o->scan) return FinishScanPlan(o, error);
  // The values are read in the --format, which may come after the --write.
  int format = o->format >= 0 ? o->format : valuefmt::kUnsigned;
  for (HeadlessWrite& w : o->writes) {
    std::string text = w.text;
    if (!PrepareWrite(text, format, &w, error)) return false;
    if (w.function == modbus::FC_WRITE_AND_READ_REGISTERS && o->readAddress < 0) {
      *error = "--write " + text + ": function 23 needs --read ADDRESS:COUNT";
      return false;
    }
  }
  return true;
}

}  // namespace zelmor
