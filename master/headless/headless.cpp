// zelmor --headless, the run: loads the documents, connects, sends the writes and
// prints the polls. The arguments are read in headless_options.cpp.
#include "master/headless/headless.h"

#include <atomic>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <deque>
#include <mutex>

#include "common/modbus_protocol.h"
#include "common/value_format.h"
#include "master/core/device_identification.h"
#include "master/core/device_recording.h"
#include "master/core/engine_glue.h"
#include "master/core/pdu_frames.h"
#include "master/core/poll_register_map.h"
#include "master/core/poll_results.h"
#include "master/core/write_values.h"
#include "master/engine/comm_interface.h"
#include "platform/messages.h"
#include "platform/port_map.h"
#include "resources/zelmor_resources.h"

namespace zelmor {

namespace me = masterengine;

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
  regmap::RegisterMap map;  // read for --export-map from the document's map path
};

// A document whose definition the scheduler would refuse: say which field is wrong.
bool Accept(const std::string& path, const PollDocumentData& d, std::vector<PollDocumentData>* documents) {
  std::string problem = PollDocumentProblem(d);
  if (!problem.empty()) {
    std::fprintf(stderr, "zelmor: %s: %s\n", path.c_str(), problem.c_str());
    return false;
  }
  documents->push_back(d);
  return true;
}

// One document named by a workspace. An entry that cannot be read (a device or
// FIFO is refused unread) gets a line with the reason before the run ends.
bool LoadWorkspaceEntry(const std::string& workspacePath, const std::string& entry,
                        std::vector<PollDocumentData>* documents) {
  std::vector<std::uint8_t> bytes;
  std::string error, problem;
  PollDocumentData d;
  bool read = archive::ReadFile(entry, &bytes, &error, kMaxPollDocumentFileSize);
  if (!read) std::fprintf(stderr, "zelmor: %s: %s\n", entry.c_str(), error.c_str());
  if (read && DecodePollDocument(bytes, &d, &problem) == DocumentReadResult::kOk) return Accept(entry, d, documents);
  if (!problem.empty())
    std::fprintf(stderr, "zelmor: %s: %s\n", entry.c_str(), problem.c_str());
  else
    std::fprintf(stderr, "zelmor: %s: cannot read the poll document %s\n", workspacePath.c_str(), entry.c_str());
  return false;
}

// A workspace: its link unless --tcp or --serial gave one, and its documents.
bool LoadWorkspace(const std::string& path, const std::vector<std::uint8_t>& bytes, HeadlessOptions& o,
                   std::vector<PollDocumentData>* documents) {
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
    if (!LoadWorkspaceEntry(path, record.path, documents)) return false;
  }
  return true;
}

bool LoadDocument(const std::string& path, const std::vector<std::uint8_t>& bytes,
                  std::vector<PollDocumentData>* documents) {
  PollDocumentData d;
  std::string problem;
  auto result = DecodePollDocument(bytes, &d, &problem);
  if (result != DocumentReadResult::kOk) {
    std::fprintf(stderr, "zelmor: %s: %s\n", path.c_str(),
                 !problem.empty()                            ? problem.c_str()
                 : result == DocumentReadResult::kFormatError ? res::text::kFileFormatError
                                                              : res::text::kUnexpectedFileFormat);
    return false;
  }
  return Accept(path, d, documents);
}

bool LoadFiles(HeadlessOptions& o, std::vector<PollDocumentData>* documents) {
  for (const std::string& path : o.files) {
    std::vector<std::uint8_t> bytes;
    std::string error;
    bool workspace = LooksLikeWorkspace(path);
    if (!archive::ReadFile(path, &bytes, &error, workspace ? kMaxWorkspaceFileSize : kMaxPollDocumentFileSize)) {
      std::fprintf(stderr, "zelmor: %s%s\n", path.c_str(), res::text::kWasNotFound);
      return false;
    }
    bool loaded = workspace ? LoadWorkspace(path, bytes, o, documents) : LoadDocument(path, bytes, documents);
    if (!loaded) return false;
  }
  return true;
}

constexpr std::size_t kMaxPolls = me::kSlotCount - 1;  // slot 0 is the one-shot
constexpr platform::WindowHandle kWriteWindow = 1000;  // above the poll windows 1..32
constexpr std::uint32_t kWriteWaitMarginMs = 5000;

