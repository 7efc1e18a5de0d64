// The poll scheduler: 33 request slots shared between the user interface and the
// poll thread, which serves one due slot per pass outside the lock.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#include "common/modbus_protocol.h"
#include "common/word_order.h"
#include "link/checksums.h"
#include "link/serial_link.h"
#include "link/tcp_client.h"
#include "master/engine/comm_interface.h"
#include "master/engine/transactions.h"
#include "platform/ticks.h"

namespace masterengine {
namespace {

constexpr int kFirstPollSlot = 1;
constexpr int kLastPollSlot = 32;

struct RequestSlot {
  WindowHandle owner;
  std::uint32_t message;
  std::uint16_t slave;
  std::uint16_t type;
  std::uint16_t address;   // AND mask for type 22
  std::uint16_t quantity;  // OR mask for type 22
  std::uint16_t writeAddress;
  std::uint16_t writeCount;  // frame length for type 0
  std::uint16_t scanRate;
  bool inUse;
  bool enabled;
  std::uint16_t mode;
  std::uint64_t elapsedUs;  // time accumulated since last served, in microseconds
  std::uint32_t transmitCount;
  std::uint32_t goodCount;
  ResponseTimes times;
  std::uint8_t sent[kSlotSentCapacity];
  std::uint16_t sentLength;
  std::uint8_t received[kSlotReceivedCapacity];
  std::uint16_t receivedLength;
  std::uint8_t data[kRequestDataBytes];
  // Bumped whenever the slot changes hands (registered, submitted or freed), so
  // that a transaction started for one registration cannot store its outcome in
  // the next one.
  std::uint32_t generation;
};

struct SlotResult {
  std::uint16_t code;
  std::uint32_t transmitCount;
  std::uint32_t goodCount;
  ResponseTimes times;
  std::uint8_t values[kRequestDataBytes];
};

struct PendingPost {
  WindowHandle window;
  std::uint32_t message;
  std::uintptr_t wParam;
  std::intptr_t lParam;
};

// Guards the slot table, the result table, the traffic window and the last-served index.
std::mutex engineLock;
RequestSlot slots[kSlotCount];
SlotResult results[kSlotCount];
WindowHandle trafficWindow = 0;
int lastServed = kLastPollSlot;  // so that the first search starts at slot 1

// The idle poll thread waits here until the next slot is due; registering,
// re-moding, a one-shot, write data and a stop set workArrived and wake it.
// workArrived is guarded by engineLock.
std::condition_variable workSignal;
bool workArrived = false;
constexpr std::uint64_t kLongestIdleWaitUs = 100000;

// Under engineLock.
void SignalWork() {
  workArrived = true;
  workSignal.notify_one();
}

// Set by the user-interface thread, consumed under the lock by the poll thread.
std::atomic<bool> counterResetRequested[kSlotCount];
std::atomic<bool> runFlag{false};
std::atomic<std::uint32_t> delayBetweenPolls{10};
std::atomic<bool> threadRunning{false};
std::thread pollThread;

// Poll-thread state: the tick reference and the copy of the request being served.
// Time is kept in microseconds so that a scan rate of 0 means "every pass" even
// when a pass takes less than a millisecond.
std::uint64_t tickReferenceUs = 0;
std::uint8_t threadData[kRequestDataBytes];
std::uint16_t threadWords[kMaxValueWords];

// A newly registered or re-moded slot is due at the next pass.
std::uint64_t DueAtOnce(std::uint16_t scanRateMs) { return (static_cast<std::uint64_t>(scanRateMs) + 1) * 1000; }

bool ValidSlot(int slot) { return slot >= 0 && slot < kSlotCount; }

// Argument checks shared by RegisterPoll and SubmitOneShot (rawAllowed for the latter).
bool RequestAcceptable(std::uint16_t slave, std::uint16_t type, std::uint16_t quantity, std::uint16_t writeCount,
                       bool rawAllowed) {
  if (slave > modbus::MAX_UNIT_ID) return false;
  const bool unicast = slave != modbus::BROADCAST_ADDRESS;
  switch (type) {
    case modbus::FC_RAW_FRAME: return rawAllowed && quantity <= kMaxRawFrame;
    case modbus::FC_READ_COILS:
    case modbus::FC_READ_DISCRETE_INPUTS: return unicast && quantity <= kMaxReadBits;
    case modbus::FC_READ_HOLDING_REGISTERS:
    case modbus::FC_READ_INPUT_REGISTERS: return unicast && quantity <= kMaxReadRegisters;
    case modbus::FC_WRITE_SINGLE_COIL:
    case modbus::FC_WRITE_SINGLE_REGISTER: return quantity <= 1;
    case modbus::FC_WRITE_MULTIPLE_COILS: return quantity <= kMaxWriteCoils;
    case modbus::FC_WRITE_MULTIPLE_REGISTERS: return quantity <= kMaxWriteRegisters;
    case modbus::FC_MASK_WRITE_REGISTER: return true;
    case modbus::FC_WRITE_AND_READ_REGISTERS:
      return unicast && quantity <= kMaxReadRegisters && writeCount <= kMaxWriteRegisters;
    default: return false;
  }
}

// Reads, mask writes and read/write without writes need no data: they may run at once.
bool EnabledAtOnce(std::uint16_t type, std::uint16_t writeCount) {
  return modbus::IsRead(type) || type == modbus::FC_MASK_WRITE_REGISTER ||
         (type == modbus::FC_WRITE_AND_READ_REGISTERS && writeCount == 0);
}

void FillSlot(RequestSlot& slot, WindowHandle owner, std::uint32_t message, std::uint16_t slave, std::uint16_t type,
              std::uint16_t address, std::uint16_t quantity, std::uint16_t writeAddress, std::uint16_t writeCount) {
  slot.owner = owner;
  slot.message = message;
  slot.slave = slave;
  slot.type = type;
  slot.address = address;
  slot.quantity = quantity;
  slot.writeAddress = writeAddress;
  slot.writeCount = writeCount;
  slot.inUse = true;
  slot.enabled = EnabledAtOnce(type, writeCount);
  slot.transmitCount = 0;
  slot.goodCount = 0;
  slot.times = ResponseTimes{};
  std::memset(slot.data, 0, sizeof slot.data);
  ++slot.generation;
}

void ResetResult(SlotResult& result) {
  result.code = RESULT_PENDING;
  result.transmitCount = 0;
  result.goodCount = 0;
  result.times = ResponseTimes{};
  std::memset(result.values, 0, sizeof result.values);
}

// Stores words in the slot's request data and makes the slot servable. A slot
// that is not in use is refused: enabling it would send its last request again
// (slot 0 after it was served) or poll a slot nobody owns.
int StoreWriteWords(int slot, const std::uint16_t* words, int wordCount) {
  std::lock_guard<std::mutex> guard(engineLock);
  if (!slots[slot].inUse) return 0;
  std::memcpy(slots[slot].data, words, static_cast<size_t>(wordCount) * 2);
  slots[slot].writeCount = static_cast<std::uint16_t>(wordCount);
  slots[slot].enabled = true;
  SignalWork();
  return 1;
}

// An answer came back, whatever its contents: a CRC error or an exception is as
// much a measure of the slave's response time as a good reply.
bool Answered(std::uint16_t result, std::uint16_t receivedLength) {
  return receivedLength != 0 && result != RESULT_TIMEOUT && result != RESULT_READ && result != RESULT_WRITE &&
         result != RESULT_NO_CONNECTION;
}

void AddResponseTime(ResponseTimes& times, std::uint64_t elapsedUs) {
  const auto us = static_cast<std::uint32_t>(elapsedUs < 0xFFFFFFFFu ? elapsedUs : 0xFFFFFFFFu);
  times.lastUs = us;
  if (times.count == 0 || us < times.minUs) times.minUs = us;
  if (us > times.maxUs) times.maxUs = us;
  times.totalUs += us;
  ++times.count;
}

// The register count of the slot's values, capped to the value table.
int ValueWords(const RequestSlot& slot) { return slot.quantity < kMaxValueWords ? slot.quantity : kMaxValueWords; }

std::uint16_t RunTransaction(std::uint16_t slave, std::uint16_t type, std::uint16_t address, std::uint16_t quantity,
                             std::uint16_t writeAddress, std::uint16_t writeCount) {
  std::uint16_t result = RESULT_WRITE;
  switch (type) {
    case modbus::FC_RAW_FRAME: return ExchangeRaw(threadData, writeCount);
    case modbus::FC_READ_COILS:
    case modbus::FC_READ_DISCRETE_INPUTS: return ReadBits(slave, type, address, quantity, threadData);
    case modbus::FC_READ_HOLDING_REGISTERS:
    case modbus::FC_READ_INPUT_REGISTERS:
      result = ReadRegisters(slave, type, address, quantity, threadWords);
      if (result == RESULT_OK) std::memcpy(threadData, threadWords, static_cast<size_t>(quantity) * 2);
      return result;
    case modbus::FC_WRITE_SINGLE_COIL: return WriteSingleCoil(slave, writeAddress, threadData[0]);
    case modbus::FC_WRITE_SINGLE_REGISTER:
      std::memcpy(threadWords, threadData, 2);
      return WriteSingleRegister(slave, writeAddress, threadWords[0]);
    case modbus::FC_WRITE_MULTIPLE_COILS: return WriteMultipleCoils(slave, writeAddress, writeCount, threadData);
    case modbus::FC_WRITE_MULTIPLE_REGISTERS:
      std::memcpy(threadWords, threadData, sizeof threadWords);
      return WriteMultipleRegisters(slave, writeAddress, writeCount, threadWords);
    case modbus::FC_MASK_WRITE_REGISTER: return MaskWriteRegister(slave, writeAddress, address, quantity);
    case modbus::FC_WRITE_AND_READ_REGISTERS:
      std::memcpy(threadWords, threadData, sizeof threadWords);
      result = ReadWriteRegisters(slave, address, quantity, writeAddress, writeCount, threadWords);
      if (result == RESULT_OK) std::memcpy(threadData, threadWords, static_cast<size_t>(quantity) * 2);
      return result;
    default: return result;
  }
}

void PollThreadBody() {
  // The t3.5 before each RTU request is a timed wait of under 2 ms: the default
  // timer slack would add up to 50 us to every request.
  platform::UseFineTimerSlack();
  while (runFlag.load()) PollTick();
}

// The link must not be closed under the poll thread's feet (its descriptor could
// be reused while a transaction still uses it): stop the thread first.
void StopPollingBeforeClosing() {
  if (threadRunning.load()) StopPolling();
}

}  // namespace

// ---- Links -------------------------------------------------------------------

namespace {
std::uint16_t ConnectResult(linklayer::TcpConnectStatus status) {
  switch (status) {
    case linklayer::TcpConnectStatus::Ok: return RESULT_OK;
    case linklayer::TcpConnectStatus::NoSocket: return RESULT_WSA_STARTUP;
    case linklayer::TcpConnectStatus::BadAddress: return RESULT_BAD_IP;
    case linklayer::TcpConnectStatus::HostNotFound: return RESULT_HOST_NOT_FOUND;
    case linklayer::TcpConnectStatus::ConnectFailed: break;
  }
  return RESULT_CONNECT_FAILED;
}
}  // namespace

std::uint16_t NetConnect(std::uint16_t linkMode, const char* host, std::uint16_t port,
                         std::uint32_t responseTimeoutMs) {
  StopPollingBeforeClosing();  // connecting replaces the socket
  const linklayer::NetTransport transport = linkMode == kLinkRtuOverTcp ? linklayer::NetTransport::kRtuOverTcp
                                            : linkMode == kLinkUdp      ? linklayer::NetTransport::kUdp
                                                                        : linklayer::NetTransport::kTcp;
  return ConnectResult(linklayer::NetConnect(transport, host, port, responseTimeoutMs));
}

void TcpDisconnect() {
  StopPollingBeforeClosing();
  linklayer::TcpDisconnect();
  NotifyStateChange();
}

bool OpenSerialPort(int portNumber, std::uint32_t baudRate, int dataBits, int parity, int stopBits) {
  StopPollingBeforeClosing();
  const bool opened = linklayer::OpenSerialPort(portNumber, baudRate, dataBits, parity, stopBits);
  NotifyStateChange();
  return opened;
}

bool CloseSerialPort() {
  StopPollingBeforeClosing();
  const bool closed = linklayer::CloseSerialPort();
  NotifyStateChange();
  return closed;
}

bool IsConnected() { return linklayer::IsSerialPortOpen() || linklayer::IsTcpConnected(); }

bool SetSerialTimeouts(std::uint32_t readInterval, std::uint32_t readMultiplier, std::uint32_t readConstant,
                       std::uint32_t writeMultiplier, std::uint32_t writeConstant) {
  return linklayer::SetSerialTimeouts(readInterval, readMultiplier, readConstant, writeMultiplier, writeConstant);
}

void SetLineOptions(std::uint8_t options) { linklayer::SetLineOptions(options); }
void SetRtsReleaseDelay(std::uint16_t milliseconds) { linklayer::SetRtsReleaseDelay(milliseconds); }

void SetLinkMode(std::uint16_t mode) {
  if (!threadRunning.load()) SetExchangeLinkMode(mode);
}

std::uint16_t GetLinkMode() { return ExchangeLinkMode(); }

void SetEcho(bool on) { SetExchangeEcho(on); }

std::uint16_t ComputeCrc16(const std::uint8_t* bytes, std::uint16_t length) {
  return linklayer::ComputeCrc16(bytes, length);
}

// ---- Engine ------------------------------------------------------------------

void InitEngine() {
  std::lock_guard<std::mutex> guard(engineLock);
  std::memset(static_cast<void*>(slots), 0, sizeof slots);
  std::memset(static_cast<void*>(results), 0, sizeof results);
  for (auto& flag : counterResetRequested) flag.store(false);
  trafficWindow = 0;
  lastServed = kLastPollSlot;
  tickReferenceUs = platform::NowUs();
}

int RegisterPoll(WindowHandle owner, std::uint32_t message, std::uint16_t scanRateMs, std::uint16_t slave,
                 std::uint16_t type, std::uint16_t address, std::uint16_t quantity, std::uint16_t writeAddress,
                 std::uint16_t writeCount) {
  if (!RequestAcceptable(slave, type, quantity, writeCount, false)) return -1;
  std::lock_guard<std::mutex> guard(engineLock);
  for (int s = kFirstPollSlot; s <= kLastPollSlot; ++s) {
    RequestSlot& slot = slots[s];
    if (slot.inUse) continue;
    FillSlot(slot, owner, message, slave, type, address, quantity, writeAddress, writeCount);
    slot.scanRate = scanRateMs;
    slot.mode = kModeStopped;
    slot.elapsedUs = DueAtOnce(scanRateMs);
    counterResetRequested[s].store(false);
    ResetResult(results[s]);
    SignalWork();
    return s;
  }
  return -1;
}

int SetPollMode(int slot, std::uint16_t mode) {
  if (!ValidSlot(slot)) return 0;
  std::lock_guard<std::mutex> guard(engineLock);
  slots[slot].mode = mode;
  slots[slot].elapsedUs = DueAtOnce(slots[slot].scanRate);
  SignalWork();
  return 1;
}

int UnregisterPoll(int slot) {
  if (!ValidSlot(slot)) return 0;
  std::lock_guard<std::mutex> guard(engineLock);
  slots[slot].inUse = false;
  slots[slot].enabled = false;
  ++slots[slot].generation;
  return 1;
}

int SubmitOneShot(WindowHandle owner, std::uint32_t message, std::uint16_t slave, std::uint16_t type,
                  std::uint16_t address, std::uint16_t quantity, std::uint16_t writeAddress,
                  std::uint16_t writeCount) {
  if (!RequestAcceptable(slave, type, quantity, writeCount, true)) return 0;
  std::lock_guard<std::mutex> guard(engineLock);
  RequestSlot& slot = slots[0];
  if (slot.inUse) return 0;
  FillSlot(slot, owner, message, slave, type, address, quantity, writeAddress, writeCount);
  slot.mode = kModeOnce;
  counterResetRequested[0].store(false);
  ResetResult(results[0]);
  SignalWork();
  return 1;
}

int SetWriteDoubles(int slot, int count, const double* values, bool reverse) {
  if (!ValidSlot(slot) || count < 1 || count > kMaxWriteDoubles) return 0;
  std::uint16_t words[4 * kMaxWriteDoubles];
  for (int i = 0; i < count; ++i) wordorder::SplitDouble(values[i], wordorder::FromSwap(reverse), words + 4 * i);
  return StoreWriteWords(slot, words, 4 * count);
}

int SetWriteLongs(int slot, int count, const std::uint32_t* values, bool swap) {
  if (!ValidSlot(slot) || count < 1 || count > kMaxWriteLongs) return 0;
  std::uint16_t words[2 * kMaxWriteLongs];
  for (int i = 0; i < count; ++i) wordorder::Split32(values[i], wordorder::FromSwap(swap), words + 2 * i);
  return StoreWriteWords(slot, words, 2 * count);
}

int SetWriteRegisters(int slot, int count, const std::uint16_t* values) {
  if (!ValidSlot(slot) || count < 1 || count > kMaxWriteRegisters) return 0;
  return StoreWriteWords(slot, values, count);
}

int SetWriteBytes(int slot, int count, const std::uint8_t* bytes) {
  if (!ValidSlot(slot) || count < 1 || count > kMaxWriteBytes) return 0;
  std::lock_guard<std::mutex> guard(engineLock);
  if (!slots[slot].inUse) return 0;
  std::memcpy(slots[slot].data, bytes, static_cast<size_t>(count));
  slots[slot].writeCount = static_cast<std::uint16_t>(count);
  slots[slot].enabled = true;
  SignalWork();
  return 1;
}

std::uint16_t ReadResultDoubles(int slot, double* out, bool reverse) {
  if (!ValidSlot(slot)) return RESULT_BAD_SLOT;
  std::lock_guard<std::mutex> guard(engineLock);
  const int count = ValueWords(slots[slot]) / 4;
  if (count == 0) return RESULT_NO_VALUES;
  std::uint16_t words[4];
  for (int i = 0; i < count; ++i) {
    std::memcpy(words, results[slot].values + 8 * i, sizeof words);
    out[i] = wordorder::JoinDouble(words, wordorder::FromSwap(reverse));
  }
  return results[slot].code;
}

std::uint16_t ReadResultLongs(int slot, std::uint32_t* out, bool swap) {
  if (!ValidSlot(slot)) return RESULT_BAD_SLOT;
  std::lock_guard<std::mutex> guard(engineLock);
  const int count = ValueWords(slots[slot]) / 2;
  if (count == 0) return RESULT_NO_VALUES;
  std::uint16_t words[2];
  for (int i = 0; i < count; ++i) {
    std::memcpy(words, results[slot].values + 4 * i, sizeof words);
    out[i] = wordorder::Join32(words, wordorder::FromSwap(swap));
  }
  return results[slot].code;
}

std::uint16_t ReadResultRegisters(int slot, std::uint16_t* out) {
  if (!ValidSlot(slot)) return RESULT_BAD_SLOT;
  std::lock_guard<std::mutex> guard(engineLock);
  std::memcpy(out, results[slot].values, static_cast<size_t>(ValueWords(slots[slot])) * 2);
  return results[slot].code;
}

std::uint16_t ReadResultBytes(int slot, std::uint8_t* out) {
  if (!ValidSlot(slot)) return RESULT_BAD_SLOT;
  std::lock_guard<std::mutex> guard(engineLock);
  const int count = slots[slot].quantity < kRequestDataBytes ? slots[slot].quantity : kRequestDataBytes;
  std::memcpy(out, results[slot].values, static_cast<size_t>(count));
  return results[slot].code;
}

int ReadCounters(int slot, std::uint32_t* transmitCount, std::uint32_t* goodCount) {
  if (!ValidSlot(slot)) return 0;
  std::lock_guard<std::mutex> guard(engineLock);
  *transmitCount = results[slot].transmitCount;
  *goodCount = results[slot].goodCount;
  return 1;
}

int ReadResponseTimes(int slot, ResponseTimes* times) {
  if (!ValidSlot(slot)) return 0;
  std::lock_guard<std::mutex> guard(engineLock);
  *times = results[slot].times;
  return 1;
}

int RequestCounterReset(int slot) {
  if (!ValidSlot(slot)) return 0;
  counterResetRequested[slot].store(true);
  return 1;
}

std::uint16_t CopySlotSent(int slot, std::uint8_t* buffer) {
  if (!ValidSlot(slot)) return 0;
  std::lock_guard<std::mutex> guard(engineLock);
  std::memcpy(buffer, slots[slot].sent, slots[slot].sentLength);
  return slots[slot].sentLength;
}

std::uint16_t CopySlotReceived(int slot, std::uint8_t* buffer) {
  if (!ValidSlot(slot)) return 0;
  std::lock_guard<std::mutex> guard(engineLock);
  std::memcpy(buffer, slots[slot].received, slots[slot].receivedLength);
  return slots[slot].receivedLength;
}

std::uint16_t GetResultCode(int slot) {
  if (!ValidSlot(slot)) return RESULT_BAD_SLOT;
  std::lock_guard<std::mutex> guard(engineLock);
  return results[slot].code;
}

void SetTrafficWindow(WindowHandle window) {
  std::lock_guard<std::mutex> guard(engineLock);
  trafficWindow = window;
}

void SetDelayBetweenPolls(std::uint32_t milliseconds) { delayBetweenPolls.store(milliseconds); }

int StartPolling() {
  if (threadRunning.load()) return 0;
  runFlag.store(true);
  NotifyStateChange();
  try {
    pollThread = std::thread(PollThreadBody);
  } catch (const std::system_error&) {
    runFlag.store(false);
    return 0;
  }
  threadRunning.store(true);
  return 1;
}

void StopPolling() {
  {
    std::lock_guard<std::mutex> guard(engineLock);
    runFlag.store(false);
    SignalWork();
  }
  if (pollThread.joinable()) pollThread.join();
  threadRunning.store(false);
}

bool IsPolling() { return threadRunning.load(); }

void NotifyStateChange() {
  PendingPost posts[kSlotCount];
  int postCount = 0;
  {
    std::lock_guard<std::mutex> guard(engineLock);
    for (const RequestSlot& slot : slots) {
      if (slot.inUse && slot.owner != 0) posts[postCount++] = {slot.owner, slot.message + 1, 0, 0};
    }
  }
  // Posted after the lock is released: the poster is another subsystem.
  for (int i = 0; i < postCount; ++i) {
    platform::PostWindowMessage(posts[i].window, posts[i].message, posts[i].wParam, posts[i].lParam);
  }
}

namespace {

// The request the poll thread serves, copied out of its slot under the lock.
struct ServedRequest {
  int slot = -1;  // -1: nothing is due
  std::uint16_t slave = 0, type = 0, address = 0, quantity = 0, writeAddress = 0, writeCount = 0;
  std::uint32_t generation = 0;
  std::uint64_t nextDueUs = kLongestIdleWaitUs;  // when nothing is due: until the next poll is
};

// Slot 0 when a one-shot waits, else the next poll after the last one served
// whose scan time has passed (round robin over 1..32). Counts the transmission
// and copies the request and its data out for the transaction.
ServedRequest TakeDueRequest(std::uint64_t elapsedUs, bool linkOpen) {
  ServedRequest r;
  std::lock_guard<std::mutex> guard(engineLock);
  workArrived = false;  // what changes from here on wakes the next idle wait
  int s = 0;
  if (!slots[0].enabled) {
    for (RequestSlot& slot : slots) slot.elapsedUs += elapsedUs;
    int position = lastServed;
    s = -1;
    for (int visit = 0; visit < kSlotCount; ++visit) {
      position = position % kLastPollSlot + 1;
      const RequestSlot& slot = slots[position];
      if (!slot.enabled || slot.mode == kModeStopped) continue;
      const std::uint64_t scanUs = static_cast<std::uint64_t>(slot.scanRate) * 1000;
      if (slot.elapsedUs > scanUs) {
        s = position;
        break;
      }
      if (scanUs + 1 - slot.elapsedUs < r.nextDueUs) r.nextDueUs = scanUs + 1 - slot.elapsedUs;
    }
    lastServed = position;
    if (s < 0) return r;
    slots[s].elapsedUs = 0;
  }
  RequestSlot& slot = slots[s];
  if (counterResetRequested[s].exchange(false)) {
    slot.transmitCount = 0;
    slot.goodCount = 0;
    slot.times = ResponseTimes{};
  }
  if (linkOpen) ++slot.transmitCount;
  r = {s, slot.slave, slot.type, slot.address, slot.quantity, slot.writeAddress, slot.writeCount, slot.generation};
  std::memcpy(threadData, slot.data, sizeof threadData);
  return r;
}

// Keeps the frames for the traffic window and, unless the slot changed hands
// while the transaction ran, the outcome in the slot and its result record.
// Returns the number of posts to make once the lock is released.
int StoreOutcome(const ServedRequest& r, std::uint16_t result, std::uint64_t transactionUs, bool linkOpen,
                 PendingPost* posts) {
  int postCount = 0;
  std::lock_guard<std::mutex> guard(engineLock);
  const int s = r.slot;
  RequestSlot& slot = slots[s];
  SlotResult& record = results[s];
  // The frames did go on the wire through this slot: the traffic window reads
  // them from here even when the slot has changed hands in the meantime.
  slot.sentLength = CopyLastSentFrame(slot.sent);
  slot.receivedLength = CopyLastReceivedFrame(slot.received);
  if (trafficWindow != 0) posts[postCount++] = {trafficWindow, platform::WM_ENGINE_NOTIFY, result, s};
  // Re-registered (or freed) while the transaction ran: the outcome belongs to a
  // request that no longer exists. Its values, counts, result and mode change
  // must not land in the new registration, nor its message reach the new owner.
  if (slot.generation != r.generation) return postCount;
  if (s == 0) {
    slot.enabled = false;
    slot.inUse = false;
  }
  if (slot.mode == kModeOnce) slot.mode = kModeStopped;
  if (result == RESULT_OK && slot.transmitCount != 0) ++slot.goodCount;
  if (linkOpen && Answered(result, slot.receivedLength)) AddResponseTime(slot.times, transactionUs);
  record.transmitCount = slot.transmitCount;
  record.goodCount = slot.goodCount;
  record.times = slot.times;
  if (slot.transmitCount != 0) {
    if (result == RESULT_OK) std::memcpy(record.values, threadData, sizeof record.values);
    record.code = result;
    if (slot.owner != 0) posts[postCount++] = {slot.owner, slot.message, result, s};
  }
  return postCount;
}

// Until the next poll is due, new work arrives or polling stops. A test that
// steps the scheduler with PollTick (polling stopped) does not wait.
void WaitForWork(std::uint64_t dueInUs) {
  std::unique_lock<std::mutex> lock(engineLock);
  workSignal.wait_for(lock, std::chrono::microseconds(dueInUs), [] { return workArrived || !runFlag.load(); });
}

}  // namespace

void PollTick() {
  const std::uint64_t now = platform::NowUs();
  const std::uint64_t elapsedUs = now - tickReferenceUs;
  tickReferenceUs = now;
  const std::uint32_t delay = delayBetweenPolls.load();
  if (delay != 0) platform::SleepMs(delay);
  // Only this thread touches the link while it runs; ask before locking.
  const bool linkOpen = IsConnected();

  const ServedRequest r = TakeDueRequest(elapsedUs, linkOpen);
  if (r.slot < 0) {
    // Nothing due: with no delay between polls the thread would otherwise spin
    // on the lock and burn a whole core until a slot becomes due.
    if (delay == 0) WaitForWork(r.nextDueUs);
    return;
  }

  // Timed here on the poll thread, outside the lock; only the sums are stored under it.
  const std::uint64_t startedUs = platform::NowUs();
  const std::uint16_t result = RunTransaction(r.slave, r.type, r.address, r.quantity, r.writeAddress, r.writeCount);
  const std::uint64_t transactionUs = platform::NowUs() - startedUs;

  PendingPost posts[2];
  const int postCount = StoreOutcome(r, result, transactionUs, linkOpen, posts);
  for (int i = 0; i < postCount; ++i) {
    platform::PostWindowMessage(posts[i].window, posts[i].message, posts[i].wParam, posts[i].lParam);
  }
}

}  // namespace masterengine
