#include "slave/headless/headless_vantor.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>
#include <vector>

#include "slave/engine/faults.h"

#include "link/serial_link.h"
#include "platform/messages.h"
#include "platform/port_map.h"
#include "slave/engine/receive_loop.h"
#include "slave/engine/slave_engine.h"
#include "slave/engine/tcp_server.h"

namespace headless {
namespace {

constexpr platform::WindowHandle kOwnerWindow = 1;
// The serial link reaches devices by port number; the headless runner maps its
// device to this one.
constexpr int kSerialPortNumber = 1;

RefreshHandler refreshHandler = nullptr;
std::atomic<std::uint32_t> pendingRefresh{0};
int wakeWrite = -1;
std::uint32_t trafficCounter = 0;

// One definition source in command-line order: a .vnd path or a --slave value.
struct DefinitionArgument {
  bool isFile = false;
  std::string text;
};

// One fault option in command-line order: it sets its part of the faults of
// every definition, or of those with slave id `id` only.
struct FaultOption {
  int id = -1;  // -1: every definition
  std::string name;
  std::string value;
  bool (*parse)(const std::string&, slavefaults::FaultSettings*, std::string*) = nullptr;
};

struct Options {
  std::vector<DefinitionArgument> definitions;
  std::vector<FaultOption> faults;
  std::uint64_t seed = 0;
  bool tcp = false;
  std::string tcpAddress;
  std::uint16_t tcpPort = slavetcp::kDefaultPort;
  std::string serialDevice;
  std::uint32_t baud = 9600;
  int parity = 0;  // 0 none, 1 odd, 2 even
  int dataBits = 8;
  int stopBits = 0;  // 0 one, 2 two
  bool ascii = false;
  bool ignoreUnitId = false;
  bool traffic = false;
  bool help = false;
};

class UsageError {
 public:
  explicit UsageError(std::string text) : text(std::move(text)) {}
  std::string text;
};

bool ParseNumber(const std::string& text, unsigned long max, unsigned long* out) {
  if (text.empty() || text.size() > 10) return false;
  unsigned long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned long>(c - '0');
  }
  if (value > max) return false;
  *out = value;
  return true;
}

// Parses argv into options; a message in *error for the first bad one.
bool ParseOptions(int argc, char** argv, Options* o, std::string* error) {
  auto value = [&](int& i, const char* name, std::string* out) {
    if (i + 1 >= argc) {
      *error = std::string("option ") + name + " needs a value";
      return false;
    }
    *out = argv[++i];
    return true;
  };
  bool serialOptions = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    std::string v;
    unsigned long n = 0;
    if (arg == "--headless") continue;
    if (arg == "--help" || arg == "-h") {
      o->help = true;
    } else if (arg == "--slave") {
      if (!value(i, "--slave", &v)) return false;
      o->definitions.push_back({false, v});
    } else if (arg == "--tcp") {
      if (!value(i, "--tcp", &v)) return false;
      const std::size_t colon = v.rfind(':');
      const std::string port = colon == std::string::npos ? v : v.substr(colon + 1);
      if (colon != std::string::npos) o->tcpAddress = v.substr(0, colon);
      if (!ParseNumber(port, 65535, &n)) {
        *error = "bad --tcp value '" + v + "' (expected [ADDRESS:]PORT)";
        return false;
      }
      o->tcp = true;
      o->tcpPort = static_cast<std::uint16_t>(n);
    } else if (arg == "--serial") {
      if (!value(i, "--serial", &o->serialDevice)) return false;
    } else if (arg == "--baud") {
      if (!value(i, "--baud", &v)) return false;
      if (!ParseNumber(v, 4000000, &n) || n == 0) {
        *error = "bad --baud value '" + v + "'";
        return false;
      }
      o->baud = static_cast<std::uint32_t>(n);
      serialOptions = true;
    } else if (arg == "--parity") {
      if (!value(i, "--parity", &v)) return false;
      if (v == "N" || v == "n") o->parity = 0;
      else if (v == "O" || v == "o") o->parity = 1;
      else if (v == "E" || v == "e") o->parity = 2;
      else {
        *error = "bad --parity value '" + v + "' (expected N, E or O)";
        return false;
      }
      serialOptions = true;
    } else if (arg == "--data-bits") {
      if (!value(i, "--data-bits", &v)) return false;
      if (v != "7" && v != "8") {
        *error = "bad --data-bits value '" + v + "' (expected 7 or 8)";
        return false;
      }
      o->dataBits = v == "7" ? 7 : 8;
      serialOptions = true;
    } else if (arg == "--stop-bits") {
      if (!value(i, "--stop-bits", &v)) return false;
      if (v != "1" && v != "2") {
        *error = "bad --stop-bits value '" + v + "' (expected 1 or 2)";
        return false;
      }
      o->stopBits = v == "2" ? 2 : 0;
      serialOptions = true;
    } else if (arg == "--ascii") {
      o->ascii = true;
      serialOptions = true;
    } else if (arg == "--ignore-unit-id") {
      o->ignoreUnitId = true;
    } else if (arg == "--traffic") {
      o->traffic = true;
    } else if (arg == "--delay" || arg == "--exception" || arg == "--drop" || arg == "--corrupt" ||
               arg == "--busy") {
      if (!value(i, arg.c_str(), &v)) return false;
      FaultOption f;
      f.name = arg;
      f.parse = arg == "--delay"       ? slavefaults::ParseDelay
                : arg == "--exception" ? slavefaults::ParseException
                : arg == "--drop"      ? slavefaults::ParseDrop
                : arg == "--corrupt"   ? slavefaults::ParseCorrupt
                                       : slavefaults::ParseBusy;
      f.value = v;
      const std::size_t equals = v.find('=');
      if (equals != std::string::npos) {
        if (!ParseNumber(v.substr(0, equals), 255, &n)) {
          *error = "bad " + arg + " value '" + v + "' (the prefix before '=' is a slave id 0-255)";
          return false;
        }
        f.id = static_cast<int>(n);
        f.value = v.substr(equals + 1);
      }
      slavefaults::FaultSettings scratch;
      std::string why;
      if (!f.parse(f.value, &scratch, &why)) {
        *error = arg + ": " + why;
        return false;
      }
      o->faults.push_back(f);
    } else if (arg == "--seed") {
      if (!value(i, "--seed", &v)) return false;
      std::uint64_t seed = 0;
      bool ok = !v.empty() && v.size() <= 19;
      for (char c : v) ok = ok && c >= '0' && c <= '9', seed = seed * 10 + static_cast<std::uint64_t>(c - '0');
      if (!ok) {
        *error = "bad --seed value '" + v + "' (expected a decimal number)";
        return false;
      }
      o->seed = seed;
    } else if (arg.size() > 1 && arg[0] == '-') {
      *error = "unknown option '" + arg + "'";
      return false;
    } else {
      o->definitions.push_back({true, arg});
    }
  }
  if (o->help) return true;
  if (o->tcp && !o->serialDevice.empty()) {
    *error = "choose either --tcp or --serial";
    return false;
  }
  if (!o->serialDevice.empty() && o->ignoreUnitId) {
    *error = "--ignore-unit-id applies to --tcp only";
    return false;
  }
  if (o->serialDevice.empty() && serialOptions) {
    *error = "--baud, --parity, --data-bits, --stop-bits and --ascii need --serial";
    return false;
  }
  if (o->serialDevice.empty()) o->tcp = true;  // Modbus/TCP on port 502 unless told otherwise
  if (o->definitions.empty()) {
    *error = "no slave definitions (give .vnd files or --slave ID:TABLE:ADDRESS:LENGTH)";
    return false;
  }
  return true;
}