// Waits for the completion of the one-shot request of window, at most boundMs.
bool WaitForOneShot(platform::WindowHandle window, int boundMs, std::uint16_t* result) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMs);
  std::unique_lock<std::mutex> lock(gQueueMutex);
  while (!gStop.load() && std::chrono::steady_clock::now() < deadline) {
    gQueueReady.wait_for(lock, std::chrono::milliseconds(100), [] { return !gQueue.empty(); });
    while (!gQueue.empty()) {
      Notification n = gQueue.front();
      gQueue.pop_front();
      if (n.window == window && n.message == platform::WM_ENGINE_NOTIFY && n.lParam == 0) {
        *result = static_cast<std::uint16_t>(n.wParam);
        return true;
      }
    }
  }
  lock.unlock();
  // Given up: free the one-shot slot, so that the next request is not refused;
  // a late outcome of this one is then dropped by the engine.
  me::UnregisterPoll(0);
  return false;
}

// Waits for the completion of the write. The poll thread may first
// finish a poll's transaction, then runs the write's; either may wait for
// replies for LongestReplyWaitMs (stale transaction ids skipped), and the
// margin covers a reconnect, the pause between polls and the line. A request
// served while the link was down posts nothing: the wait ends at that bound.
bool WaitForWrite(int timeoutMs, std::uint16_t* result) {
  const std::uint32_t boundMs = 2 * me::LongestReplyWaitMs(static_cast<std::uint32_t>(timeoutMs)) + kWriteWaitMarginMs;
  return WaitForOneShot(kWriteWindow, static_cast<int>(boundMs), result);
}

// Hands one write to the one-shot slot with its data; 1 when the engine took it.
int SubmitWrite(const HeadlessWrite& w, const HeadlessOptions& o, int format) {
  auto slave = static_cast<std::uint16_t>(w.slave);
  auto address = static_cast<std::uint16_t>(w.address);
  auto type = static_cast<std::uint16_t>(w.function);
  int accepted = 0;
  int registers = WrittenRegisterCount(format, static_cast<int>(w.words.size()));
  switch (w.function) {
    case modbus::FC_MASK_WRITE_REGISTER:
      accepted = me::SubmitOneShot(kWriteWindow, platform::WM_ENGINE_NOTIFY, slave, type, w.andMask, w.orMask,
                                   address, 1);
      break;
    case modbus::FC_WRITE_AND_READ_REGISTERS:
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
    if (modbus::IsBitFunction(w.function))
      accepted = me::SetWriteBytes(0, static_cast<int>(w.coils.size()), w.coils.data());
    else if (w.function != modbus::FC_MASK_WRITE_REGISTER)
      accepted = HandOverWriteValues(format, w.words.data(), static_cast<int>(w.words.size()));
  }
  return accepted;
}

// Sends one write through the one-shot slot and prints its result line.
bool RunWrite(const HeadlessWrite& w, const HeadlessOptions& o) {
  int format = o.format >= 0 ? o.format : valuefmt::kUnsigned;
  if (SubmitWrite(w, o, format) != 1) {
    std::fprintf(stdout, "write %s: refused by the engine\n", w.text.c_str());
    std::fflush(stdout);
    return false;
  }
  std::uint16_t result = me::RESULT_NO_CONNECTION;
  if (!WaitForWrite(o.settings.timeout, &result)) result = me::RESULT_NO_CONNECTION;
  std::fprintf(stdout, "write %s: %s\n", w.text.c_str(), WriteResultText(result).c_str());
  if (w.function == modbus::FC_WRITE_AND_READ_REGISTERS && result == 0) {
    // The registers read back, shown like a poll of holding registers.
    std::uint8_t values[kValueBytes] = {};
    CopyPollValues(0, modbus::FC_READ_HOLDING_REGISTERS, format, values);
    LogPoll log{modbus::FC_READ_HOLDING_REGISTERS, o.readAddress, o.readCount, format, true, values, sizeof values};
    std::string line = ComposeLogLine(LogTimeText(std::time(nullptr)), log, 0, o.delimiter);
    std::fprintf(stdout, "%s\n", line.c_str());
  }
  std::fflush(stdout);
  return result == 0;
}

