#pragma once
// zelmor without a window: polls the documents of a workspace, of .zmd files or
// of --poll options and prints one data-log line per completed poll. Qt-free.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/device_objects.h"
#include "common/modbus_protocol.h"
#include "common/options.h"
#include "master/core/bus_scan.h"
#include "master/core/register_scan.h"
#include "master/core/zelmor_files.h"
#include "platform/messages.h"

namespace zelmor {

struct HeadlessPoll {
  PollDocumentData document;
  std::string source;  // file path or the --poll text, for messages
};

// One --write: checked and encoded when the options are parsed, so a refused
// value stops the run before anything is sent.
struct HeadlessWrite {
  std::string text;  // SLAVE:FUNCTION:ADDRESS:VALUES as given, for the result line
  int slave = 1;
  int function = modbus::FC_WRITE_MULTIPLE_REGISTERS;  // 5, 6, 15, 16, 22, 23
  int address = 0;    // protocol address
  std::vector<std::uint16_t> words;  // 6, 16, 23: native-order words of the --format values
  std::vector<std::uint8_t> coils;   // 5, 15: 0 or 1 each
  std::uint16_t andMask = 0xFFFF;    // 22
  std::uint16_t orMask = 0;
};

struct HeadlessOptions {
  bool help = false;
  CommSettings settings;
  bool haveLink = false;          // --tcp, --serial or a workspace gave the link
  std::string serialDevice;       // --serial DEVICE (mapped to port 1)
  std::vector<std::string> files;  // .zmd and .zmw paths, in order
  std::vector<HeadlessPoll> polls;  // from --poll
  int format = -1;                 // --format, -1 = each document's own
  int count = 0;                   // polls per document before exit; 0 = until a signal
  int delimiter = 1;               // comma
  bool timing = false;             // --timing: response times at the end of each line
  std::optional<int> timeout;            // given explicitly
  std::optional<int> delayBetweenPolls;  // given explicitly
  std::vector<HeadlessWrite> writes;     // from --write, in order, before any poll
  int readAddress = -1;                  // --read of the 23 writes
  int readCount = 0;
  // --scan: look for devices instead of polling (headless_scan.cpp).
  bool scan = false;
  busscan::ScanPlan scanPlan;
  bool scanBaudsGiven = false, scanParitiesGiven = false, scanFramingGiven = false;
  // --register-scan: the readable blocks of one device.
  bool registerScan = false;
  regscan::RegisterScanPlan registerScanPlan;

  std::string recordPath;                // --record FILE: a recording of every successful read
  std::string exportMapPath;             // --export-map FILE: the documents' maps with the last values

  int identify = -1;                     // --identify SLAVE
  int identifyCode = modbus::READ_DEVICE_ID_EXTENDED;  // --identify-code
};

// Parses the arguments after the program name (with or without "--headless").
// False with *error set for a bad option.
bool ParseHeadlessOptions(const std::vector<std::string>& args, HeadlessOptions* options, std::string* error);
const char* HeadlessUsage();

// Exit codes; 0 and 2 mean the same as vantor's.
constexpr int kExitOk = cmdline::kExitOk;
constexpr int kExitBadOption = cmdline::kExitBadOption;
constexpr int kExitBadFile = 3;
constexpr int kExitConnectFailed = 4;
constexpr int kExitNoResources = 5;
constexpr int kExitWriteFailed = 6;  // a --write got another answer than "Response ok"
constexpr int kExitNothingFound = 7;  // a --scan found no device

// The --scan walk (headless_scan.cpp): opens each line setting, sends the
// probes as one-shot requests of window and waits for each with wait(boundMs,
// &result); prints a line per device found. Returns the exit code.
int RunScanWalk(const HeadlessOptions& options, const std::function<bool(int, std::uint16_t*)>& wait,
                platform::WindowHandle window, const std::function<bool()>& stopRequested);

// The --register-scan walk, likewise; prints the CSV lines of the readable blocks.
int RunRegisterScanWalk(const HeadlessOptions& options, const std::function<bool(int, std::uint16_t*)>& wait,
                        platform::WindowHandle window, const std::function<bool()>& stopRequested);

constexpr int kExitIdentifyFailed = 8;  // --identify got no sound identification
constexpr int kExitRecordFailed = 9;    // the --record or --export-map file could not be written

// Runs the headless program; returns the process exit code.
int RunHeadless(const std::vector<std::string>& args);

}  // namespace zelmor
