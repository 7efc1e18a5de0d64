#include "master/headless/headless.h"

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <mutex>

#include "common/baud_table.h"
#include "common/value_format.h"
#include "master/core/engine_glue.h"
#include "master/core/poll_results.h"
#include "master/core/write_values.h"
#include "master/engine/comm_interface.h"
#include "platform/messages.h"
#include "platform/port_map.h"
#include "resources/zelmor_resources.h"

namespace zelmor {

namespace me = masterengine;

const char* HeadlessUsage() {
  return "Usage: zelmor --headless [options] [FILE.zmw | FILE.zmd ...]\n"
         "Polls without a window and prints one data-log line per completed poll.\n"
         "\n"
         "Link (a workspace gives its own unless --tcp or --serial is given):\n"
         "  --tcp HOST:PORT             Modbus/TCP server (dotted IPv4 address)\n"
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
         "  FILE.zmd                    a poll document; FILE.zmw a workspace (link and documents)\n"
         "Writes (before any poll; values in --format, unsigned when not given):\n"
         "  --write SLAVE:FUNCTION:ADDRESS:VALUE[,VALUE...]\n"
         "                              5 one coil (0/1), 15 coils (0/1 each, up to 1968),\n"
         "                              6 one register, 16 registers (up to 123),\n"
         "                              22 AND,OR masks, 23 registers (up to 121) with --read;\n"
         "                              protocol address 0..65535; may be repeated\n"
         "  --read ADDRESS:COUNT        registers read back by every 23 write (count 1..125)\n"
         "Output:\n"
         "  --format NAME               signed unsigned hex binary float float-inverse double\n"
         "                              double-inverse long long-inverse (default: each document's)\n"
         "  --delimiter comma|tab|fixed (default comma)\n"
         "  --count N                   stop after N completed polls of every document\n"
         "  --timing                    end each line with the poll's response times since the start:\n"
         "                              last, min, mean and max in ms (replies only, time-outs left out)\n"
         "  --help                      this text\n"
         "Each write prints its result (\"Response ok\" or the error); a 23 write then prints\n"
         "the registers read back as a poll line. Without polls the run ends after the writes.\n"
         "Ends with exit code 0 on SIGINT/SIGTERM or when --count is reached; 2 bad option or\n"
         "value, 3 unreadable file, 4 connection failed, 5 more polls than the 32 poll slots,\n"
         "6 a write that did not get \"Response ok\".\n";
}

namespace {

bool ParseInt(const std::string& text, long min, long max, int* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  long value = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || value < min || value > max) return false;
  *out = static_cast<int>(value);
  return true;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (true) {
    std::size_t at = text.find(separator, start);
    parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) break;
    start = at + 1;
  }
  return parts;
}

std::string RangeError(const std::string& what, long min, long max) {
  return what + " must be an integer between " + std::to_string(min) + " and " + std::to_string(max);
}

bool ParsePoll(const std::string& text, HeadlessPoll* poll, std::string* error) {
  auto parts = Split(text, ':');
  if (parts.size() != 4 && parts.size() != 5) {
    *error = "--poll expects SLAVE:FUNCTION:ADDRESS:LENGTH[:SCANRATE], got \"" + text + "\"";
    return false;
  }
  PollDocumentData& d = poll->document;
  if (!ParseInt(parts[0], 1, 255, &d.slaveId)) return *error = RangeError("--poll slave", 1, 255), false;
  if (!ParseInt(parts[1], 1, 4, &d.function)) return *error = RangeError("--poll function", 1, 4), false;
  if (!ParseInt(parts[2], 0, 65535, &d.address)) return *error = RangeError("--poll address", 0, 65535), false;
  int maxLength = d.function >= 3 ? 127 : 2000;
  if (!ParseInt(parts[3], 1, maxLength, &d.length)) return *error = RangeError("--poll length", 1, maxLength), false;
  if (parts.size() == 5 && !ParseInt(parts[4], 20, 60000, &d.scanRate))
    return *error = RangeError("--poll scan rate", 20, 60000), false;
  poll->source = "--poll " + text;
  return true;
}

bool ParseCoil(const std::string& text, std::uint8_t* coil) {
  if (text == "1" || text == "on") return *coil = 1, true;
  if (text == "0" || text == "off") return *coil = 0, true;
  return false;
}