// Runs the writes in order; false when any did not get "Response ok".
bool RunWrites(const HeadlessOptions& o) {
  bool writesOk = true;
  for (const HeadlessWrite& w : o.writes) {
    if (gStop.load()) break;
    if (!RunWrite(w, o)) writesOk = false;
  }
  return writesOk;
}

// One raw frame through the one-shot slot; the frame that came back, or the
// reason there is none.
std::string ExchangeFrame(const std::vector<std::uint8_t>& frame, int timeoutMs, std::vector<std::uint8_t>* reply) {
  if (me::SubmitOneShot(kWriteWindow, platform::WM_ENGINE_NOTIFY, 0, modbus::FC_RAW_FRAME, 0, 0, 0, 0) != 1)
    return "refused by the engine";
  if (me::SetWriteBytes(0, static_cast<int>(frame.size()), frame.data()) != 1) {
    me::UnregisterPoll(0);
    return "refused by the engine";
  }
  std::uint16_t result = me::RESULT_NO_CONNECTION;
  if (!WaitForWrite(timeoutMs, &result)) result = me::RESULT_NO_CONNECTION;
  if (result != me::RESULT_OK) return me::ResultText(result);
  std::uint8_t received[me::kSlotReceivedCapacity];
  reply->assign(received, received + me::CopySlotReceived(0, received));
  return {};
}

// Reads the identification of --identify, continuations included, and prints
// one object a line; false (the reason on standard error) when it fails.
bool RunIdentify(const HeadlessOptions& o) {
  const PduLink link = LinkOf(o.settings);
  const auto slave = static_cast<std::uint8_t>(o.identify);
  devid::Reading reading(static_cast<std::uint8_t>(o.identifyCode), 0);
  for (std::uint16_t transaction = 1; !reading.done() && !gStop.load(); ++transaction) {
    std::uint8_t request[devid::kMaxRequestPdu];
    const int length = reading.NextRequest(request);
    std::vector<std::uint8_t> frame, pdu;
    std::string fault = ExchangeFrame(FramePdu(link, slave, request, length, transaction), o.settings.timeout, &frame);
    if (fault.empty())
      fault = UnframePdu(link, slave, frame.data(), static_cast<int>(frame.size()), transaction, &pdu);
    if (fault.empty()) fault = reading.TakeReply(pdu.data(), static_cast<int>(pdu.size()));
    if (!fault.empty()) {
      if (pdu.size() >= 2 && (pdu[0] & modbus::EXCEPTION_FLAG))
        fault += std::string(" (") + me::ResultText(me::ExceptionResult(pdu[1])) + ")";
      std::fprintf(stderr, "zelmor: identify slave %d: %s\n", o.identify, fault.c_str());
      return false;
    }
  }
  for (const devid::DeviceObject& object : reading.objects()) {
    std::string line = devid::ObjectName(object.id) + ": " + devid::ObjectText(object.value);
    if (object.id >= modbus::DEVICE_OBJECT_FIRST_PRIVATE) line += " [" + devid::ObjectHex(object.value) + "]";
    std::fprintf(stdout, "%s\n", line.c_str());
  }
  std::fflush(stdout);
  return reading.done();
}

