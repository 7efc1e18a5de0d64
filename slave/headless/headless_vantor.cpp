// vantor --headless, the run: loads and registers the definitions, opens the link
// and serves until a signal. The arguments are read in headless_vantor_options.cpp.
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

#include "common/modbus_protocol.h"
#include "common/options.h"
#include "common/register_map.h"
#include "link/serial_link.h"
#include "platform/messages.h"
#include "platform/port_map.h"
#include "slave/core/register_map_definitions.h"
#include "slave/core/slave_settings.h"
#include "slave/engine/identity.h"
#include "slave/engine/receive_loop.h"
#include "slave/engine/slave_engine.h"
#include "slave/engine/tcp_server.h"
#include "slave/headless/headless_replay.h"
#include "slave/headless/headless_simulation.h"
#include "slave/headless/headless_vantor_options.h"

namespace headless {
namespace {

using cmdline::kExitBadOption;
using cmdline::kExitFailed;
using cmdline::kExitOk;

constexpr platform::WindowHandle kOwnerWindow = 1;
// The serial link reaches devices by port number; the headless runner maps its
// device to this one.
constexpr int kSerialPortNumber = 1;

RefreshHandler refreshHandler = nullptr;
std::atomic<std::uint32_t> pendingRefresh{0};
int wakeWrite = -1;
std::uint32_t trafficCounter = 0;

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

std::string LinkDescription(const VantorOptions& o) {
  if (o.tcp && o.framing == slavetcp::Framing::kMbap) {
    const std::string host = o.tcpAddress.empty() ? "0.0.0.0" : o.tcpAddress;
    return host + ":" + std::to_string(slavetcp::ListeningPort());
  }
  if (o.tcp) return slavesettings::ServingText(static_cast<int>(o.framing), slavetcp::ListeningAddress(), slavetcp::ListeningPort());
  const char parity = cmdline::ParityLetter(o.parity);
  return o.serialDevice + " (" + (o.ascii ? "ASCII" : "RTU") + ", " + std::to_string(o.baud) + "-" +
         std::to_string(o.dataBits) + "-" + parity + "-" + (o.stopBits == cmdline::kStopBitsTwo ? "2" : "1") + ")";
}

// A register map into the definitions so far: values into those that hold them,
// new definitions for the rest. Nothing changes when the map is refused.
int ApplyMap(const DefinitionArgument& argument, std::vector<HeadlessDefinition>* definitions) {
  regmap::RegisterMap map;
  std::string error;
  std::vector<vnd::VndDocument> documents;
  for (const HeadlessDefinition& d : *definitions) documents.push_back(d.document);
  if (!regmap::LoadRegisterMap(argument.text, &map, &error) ||
      !vantormap::ApplyRegisterMap(map, argument.mapSlaveId, &documents, &error)) {
    std::fprintf(stderr, "vantor: %s: %s\n", argument.text.c_str(), error.c_str());
    return kExitFailed;
  }
  for (std::size_t k = 0; k < documents.size(); ++k) {
    if (k < definitions->size()) {
      (*definitions)[k].document = documents[k];
      continue;
    }
    HeadlessDefinition d;
    d.source = argument.text;
    d.document = documents[k];
    definitions->push_back(std::move(d));
  }
  return kExitOk;
}

// The definitions in the order given, with the .vnd files and register maps read.
int LoadDefinitions(const VantorOptions& o, std::vector<HeadlessDefinition>* definitions) {
  for (const DefinitionArgument& argument : o.definitions) {
    if (argument.isMap) {
      if (ApplyMap(argument, definitions) != kExitOk) return kExitFailed;
      continue;
    }
    HeadlessDefinition d;
    d.source = argument.text;
    d.fromFile = argument.isFile;
    d.document = argument.document;
    std::string error;
    if (argument.isFile && !vnd::LoadVndFile(argument.text, &d.document, &error)) {
      std::fprintf(stderr, "vantor: %s: %s\n", argument.text.c_str(), error.c_str());
      return kExitFailed;
    }
    definitions->push_back(std::move(d));
  }
  return kExitOk;
}

// A fault option for one slave id needs a definition with that id.
int CheckFaultTargets(const VantorOptions& o, const std::vector<HeadlessDefinition>& definitions) {
  for (const FaultOption& f : o.faults) {
    bool named = f.id < 0;
    for (const HeadlessDefinition& d : definitions) named = named || d.document.slaveId == f.id;
    if (!named) {
      std::fprintf(stderr, "vantor: %s %d=%s: no definition with slave id %d\nTry 'vantor --headless --help'.\n",
                   f.name.c_str(), f.id, f.value.c_str(), f.id);
      return kExitBadOption;
    }
  }
  return kExitOk;
}

// Registers every definition with its values and faults; stops at the first
// one the engine refuses.
int RegisterDefinitions(const VantorOptions& o, std::vector<HeadlessDefinition>& definitions) {
  for (HeadlessDefinition& d : definitions) {
    const vnd::VndDocument& doc = d.document;
    const bool fits = doc.slaveId >= 0 && doc.slaveId <= modbus::MAX_UNIT_ID && doc.table >= 0 &&
                      doc.table <= 0xFFFF && doc.address >= 0 && doc.address <= 0xFFFF && doc.length >= 0 &&
                      doc.length <= 0xFFFF;
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
      return kExitFailed;
    }
    for (int i = 0; i < slaveengine::kDataAreaSize / 2; ++i) {
      std::uint16_t word;
      std::memcpy(&word, doc.valueImage.data() + 2 * i, 2);
      slaveengine::SetRegisterValue(d.slot, i, word);
    }
    slaveengine::SetSlotFaults(d.slot, FaultsFor(o, doc.slaveId));
  }
  return kExitOk;
}

int OpenLink(const VantorOptions& o) {
  if (o.tcp) {
    if (slavetcp::StartTcpServer(o.tcpAddress, o.tcpPort, o.framing) == 0) return kExitOk;
    std::fprintf(stderr, "vantor: Modbus/TCP Connection Failed. %s\n", slavetcp::LastTcpServerError().c_str());
    return kExitFailed;
  }
  platform::SetSerialPortPath(kSerialPortNumber, o.serialDevice);
  if (slaveloop::OpenSlaveSerialPort(kSerialPortNumber, o.baud, o.dataBits, o.parity, o.stopBits)) return kExitOk;
  std::fprintf(stderr, "vantor: Port not available: %s: %s\n", o.serialDevice.c_str(),
               platform::SerialOpenErrorText(linklayer::LastSerialOpenError()).c_str());
  return kExitFailed;
}

void CloseLink(const VantorOptions& o) {
  if (o.tcp) slavetcp::StopTcpServer();
  else slaveloop::CloseSlaveSerialPort();
}

int StartReceiving(const VantorOptions& o) {
  for (const identityentries::IdentityEntry& e : o.identity) slaveidentity::SetObject(e.slaveId, e.objectId, e.text);
  slaveloop::SetLinkMode(o.tcp ? slaveloop::kLinkTcp : o.ascii ? slaveloop::kLinkAscii : slaveloop::kLinkRtu);
  slaveengine::SetIgnoreUnitId(o.tcp && o.ignoreUnitId);
  if (o.traffic) slaveengine::SetFrameObserver(PrintTraffic);
  if (slaveloop::StartReceiveThread()) return kExitOk;
  std::fprintf(stderr, "vantor: cannot start the receive thread\n");
  return kExitFailed;
}

// Runs the refresh handler for the slots the engine noted, until a stop signal;
// a replay is stepped on every wake and wakes the loop when its next sample is due.
void ServeUntilSignal(int signalDescriptor, int wakeRead, std::vector<HeadlessDefinition>& definitions) {
  pollfd waits[2] = {{signalDescriptor, POLLIN, 0}, {wakeRead, POLLIN, 0}};
  for (;;) {
    if (::poll(waits, 2, StepReplay()) < 0) {
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
      while (::read(wakeRead, drain, sizeof drain) > 0) {
      }
      const std::uint32_t due = pendingRefresh.exchange(0);
      if (refreshHandler)
        for (HeadlessDefinition& d : definitions)
          if (d.slot >= 0 && (due & (1u << d.slot))) refreshHandler(d);
    }
  }
}

// Registers, opens the link and serves until SIGINT or SIGTERM; everything it
// set up is taken down again whatever the outcome.
int Serve(const VantorOptions& options, std::vector<HeadlessDefinition>& definitions) {
  slaveengine::InitEngine();
  slaveengine::SetFaultSeed(options.seed);
  int wakePipe[2];
  if (::pipe2(wakePipe, O_NONBLOCK | O_CLOEXEC) != 0) {
    std::fprintf(stderr, "vantor: pipe: %s\n", std::strerror(errno));
    return kExitFailed;
  }
  wakeWrite = wakePipe[1];
  platform::SetMessagePoster(PostFromEngine);
  int status = RegisterDefinitions(options, definitions);
  if (status == kExitOk)
    for (HeadlessDefinition& d : definitions) StartSimulation(d);
  if (status == kExitOk) StartReplay(definitions);

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
  if (status == kExitOk) {
    status = OpenLink(options);
    linkOpen = status == kExitOk;
  }
  if (status == kExitOk) status = StartReceiving(options);
  if (status == kExitOk) {
    std::fprintf(stderr, "vantor: serving %s on %s\n",
                 cmdline::CountText(definitions.size(), "definition", "definitions").c_str(),
                 LinkDescription(options).c_str());
    std::fflush(stderr);
    AnnounceReplay();
    ServeUntilSignal(signalDescriptor, wakePipe[0], definitions);
    slaveloop::StopReceiveThread();
  }

  StopReplay();
  if (linkOpen) CloseLink(options);
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

}  // namespace

void SetRefreshHandler(RefreshHandler handler) { refreshHandler = handler; }

int RunHeadlessVantor(int argc, char** argv) {
  VantorOptions options;
  std::string error;
  if (!ParseVantorOptions(std::vector<std::string>(argv + 1, argv + argc), &options, &error)) {
    std::fprintf(stderr, "vantor: %s\nTry 'vantor --headless --help'.\n", error.c_str());
    return kExitBadOption;
  }
  if (options.help) {
    std::fputs(HeadlessUsage().c_str(), stdout);
    return kExitOk;
  }
  std::vector<HeadlessDefinition> definitions;
  int status = LoadDefinitions(options, &definitions);
  if (status == kExitOk) status = CheckFaultTargets(options, definitions);
  if (status != kExitOk) return status;
  status = AttachReplay(options, &definitions);
  if (status != kExitOk) return status;
  status = AttachSimulations(options, &definitions);
  if (status != kExitOk) return status;
  return Serve(options, definitions);
}

}  // namespace headless