// Checks a --write against its function and encodes its values by the format.
bool PrepareWrite(const std::string& text, int format, HeadlessWrite* w, std::string* error) {
  auto parts = Split(text, ':');
  if (parts.size() != 4) {
    *error = "--write expects SLAVE:FUNCTION:ADDRESS:VALUE[,VALUE...], got \"" + text + "\"";
    return false;
  }
  w->text = text;
  if (!ParseInt(parts[1], 1, 23, &w->function) ||
      (w->function != 5 && w->function != 6 && w->function != 15 && w->function != 16 && w->function != 22 &&
       w->function != 23))
    return *error = "--write function must be 5, 6, 15, 16, 22 or 23, got \"" + parts[1] + "\"", false;
  // Mask writes and read/write need a reply, so no broadcast for them.
  int minSlave = w->function == 22 || w->function == 23 ? 1 : 0;
  if (!ParseInt(parts[0], minSlave, 255, &w->slave)) return *error = RangeError("--write slave", minSlave, 255), false;
  if (!ParseInt(parts[2], 0, 65535, &w->address)) return *error = RangeError("--write address", 0, 65535), false;
  auto values = Split(parts[3], ',');
  auto refuse = [&](const std::string& why) {
    *error = "--write " + text + ": " + why;
    return false;
  };
  switch (w->function) {
    case 5:
    case 15: {
      std::size_t most = w->function == 5 ? 1 : kHeadlessMaxCoils;
      if (values.size() > most)
        return refuse("function " + std::to_string(w->function) + " takes at most " + std::to_string(most) +
                      (most == 1 ? " value" : " values"));
      for (const std::string& v : values) {
        std::uint8_t coil = 0;
        if (!ParseCoil(v, &coil)) return refuse("a coil value is 0, 1, on or off, got \"" + v + "\"");
        w->coils.push_back(coil);
      }
      return true;
    }
    case 22: {
      if (valuefmt::RegistersPerValue(format) != 1) return refuse("the masks of function 22 are 16-bit values");
      if (values.size() != 2) return refuse("function 22 takes two values, AND,OR");
      std::vector<std::uint16_t> masks;
      for (const std::string& v : values) {
        EntryFailure failure;
        if (!ParseValueEntry(format, v, &masks, &failure))
          return refuse("\"" + v + "\": " + EntryFailureText(failure));
      }
      w->andMask = masks[0];
      w->orMask = masks[1];
      return true;
    }
    default: {
      for (const std::string& v : values) {
        EntryFailure failure;
        if (!ParseValueEntry(format, v, &w->words, &failure))
          return refuse("\"" + v + "\": " + EntryFailureText(failure));
      }
      int most = w->function == 6 ? 1 : w->function == 16 ? kHeadlessMaxRegisters : kHeadlessMaxReadWriteRegisters;
      if (static_cast<int>(w->words.size()) > most)
        return refuse("function " + std::to_string(w->function) + " writes at most " + std::to_string(most) +
                      (most == 1 ? " register" : " registers") + ", the values take " +
                      std::to_string(w->words.size()));
      return true;
    }
  }
}

}  // namespace