// A signal during a slow connect must still end the run cleanly.
void CatchStopSignals() {
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

// Registers every document as a continuous poll of window k + 1; false (with
// the reason printed) when the engine has no slot left.
bool RegisterPolls(const std::vector<PollDocumentData>& documents, const HeadlessOptions& o,
                   std::vector<RunningPoll>* polls) {
  for (std::size_t k = 0; k < documents.size(); ++k) {
    RunningPoll& p = (*polls)[k];
    p.document = documents[k];
    if (o.format >= 0) p.document.displayFormat = o.format;
    const PollDocumentData& d = p.document;
    p.slot = me::RegisterPoll(k + 1, platform::WM_ENGINE_NOTIFY, static_cast<std::uint16_t>(d.scanRate),
                              static_cast<std::uint16_t>(d.slaveId), static_cast<std::uint16_t>(d.function),
                              static_cast<std::uint16_t>(d.address), static_cast<std::uint16_t>(d.length), 0, 0);
    if (p.slot < 0) {
      std::fprintf(stderr, "zelmor: poll %zu (slave %d, function %d, address %d, length %d): %s\n", k + 1,
                   d.slaveId, d.function, d.address, d.length, res::text::kNoResources);
      return false;
    }
    // A poll saved as disabled would never report; headless runs always poll.
    me::SetPollMode(p.slot, me::kModeContinuous);
  }
  return true;
}

void PrintPollLine(RunningPoll& p, std::uint16_t result, const HeadlessOptions& o) {
  const PollDocumentData& d = p.document;
  CopyPollValues(p.slot, d.function, d.displayFormat, p.values);
  LogPoll log{d.function, d.address, d.length, d.displayFormat, d.oneBased != 0, p.values, sizeof p.values};
  std::string line = ComposeLogLine(LogTimeText(std::time(nullptr)), log, result, o.delimiter);
  if (o.timing) {
    me::ResponseTimes times;
    me::ReadResponseTimes(p.slot, &times);
    line += TimingFields(times, o.delimiter);
  }
  std::fputs(line.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

// The --record row of a completed poll; false (said on standard error) when it
// could not be written, which ends the recording.
bool RecordPoll(const RunningPoll& p, std::uint16_t result, const HeadlessOptions& o, DeviceRecording* recording) {
  if (!recording->active()) return true;
  const PollDocumentData& d = p.document;
  std::uint16_t raw[kValueBytes] = {};  // bits: one a value
  CopyRawValues(p.slot, d.function, d.length, raw);
  if (recording->record(result, d.slaveId, d.function, d.address, raw, d.length) != DeviceRecording::Outcome::kWriteFailed)
    return true;
  std::fprintf(stderr, "zelmor: %s: %s\n", o.recordPath.c_str(), res::text::kDiskError);
  return false;
}

// Prints a line per completed poll (and records it) until a signal, until every
// poll has completed --count times, or until a recording row fails (false).
bool PollUntilDone(std::vector<RunningPoll>& polls, const HeadlessOptions& o, DeviceRecording* recording) {
  std::size_t finished = 0;
  while (!polls.empty() && !gStop.load() && (o.count == 0 || finished < polls.size())) {
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
    if (o.count > 0 && p.completed >= o.count) continue;
    PrintPollLine(p, static_cast<std::uint16_t>(n.wParam), o);
    if (!RecordPoll(p, static_cast<std::uint16_t>(n.wParam), o, recording)) return false;
    if (++p.completed == o.count) ++finished;
  }
  return true;
}

// --export-map: the maps the documents name, read before anything is sent.
bool LoadPollMaps(const std::vector<PollDocumentData>& documents, std::vector<RunningPoll>* polls) {
  for (std::size_t k = 0; k < documents.size(); ++k) {
    const std::string& path = documents[k].registerMap;
    std::string why;
    if (path.empty() || regmap::LoadRegisterMap(path, &(*polls)[k].map, &why)) continue;
    std::fprintf(stderr, "zelmor: %s: %s\n", path.c_str(), why.c_str());
    return false;
  }
  return true;
}

// --export-map at the end of the run: the maps with the last values read.
bool ExportPollMaps(const std::vector<RunningPoll>& polls, const HeadlessOptions& o) {
  std::vector<PollMapPart> parts;
  for (const RunningPoll& p : polls) {
    const PollDocumentData& d = p.document;
    parts.push_back({d.slaveId, &p.map, d.function, d.address, d.length, d.displayFormat, p.values});
  }
  std::vector<std::string> written;
  std::string why;
  if (!SaveDeviceMaps(o.exportMapPath, parts, &written, &why)) {
    std::fprintf(stderr, "zelmor: %s\n", why.c_str());
    return false;
  }
  if (written.empty()) std::fprintf(stderr, "zelmor: --export-map: no document has a register map\n");
  return true;
}

// The checks that need the files read: a link, something to do, slots enough.
int CheckRunnable(const HeadlessOptions& o, const std::vector<PollDocumentData>& documents) {
  if (!o.haveLink) {
    std::fprintf(stderr, "zelmor: no link: give --tcp HOST:PORT, --serial DEVICE or a workspace file\n");
    return kExitBadOption;
  }
  if (documents.empty() && o.writes.empty() && o.identify < 0) {
    std::fprintf(stderr, "zelmor: nothing to do: give --write, --poll, a .zmd file or a workspace\n");
    return kExitBadOption;
  }
  if (documents.size() > kMaxPolls) {
    std::fprintf(stderr, "zelmor: %s\n", res::text::kNoResources);
    return kExitNoResources;
  }
  return kExitOk;
}

// Connects, writes, then polls; the engine is left as it was found.
int Serve(const HeadlessOptions& options, const std::vector<PollDocumentData>& documents) {
  if (!options.serialDevice.empty()) platform::SetSerialPortPath(1, options.serialDevice);
  std::vector<RunningPoll> polls(documents.size());
  // The maps to export and the recording's file first: a map that cannot be read
  // or a recording that cannot be created stops the run before anything is sent.
  DeviceRecording recording;
  std::string why;
  if (!options.exportMapPath.empty() && !LoadPollMaps(documents, &polls)) return kExitBadFile;
  if (!options.recordPath.empty() && !recording.start(options.recordPath, &why)) {
    std::fprintf(stderr, "zelmor: %s: %s\n", options.recordPath.c_str(), why.c_str());
    return kExitRecordFailed;
  }
  me::InitEngine();
  platform::SetMessagePoster(QueuePost);
  CatchStopSignals();

  ConnectOutcome outcome = ConnectLink(options.settings);
  if (!outcome.connected) {
    std::fprintf(stderr, "zelmor: %s\n", outcome.message.c_str());
    platform::SetMessagePoster(nullptr);
    return kExitConnectFailed;
  }
  bool writesOk = RunWrites(options);
  if (options.identify >= 0 && !RunIdentify(options)) {
    DisconnectLink();
    platform::SetMessagePoster(nullptr);
    return kExitIdentifyFailed;
  }
  // The polls start after the writes, so every poll line shows written values.
  if (!RegisterPolls(documents, options, &polls)) {
    DisconnectLink();
    platform::SetMessagePoster(nullptr);
    return kExitNoResources;
  }
  const bool recorded = PollUntilDone(polls, options, &recording);

  DisconnectLink();
  recording.stop();
  const bool exported = options.exportMapPath.empty() || ExportPollMaps(polls, options);
  for (RunningPoll& p : polls) me::UnregisterPoll(p.slot);
  platform::SetMessagePoster(nullptr);
  if (!recorded || !exported) return kExitRecordFailed;
  return writesOk ? kExitOk : kExitWriteFailed;
}

// --scan and --register-scan: the walks of headless_scan.cpp with this runner's message queue.
int Scan(const HeadlessOptions& options) {
  if (!options.haveLink) {
    std::fprintf(stderr, "zelmor: no link: give --tcp HOST:PORT or --serial DEVICE\n");
    return kExitBadOption;
  }
  if (!options.serialDevice.empty()) platform::SetSerialPortPath(1, options.serialDevice);
  me::InitEngine();
  platform::SetMessagePoster(QueuePost);
  CatchStopSignals();
  auto wait = [](int boundMs, std::uint16_t* result) {
    return !gStop.load() && WaitForOneShot(kWriteWindow, boundMs, result);
  };
  auto stop = [] { return gStop.load(); };
  int status = kExitOk;
  if (options.registerScan) {
    ConnectOutcome outcome = ConnectLink(options.settings);
    status = outcome.connected ? RunRegisterScanWalk(options, wait, kWriteWindow, stop) : kExitConnectFailed;
    if (!outcome.connected) std::fprintf(stderr, "zelmor: %s\n", outcome.message.c_str());
  } else {
    status = RunScanWalk(options, wait, kWriteWindow, stop);
  }
  DisconnectLink();
  platform::SetMessagePoster(nullptr);
  return status;
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
  if (options.scan || options.registerScan) return Scan(options);
  std::vector<PollDocumentData> documents;
  if (!LoadFiles(options, &documents)) return kExitBadFile;
  for (const HeadlessPoll& poll : options.polls) documents.push_back(poll.document);
  int status = CheckRunnable(options, documents);
  if (status != kExitOk) return status;
  return Serve(options, documents);
}

}  // namespace zelmor