// The faults of one definition: every option that names no id or its id, in order.
slavefaults::FaultSettings FaultsFor(const Options& o, int slaveId) {
  slavefaults::FaultSettings settings;
  std::string ignored;
  for (const FaultOption& f : o.faults)
    if (f.id < 0 || f.id == slaveId) f.parse(f.value, &settings, &ignored);
  return settings;
}

// "ID:TABLE:ADDRESS:LENGTH" into a document.
bool ParseSlave(const std::string& text, vnd::VndDocument* d, std::string* error) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t colon = text.find(':', start);
    parts.push_back(text.substr(start, colon - start));
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  unsigned long id = 0, table = 0, address = 0, length = 0;
  if (parts.size() != 4 || !ParseNumber(parts[0], 255, &id) || !ParseNumber(parts[1], 4, &table) || table < 1 ||
      !ParseNumber(parts[2], 65535, &address) || !ParseNumber(parts[3], 65535, &length) || length < 1) {
    *error = "bad --slave value '" + text +
             "' (expected ID:TABLE:ADDRESS:LENGTH with ID 0-255, TABLE 1-4, ADDRESS 0-65535, LENGTH from 1)";
    return false;
  }
  d->slaveId = static_cast<std::int32_t>(id);
  d->table = static_cast<std::int32_t>(table);
  d->address = static_cast<std::int32_t>(address);
  d->length = static_cast<std::int32_t>(length);
  return true;
}