bool ParseHeadlessOptions(const std::vector<std::string>& args, HeadlessOptions* o, std::string* error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= args.size()) {
        *error = arg + " needs a value";
        return false;
      }
      *out = args[++i];
      return true;
    };
    std::string v;
    if (arg == "--headless") continue;
    if (arg == "--help" || arg == "-h") {
      o->help = true;
    } else if (arg == "--tcp") {
      if (!value(&v)) return false;
      auto colon = v.rfind(':');
      int port = 0;
      if (colon == std::string::npos || colon == 0 || !ParseInt(v.substr(colon + 1), 1, 65535, &port)) {
        *error = "--tcp expects HOST:PORT with a port 1..65535, got \"" + v + "\"";
        return false;
      }
      std::string host = v.substr(0, colon);
      if (host.size() > static_cast<std::size_t>(kIpAddressMaxLength)) {
        *error = "--tcp host must be a dotted IPv4 address of at most 15 characters";
        return false;
      }
      o->settings.port = kTcpPortChoice;
      o->settings.ipAddress = host;
      o->settings.servicePort = port;
      o->haveLink = true;
    } else if (arg == "--serial") {
      if (!value(&o->serialDevice)) return false;
      o->settings.port = 0;
      o->haveLink = true;
    } else if (arg == "--baud") {
      int baud = 0;
      if (!value(&v)) return false;
      int index = ParseInt(v, 1, 10000000, &baud) ? baudtable::IndexForBaudRate(static_cast<std::uint32_t>(baud)) : -1;
      if (index < 0) {
        *error = "--baud: unsupported baud rate \"" + v + "\"";
        return false;
      }
      o->settings.baudIndex = index;
    } else if (arg == "--parity") {
      if (!value(&v)) return false;
      if (v == "none" || v == "N" || v == "n") o->settings.parity = 0;
      else if (v == "odd" || v == "O" || v == "o") o->settings.parity = 1;
      else if (v == "even" || v == "E" || v == "e") o->settings.parity = 2;
      else return *error = "--parity expects none, odd or even", false;
    } else if (arg == "--data-bits") {
      if (!value(&v)) return false;
      if (v == "7" || v == "8") o->settings.dataBits = v == "8" ? 1 : 0;
      else return *error = "--data-bits expects 7 or 8", false;
    } else if (arg == "--stop-bits") {
      if (!value(&v)) return false;
      if (v == "1" || v == "2") o->settings.stopBits = v == "2" ? 1 : 0;
      else return *error = "--stop-bits expects 1 or 2", false;
    } else if (arg == "--ascii") {
      o->settings.asciiMode = 1;
    } else if (arg == "--timeout") {
      if (!value(&v)) return false;
      if (!ParseInt(v, 50, 100000, &o->settings.timeout)) return *error = RangeError("--timeout", 50, 100000), false;
      o->timeout = o->settings.timeout;
    } else if (arg == "--delay-between-polls") {
      if (!value(&v)) return false;
      if (!ParseInt(v, 0, 1000, &o->settings.delayBetweenPolls))
        return *error = RangeError("--delay-between-polls", 0, 1000), false;
      o->delayBetweenPolls = o->settings.delayBetweenPolls;
    } else if (arg == "--poll") {
      if (!value(&v)) return false;
      HeadlessPoll poll;
      if (!ParsePoll(v, &poll, error)) return false;
      o->polls.push_back(poll);
    } else if (arg == "--write") {
      if (!value(&v)) return false;
      HeadlessWrite w;
      w.text = v;
      o->writes.push_back(w);
    } else if (arg == "--read") {
      if (!value(&v)) return false;
      auto parts = Split(v, ':');
      if (parts.size() != 2 || !ParseInt(parts[0], 0, 65535, &o->readAddress) ||
          !ParseInt(parts[1], 1, kHeadlessMaxReadRegisters, &o->readCount)) {
        *error = "--read expects ADDRESS:COUNT with address 0..65535 and count 1..125, got \"" + v + "\"";
        return false;
      }
    } else if (arg == "--format") {
      if (!value(&v)) return false;
      o->format = valuefmt::FormatFromName(v);
      if (o->format < 0) {
        *error = "--format: unknown display format \"" + v + "\"";
        return false;
      }
    } else if (arg == "--delimiter") {
      if (!value(&v)) return false;
      if (v == "comma") o->delimiter = kLogComma;
      else if (v == "tab") o->delimiter = kLogTab;
      else if (v == "fixed") o->delimiter = kLogFixed;
      else return *error = "--delimiter expects comma, tab or fixed", false;
    } else if (arg == "--timing") {
      o->timing = true;
    } else if (arg == "--count") {
      if (!value(&v)) return false;
      if (!ParseInt(v, 1, 1000000000, &o->count)) return *error = RangeError("--count", 1, 1000000000), false;
    } else if (!arg.empty() && arg[0] == '-') {
      *error = "unknown option \"" + arg + "\"";
      return false;
    } else {
      o->files.push_back(arg);
    }
  }
  // The values are read in the --format, which may come after the --write.
  int format = o->format >= 0 ? o->format : valuefmt::kUnsigned;
  for (HeadlessWrite& w : o->writes) {
    std::string text = w.text;
    if (!PrepareWrite(text, format, &w, error)) return false;
    if (w.function == 23 && o->readAddress < 0) {
      *error = "--write " + text + ": function 23 needs --read ADDRESS:COUNT";
      return false;
    }
  }
  return true;
}

namespace {

// Posted engine messages, handed from the poll thread to the main loop.
struct Notification {
  platform::WindowHandle window;
  std::uint32_t message;
  std::uintptr_t wParam;
  std::intptr_t lParam;
};
std::mutex gQueueMutex;
std::condition_variable gQueueReady;
std::deque<Notification> gQueue;
std::atomic<bool> gStop{false};

void QueuePost(platform::WindowHandle window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
  {
    std::lock_guard<std::mutex> lock(gQueueMutex);
    gQueue.push_back({window, message, wParam, lParam});
  }
  gQueueReady.notify_one();
}

void OnSignal(int) { gStop.store(true); }

struct RunningPoll {
  PollDocumentData document;
  int slot = -1;
  int completed = 0;
  std::uint8_t values[kValueBytes] = {};
};

// A document whose definition the scheduler would refuse: say which field is wrong.
std::string CheckDefinition(const PollDocumentData& d) {
  if (d.function < 1 || d.function > 4) return "function " + std::to_string(d.function) + " is not 1..4";
  int maxLength = d.function >= 3 ? 127 : 2000;
  if (d.length < 1 || d.length > maxLength)
    return "length " + std::to_string(d.length) + " is not 1.." + std::to_string(maxLength);
  if (d.address < 0 || d.address > 65535) return "address " + std::to_string(d.address) + " is not 0..65535";
  if (d.slaveId < 1 || d.slaveId > 255) return "slave " + std::to_string(d.slaveId) + " is not 1..255";
  if (d.scanRate < 20 || d.scanRate > 60000) return "scan rate " + std::to_string(d.scanRate) + " is not 20..60000";
  if (!valuefmt::IsValidFormat(d.displayFormat)) return "display format " + std::to_string(d.displayFormat) + " is not 0..9";
  return {};
}

bool Accept(const std::string& path, const PollDocumentData& d, std::vector<PollDocumentData>* documents) {
  std::string problem = CheckDefinition(d);
  if (!problem.empty()) {
    std::fprintf(stderr, "zelmor: %s: %s\n", path.c_str(), problem.c_str());
    return false;
  }
  documents->push_back(d);
  return true;
}

bool LoadFiles(HeadlessOptions& o, std::vector<PollDocumentData>* documents) {
  for (const std::string& path : o.files) {
    std::vector<std::uint8_t> bytes;
    std::string error;
    if (!archive::ReadFile(path, &bytes, &error)) {
      std::fprintf(stderr, "zelmor: %s%s\n", path.c_str(), res::text::kWasNotFound);
      return false;
    }
    if (LooksLikeWorkspace(path)) {
      WorkspaceData workspace;
      workspace.settings = o.settings;
      auto result = DecodeWorkspace(bytes, &workspace);
      if (result != WorkspaceReadResult::kOk) {
        std::fprintf(stderr, "zelmor: %s: %s\n", path.c_str(),
                     result == WorkspaceReadResult::kFormatError ? res::text::kFileFormatError
                                                                 : res::text::kUnexpectedFileFormat);
        return false;
      }
      // --tcp / --serial replace the workspace's link; --timeout and
      // --delay-between-polls apply to either.
      if (!o.haveLink) {
        o.settings = workspace.settings;
        if (o.timeout) o.settings.timeout = *o.timeout;
        if (o.delayBetweenPolls) o.settings.delayBetweenPolls = *o.delayBetweenPolls;
        o.haveLink = true;
      }
      for (const WorkspaceDocument& record : workspace.documents) {
        std::vector<std::uint8_t> docBytes;
        PollDocumentData d;
        if (!archive::ReadFile(record.path, &docBytes, &error) ||
            DecodePollDocument(docBytes, &d) != DocumentReadResult::kOk) {
          std::fprintf(stderr, "zelmor: %s: cannot read the poll document %s\n", path.c_str(), record.path.c_str());
          return false;
        }
        if (!Accept(record.path, d, documents)) return false;
      }
    } else {
      PollDocumentData d;
      auto result = DecodePollDocument(bytes, &d);
      if (result != DocumentReadResult::kOk) {
        std::fprintf(stderr, "zelmor: %s: %s\n", path.c_str(),
                     result == DocumentReadResult::kFormatError ? res::text::kFileFormatError
                                                                : res::text::kUnexpectedFileFormat);
        return false;
      }
      if (!Accept(path, d, documents)) return false;
    }
  }
  return true;
}

constexpr platform::WindowHandle kWriteWindow = 1000;  // above the poll windows 1..32

// Waits for the completion of the one-shot request. A request served while the
// link was down posts nothing, so the wait ends after the time-out and a margin.
bool WaitForWrite(int timeoutMs, std::uint16_t* result) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(2 * timeoutMs + 2000);
  std::unique_lock<std::mutex> lock(gQueueMutex);
  while (!gStop.load() && std::chrono::steady_clock::now() < deadline) {
    gQueueReady.wait_for(lock, std::chrono::milliseconds(100), [] { return !gQueue.empty(); });
    while (!gQueue.empty()) {
      Notification n = gQueue.front();
      gQueue.pop_front();
      if (n.window == kWriteWindow && n.message == platform::WM_ENGINE_NOTIFY && n.lParam == 0) {
        *result = static_cast<std::uint16_t>(n.wParam);
        return true;
      }
    }
  }
  return false;
}