// Posted by the engine (possibly under its lock): only note the slot and wake
// the main thread, which runs the refresh handler.
void PostFromEngine(platform::WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                    std::intptr_t lParam) {
  if (window != kOwnerWindow || message != platform::WM_ENGINE_NOTIFY || wParam != 0) return;
  if (lParam < 0 || lParam >= slaveengine::kSlotCount) return;
  const std::uint32_t bit = 1u << lParam;
  if (!(pendingRefresh.fetch_or(bit) & bit) && wakeWrite >= 0) {
    const char wake = 1;
    [[maybe_unused]] ssize_t ignored = ::write(wakeWrite, &wake, 1);
  }
}

void PrintTraffic(bool sent, const std::uint8_t* bytes, std::uint16_t length) {
  std::uint32_t delayMs = 0;
  const std::uint8_t marks = sent ? slaveengine::LastSentMarks(&delayMs) : 0;
  if (length == 0 && marks == 0) return;
  static char line[80 + 3 * slaveengine::kFrameCopySize];
  int n = std::snprintf(line, 16, "%06u-", trafficCounter++);
  std::memcpy(line + n, sent ? "Tx:" : "Rx:", 3);
  n += 3;
  for (std::uint16_t i = 0; i < length; ++i) n += std::snprintf(line + n, 4, "%02X ", bytes[i]);
  if (marks != 0) n += std::snprintf(line + n, 64, "%s", slavefaults::FaultMarkText(marks, delayMs).c_str());
  line[n++] = '\n';
  std::fwrite(line, 1, static_cast<std::size_t>(n), stdout);
  std::fflush(stdout);
}

std::string LinkDescription(const Options& o) {
  if (o.tcp) {
    const std::string host = o.tcpAddress.empty() ? "0.0.0.0" : o.tcpAddress;
    return host + ":" + std::to_string(slavetcp::ListeningPort());
  }
  const char parity = o.parity == 0 ? 'N' : o.parity == 1 ? 'O' : 'E';
  return o.serialDevice + " (" + (o.ascii ? "ASCII" : "RTU") + ", " + std::to_string(o.baud) + "-" +
         std::to_string(o.dataBits) + "-" + parity + "-" + (o.stopBits == 2 ? "2" : "1") + ")";
}

}  // namespace

void SetRefreshHandler(RefreshHandler handler) { refreshHandler = handler; }