// Sends one write through the one-shot slot and prints its result line.
bool RunWrite(const HeadlessWrite& w, const HeadlessOptions& o) {
  int format = o.format >= 0 ? o.format : valuefmt::kUnsigned;
  auto slave = static_cast<std::uint16_t>(w.slave);
  auto address = static_cast<std::uint16_t>(w.address);
  auto type = static_cast<std::uint16_t>(w.function);
  int accepted = 0;
  int registers = WrittenRegisterCount(format, static_cast<int>(w.words.size()));
  switch (w.function) {
    case 22:
      accepted = me::SubmitOneShot(kWriteWindow, platform::WM_ENGINE_NOTIFY, slave, type, w.andMask, w.orMask,
                                   address, 1);
      break;
    case 23:
      accepted = me::SubmitOneShot(kWriteWindow, platform::WM_ENGINE_NOTIFY, slave, type,
                                   static_cast<std::uint16_t>(o.readAddress), static_cast<std::uint16_t>(o.readCount),
                                   address, static_cast<std::uint16_t>(registers));
      break;
    default:
      accepted = me::SubmitOneShot(kWriteWindow, platform::WM_ENGINE_NOTIFY, slave, type, 0, 0, address, 1);
  }
  // Slot 0 is free between our sequential writes; a refusal means the engine
  // would not take the request, and a submitted write must get its data.
  if (accepted == 1) {
    if (w.function == 5 || w.function == 15)
      accepted = me::SetWriteBytes(0, static_cast<int>(w.coils.size()), w.coils.data());
    else if (w.function != 22)
      accepted = HandOverWriteValues(format, w.words.data(), static_cast<int>(w.words.size()));
  }
  if (accepted != 1) {
    std::fprintf(stdout, "write %s: refused by the engine\n", w.text.c_str());
    std::fflush(stdout);
    return false;
  }
  std::uint16_t result = me::RESULT_NO_CONNECTION;
  if (!WaitForWrite(o.settings.timeout, &result)) result = me::RESULT_NO_CONNECTION;
  std::fprintf(stdout, "write %s: %s\n", w.text.c_str(), WriteResultText(result).c_str());
  if (w.function == 23 && result == 0) {
    std::uint8_t values[kValueBytes] = {};
    CopyPollValues(0, 3, format, values);
    LogPoll log{3, o.readAddress, o.readCount, format, true, values, sizeof values};
    std::string line = ComposeLogLine(LogTimeText(std::time(nullptr)), log, 0, o.delimiter);
    std::fprintf(stdout, "%s\n", line.c_str());
  }
  std::fflush(stdout);
  return result == 0;
}

}  // namespace