std::string HeadlessUsage() {
  return "Usage: vantor --headless [OPTIONS] [FILE.vnd ...]\n"
         "Serves slave definitions without a window until SIGINT or SIGTERM.\n"
         "\n"
         "Definitions (any number, registered in the order given):\n"
         "  FILE.vnd                      a saved slave definition with its values\n"
         "  --slave ID:TABLE:ADDRESS:LENGTH\n"
         "                                TABLE 1 coils, 2 discrete inputs, 3 holding registers,\n"
         "                                4 input registers; ADDRESS is the protocol (0-based) address\n"
         "Link (default: Modbus/TCP on port 502 of every local address):\n"
         "  --tcp [ADDRESS:]PORT          Modbus/TCP server (port 0 picks a free port)\n"
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
         "Other:\n"
         "  --traffic                     print every received and sent frame on standard output\n"
         "                                (injected faults are marked \"[fault: ...]\")\n"
         "  --help                        this text\n"
         "\n"
         "A line \"vantor: serving N definitions on ...\" on standard error says it is ready.\n";
}

int RunHeadlessVantor(int argc, char** argv) {
  Options options;
  std::string error;
  if (!ParseOptions(argc, argv, &options, &error)) {
    std::fprintf(stderr, "vantor: %s\nTry 'vantor --headless --help'.\n", error.c_str());
    return 2;
  }
  if (options.help) {
    std::fputs(HeadlessUsage().c_str(), stdout);
    return 0;
  }

  // Definitions, in the order given.
  std::vector<HeadlessDefinition> definitions;
  for (const DefinitionArgument& argument : options.definitions) {
    HeadlessDefinition d;
    d.source = argument.text;
    d.fromFile = argument.isFile;
    if (argument.isFile) {
      if (!vnd::LoadVndFile(argument.text, &d.document, &error)) {
        std::fprintf(stderr, "vantor: %s: %s\n", argument.text.c_str(), error.c_str());
        return 1;
      }
    } else if (!ParseSlave(argument.text, &d.document, &error)) {
      std::fprintf(stderr, "vantor: %s\nTry 'vantor --headless --help'.\n", error.c_str());
      return 2;
    }
    definitions.push_back(std::move(d));
  }

  for (const FaultOption& f : options.faults) {
    bool named = f.id < 0;
    for (const HeadlessDefinition& d : definitions) named = named || d.document.slaveId == f.id;
    if (!named) {
      std::fprintf(stderr, "vantor: %s %d=%s: no definition with slave id %d\nTry 'vantor --headless --help'.\n",
                   f.name.c_str(), f.id, f.value.c_str(), f.id);
      return 2;
    }
  }

  slaveengine::InitEngine();
  slaveengine::SetFaultSeed(options.seed);
  int wakePipe[2];
  if (::pipe2(wakePipe, O_NONBLOCK | O_CLOEXEC) != 0) {
    std::fprintf(stderr, "vantor: pipe: %s\n", std::strerror(errno));
    return 1;
  }
  wakeWrite = wakePipe[1];
  platform::SetMessagePoster(PostFromEngine);

  int status = 0;
  for (HeadlessDefinition& d : definitions) {
    const vnd::VndDocument& doc = d.document;
    const bool fits = doc.slaveId >= 0 && doc.slaveId <= 255 && doc.table >= 0 && doc.table <= 0xFFFF &&
                      doc.address >= 0 && doc.address <= 0xFFFF && doc.length >= 0 && doc.length <= 0xFFFF;
    d.slot = fits ? slaveengine::RegisterSlot(kOwnerWindow, platform::WM_ENGINE_NOTIFY, 0,
                                              static_cast<std::uint16_t>(doc.slaveId),
                                              static_cast<std::uint16_t>(doc.table),
                                              static_cast<std::uint16_t>(doc.address),
                                              static_cast<std::uint16_t>(doc.length))
                  : -1;
    if (d.slot < 0) {
      std::fprintf(stderr,
                   "vantor: %s: definition refused (slave id %d, table %d, address %d, length %d): "
                   "No more data resources.\n",
                   d.source.c_str(), doc.slaveId, doc.table, doc.address, doc.length);
      status = 1;
      break;
    }
    for (int i = 0; i < slaveengine::kDataAreaSize / 2; ++i) {
      std::uint16_t word;
      std::memcpy(&word, doc.valueImage.data() + 2 * i, 2);
      slaveengine::SetRegisterValue(d.slot, i, word);
    }
    slaveengine::SetSlotFaults(d.slot, FaultsFor(options, doc.slaveId));
  }

  // Signals are taken through a descriptor; block them before the receive
  // thread starts so that it inherits the mask.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigset_t previousMask;
  pthread_sigmask(SIG_BLOCK, &stopSignals, &previousMask);
  std::signal(SIGPIPE, SIG_IGN);
  const int signalDescriptor = ::signalfd(-1, &stopSignals, SFD_CLOEXEC);

  bool linkOpen = false;
  if (status == 0) {
    if (options.tcp) {
      if (slavetcp::StartTcpServer(options.tcpAddress, options.tcpPort) != 0) {
        std::fprintf(stderr, "vantor: Modbus/TCP Connection Failed. %s\n", slavetcp::LastTcpServerError().c_str());
        status = 1;
      }
    } else {
      platform::SetSerialPortPath(kSerialPortNumber, options.serialDevice);
      if (!slaveloop::OpenSlaveSerialPort(kSerialPortNumber, options.baud, options.dataBits, options.parity,
                                          options.stopBits)) {
        std::fprintf(stderr, "vantor: Port not available: %s: %s\n", options.serialDevice.c_str(),
                     platform::SerialOpenErrorText(linklayer::LastSerialOpenError()).c_str());
        status = 1;
      }
    }
    linkOpen = status == 0;
  }

  if (status == 0) {
    slaveloop::SetLinkMode(options.tcp ? slaveloop::kLinkTcp : options.ascii ? slaveloop::kLinkAscii
                                                                             : slaveloop::kLinkRtu);
    slaveengine::SetIgnoreUnitId(options.tcp && options.ignoreUnitId);
    if (options.traffic) slaveengine::SetFrameObserver(PrintTraffic);
    if (!slaveloop::StartReceiveThread()) {
      std::fprintf(stderr, "vantor: cannot start the receive thread\n");
      status = 1;
    }
  }

  if (status == 0) {
    std::fprintf(stderr, "vantor: serving %zu definitions on %s\n", definitions.size(),
                 LinkDescription(options).c_str());
    std::fflush(stderr);
    pollfd waits[2] = {{signalDescriptor, POLLIN, 0}, {wakePipe[0], POLLIN, 0}};
    for (;;) {
      if (::poll(waits, 2, -1) < 0) {
        if (errno == EINTR) continue;
        break;
      }
      if (waits[0].revents & POLLIN) {
        // Take the signal, so that it is not delivered again once unblocked.
        signalfd_siginfo info;
        [[maybe_unused]] ssize_t taken = ::read(signalDescriptor, &info, sizeof info);
        break;
      }
      if (waits[1].revents & POLLIN) {
        char drain[64];
        while (::read(wakePipe[0], drain, sizeof drain) > 0) {
        }
        const std::uint32_t due = pendingRefresh.exchange(0);
        if (refreshHandler)
          for (HeadlessDefinition& d : definitions)
            if (d.slot >= 0 && (due & (1u << d.slot))) refreshHandler(d);
      }
    }
    slaveloop::StopReceiveThread();
  }

  if (linkOpen) {
    if (options.tcp) slavetcp::StopTcpServer();
    else slaveloop::CloseSlaveSerialPort();
  }
  slaveengine::SetFrameObserver(nullptr);
  platform::SetMessagePoster(nullptr);
  for (const HeadlessDefinition& d : definitions)
    if (d.slot >= 0) slaveengine::ReleaseSlot(d.slot);
  wakeWrite = -1;
  ::close(wakePipe[0]);
  ::close(wakePipe[1]);
  if (signalDescriptor >= 0) ::close(signalDescriptor);
  pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
  return status;
}

}  // namespace headless