int RunHeadless(const std::vector<std::string>& args) {
  HeadlessOptions options;
  std::string error;
  if (!ParseHeadlessOptions(args, &options, &error)) {
    std::fprintf(stderr, "zelmor: %s\nTry 'zelmor --headless --help'.\n", error.c_str());
    return kExitBadOption;
  }
  if (options.help) {
    std::fputs(HeadlessUsage(), stdout);
    return kExitOk;
  }
  std::vector<PollDocumentData> documents;
  if (!LoadFiles(options, &documents)) return kExitBadFile;
  for (const HeadlessPoll& poll : options.polls) documents.push_back(poll.document);
  if (!options.haveLink) {
    std::fprintf(stderr, "zelmor: no link: give --tcp HOST:PORT, --serial DEVICE or a workspace file\n");
    return kExitBadOption;
  }
  if (documents.empty() && options.writes.empty()) {
    std::fprintf(stderr, "zelmor: nothing to do: give --write, --poll, a .zmd file or a workspace\n");
    return kExitBadOption;
  }
  if (documents.size() > 32) {
    std::fprintf(stderr, "zelmor: %s\n", res::text::kNoResources);
    return kExitNoResources;
  }
  if (!options.serialDevice.empty()) platform::SetSerialPortPath(1, options.serialDevice);

  std::vector<RunningPoll> polls(documents.size());
  me::InitEngine();
  platform::SetMessagePoster(QueuePost);
  // A signal during a slow connect must still end the run cleanly.
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);

  ConnectOutcome outcome = ConnectLink(options.settings);
  if (!outcome.connected) {
    std::fprintf(stderr, "zelmor: %s\n", outcome.message.c_str());
    platform::SetMessagePoster(nullptr);
    return kExitConnectFailed;
  }

  bool writesOk = true;
  for (const HeadlessWrite& w : options.writes) {
    if (gStop.load()) break;
    if (!RunWrite(w, options)) writesOk = false;
  }

  // The polls start after the writes, so every poll line shows written values.
  for (std::size_t k = 0; k < documents.size(); ++k) {
    RunningPoll& p = polls[k];
    p.document = documents[k];
    if (options.format >= 0) p.document.displayFormat = options.format;
    const PollDocumentData& d = p.document;
    p.slot = me::RegisterPoll(k + 1, platform::WM_ENGINE_NOTIFY, static_cast<std::uint16_t>(d.scanRate),
                              static_cast<std::uint16_t>(d.slaveId), static_cast<std::uint16_t>(d.function),
                              static_cast<std::uint16_t>(d.address), static_cast<std::uint16_t>(d.length), 0, 0);
    if (p.slot < 0) {
      std::fprintf(stderr, "zelmor: poll %zu (slave %d, function %d, address %d, length %d): %s\n", k + 1,
                   d.slaveId, d.function, d.address, d.length, res::text::kNoResources);
      DisconnectLink();
      platform::SetMessagePoster(nullptr);
      return kExitNoResources;
    }
    // A poll saved as disabled would never report; headless runs always poll.
    me::SetPollMode(p.slot, me::kModeContinuous);
  }

  std::size_t finished = 0;
  while (!polls.empty() && !gStop.load() && (options.count == 0 || finished < polls.size())) {
    Notification n;
    {
      std::unique_lock<std::mutex> lock(gQueueMutex);
      // Wake now and then to notice a signal.
      if (!gQueueReady.wait_for(lock, std::chrono::milliseconds(100), [] { return !gQueue.empty(); })) continue;
      n = gQueue.front();
      gQueue.pop_front();
    }
    if (n.message != platform::WM_ENGINE_NOTIFY || n.window == 0 || n.window > polls.size()) continue;
    RunningPoll& p = polls[n.window - 1];
    if (n.lParam != p.slot) continue;
    if (options.count > 0 && p.completed >= options.count) continue;
    auto result = static_cast<std::uint16_t>(n.wParam);
    const PollDocumentData& d = p.document;
    CopyPollValues(p.slot, d.function, d.displayFormat, p.values);
    LogPoll log{d.function, d.address, d.length, d.displayFormat, d.oneBased != 0, p.values, sizeof p.values};
    std::string line = ComposeLogLine(LogTimeText(std::time(nullptr)), log, result, options.delimiter);
    if (options.timing) {
      me::ResponseTimes times;
      me::ReadResponseTimes(p.slot, &times);
      line += TimingFields(times, options.delimiter);
    }
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    if (++p.completed == options.count) ++finished;
  }

  DisconnectLink();
  for (RunningPoll& p : polls) me::UnregisterPoll(p.slot);
  platform::SetMessagePoster(nullptr);
  return writesOk ? kExitOk : kExitWriteFailed;
}

}  // namespace zelmor
