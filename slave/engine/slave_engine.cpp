#include "slave/engine/slave_engine.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

#include "link/checksums.h"
#include "link/serial_link.h"
#include "platform/ticks.h"
#include "slave/engine/receive_loop.h"

namespace slaveengine {
namespace {

struct DataSlot {
  platform::WindowHandle owner = 0;
  std::uint32_t notifyMessage = 0;
  std::uint16_t slaveId = 0;
  std::uint16_t table = 0;
  std::uint16_t startAddress = 0;
  std::uint16_t length = 0;
  std::uint16_t refreshPeriod = 0;
  std::uint32_t inUse = 0;
  std::uint32_t elapsed = 0;
  alignas(8) std::uint8_t data[kDataAreaSize];
};

std::mutex engineLock;
DataSlot slots[kSlotCount];
std::uint8_t statusByte = 0;
platform::WindowHandle trafficWindow = 0;
std::uint8_t lastReceived[kFrameCopySize];
std::uint16_t lastReceivedLength = 0;
std::uint8_t lastSent[kFrameCopySize];
std::uint16_t lastSentLength = 0;
std::uint32_t refreshReference = 0;
std::atomic<bool> ignoreUnitId{false};
std::atomic<FrameObserver> frameObserver{nullptr};

// ASCII replies are built here; only the receive thread sends.
char asciiReply[2 * kReplyCapacity + 8];

// Fault injection per slot, under the engine lock; faultedSlots lets requests
// skip the lock when nothing is set.
slavefaults::FaultSettings slotFaults[kSlotCount];
slavefaults::Prng slotPrng[kSlotCount];
std::uint32_t busyReference[kSlotCount];
std::uint64_t faultSeed = 0;
std::atomic<int> faultedSlots{0};
std::uint8_t lastSentMarks = 0;
std::uint32_t lastSentDelay = 0;

// What the faults decided for the request being served.
struct FaultPlan {
  bool drop = false;
  std::uint8_t exception = 0;
  bool corrupt = false;
  bool corruptTransactionId = false;  // TCP: wrong transaction id instead of a wrong length
  std::uint32_t delayMs = 0;
  std::uint8_t marks = 0;
};

// The plan of the serial request being served (receive thread only): the
// reply functions corrupt and hold back by it.
FaultPlan serialPlan;
// A delayed serial reply (binary RTU frame or ASCII text) and when it is due.
std::uint8_t pendingSerial[2 * kReplyCapacity + 8];
std::uint16_t pendingSerialLength = 0;
std::uint32_t pendingSerialDue = 0;
std::uint8_t pendingSerialMarks = 0;
std::uint32_t pendingSerialDelay = 0;

std::uint16_t Get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }
void Put16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 8);
  p[1] = static_cast<std::uint8_t>(v);
}

std::uint16_t Word(const DataSlot& s, int i) {
  std::uint16_t v;
  std::memcpy(&v, s.data + 2 * i, 2);
  return v;
}
void SetWord(DataSlot& s, int i, std::uint16_t v) { std::memcpy(s.data + 2 * i, &v, 2); }

bool IsWriteFunction(std::uint8_t function) {
  return function == 5 || function == 6 || function == 15 || function == 16;
}

// A decoded request: PDU fields from the function code on. `complete` is false
// when the frame ends before a field the function needs, or before the data its
// byte count announces; such a request fails the value check (exception 3).
struct Request {
  std::uint8_t unit = 0;
  std::uint8_t function = 0;
  std::uint16_t address = 0;
  std::uint16_t quantity = 0;  // 05/06: value, 22: and-mask
  std::uint16_t orMask = 0;
  std::uint16_t writeAddress = 0;
  std::uint16_t writeQuantity = 0;
  std::uint8_t byteCount = 0;
  const std::uint8_t* data = nullptr;
  bool complete = false;
};

// pdu points at the function code; pduLength counts it and what follows.
Request DecodePdu(std::uint8_t unit, const std::uint8_t* pdu, int pduLength) {
  Request r;
  r.unit = unit;
  r.function = pdu[0];
  int fixed = 0;
  switch (r.function) {
    case 1: case 2: case 3: case 4: case 5: case 6: fixed = 5; break;
    case 15: case 16: fixed = 6; break;
    case 22: fixed = 7; break;
    case 23: fixed = 10; break;
    default: return r;
  }
  if (pduLength < fixed) return r;
  r.address = Get16(pdu + 1);
  r.quantity = Get16(pdu + 3);
  if (r.function == 22) r.orMask = Get16(pdu + 5);
  if (r.function == 15 || r.function == 16) {
    r.byteCount = pdu[5];
    r.data = pdu + 6;
    if (pduLength - 6 < r.byteCount) return r;
  }
  if (r.function == 23) {
    r.writeAddress = Get16(pdu + 5);
    r.writeQuantity = Get16(pdu + 7);
    r.byteCount = pdu[9];
    r.data = pdu + 10;
    if (pduLength - 10 < r.byteCount) return r;
  }
  r.complete = true;
  return r;
}

int TableOf(std::uint8_t function) {
  switch (function) {
    case 1: case 5: case 15: return kCoils;
    case 2: return kDiscreteInputs;
    case 3: case 6: case 16: case 22: case 23: return kHoldingRegisters;
    case 4: return kInputRegisters;
    default: return 0;
  }
}

bool ValuesValid(const Request& r) {
  if (!r.complete) return false;
  switch (r.function) {
    case 1: case 2: return r.quantity >= 1 && r.quantity <= 2000;
    case 3: case 4: return r.quantity >= 1 && r.quantity <= 125;
    case 5: return r.quantity == 0xFF00 || r.quantity == 0x0000;
    case 15: return r.quantity >= 1 && r.quantity <= 1968 && r.byteCount == (r.quantity + 7) / 8;
    case 16: return r.quantity >= 1 && r.quantity <= 123 && r.byteCount == 2 * r.quantity;
    case 23:
      return r.quantity >= 1 && r.quantity <= 125 && r.writeQuantity >= 1 && r.writeQuantity <= 121 &&
             r.byteCount == 2 * r.writeQuantity;
    default: return true;  // 06 and 22 have no value check
  }
}

bool Holds(const DataSlot& s, std::uint32_t address, std::uint32_t count) {
  return address >= s.startAddress && address + count <= std::uint32_t{s.startAddress} + s.length;
}

bool InRange(const DataSlot& s, const Request& r) {
  switch (r.function) {
    case 5: case 6: case 22: return Holds(s, r.address, 1);
    case 23: return Holds(s, r.address, r.quantity) && Holds(s, r.writeAddress, r.writeQuantity);
    default: return Holds(s, r.address, r.quantity);
  }
}

// Serves the request from one slot. Read data (byte count excluded) goes to out.
void Apply(DataSlot& s, const Request& r, std::uint8_t* out) {
  int first = r.address - s.startAddress;
  switch (r.function) {
    case 1: case 2: {
      int bytes = (r.quantity + 7) / 8;
      std::memset(out, 0, bytes);
      for (int i = 0; i < r.quantity; ++i)
        if (s.data[first + i]) out[i / 8] |= static_cast<std::uint8_t>(1 << (i % 8));
      break;
    }
    case 3: case 4:
      for (int i = 0; i < r.quantity; ++i) Put16(out + 2 * i, Word(s, first + i));
      break;
    case 5: s.data[first] = r.quantity == 0xFF00 ? 1 : 0; break;
    case 6: SetWord(s, first, r.quantity); break;
    case 15:
      for (int i = 0; i < r.quantity; ++i) s.data[first + i] = (r.data[i / 8] >> (i % 8)) & 1;
      break;
    case 16:
      for (int i = 0; i < r.quantity; ++i) SetWord(s, first + i, Get16(r.data + 2 * i));
      break;
    case 22: {
      std::uint16_t v = Word(s, first);
      SetWord(s, first, static_cast<std::uint16_t>((v & r.quantity) | (r.orMask & ~r.quantity)));
      break;
    }
    case 23: {
      int writeFirst = r.writeAddress - s.startAddress;
      for (int i = 0; i < r.writeQuantity; ++i) SetWord(s, writeFirst + i, Get16(r.data + 2 * i));
      for (int i = 0; i < r.quantity; ++i) Put16(out + 2 * i, Word(s, first + i));
      break;
    }
    default: break;
  }
}

// The status scan over the 32 slots. Returns 0 when served, else the exception
// code; read data goes to out. The request data is read before out is written,
// so out may overlap the request.
std::uint8_t Handle(const Request& r, std::uint8_t* out) {
  const int table = TableOf(r.function);
  const bool ignore = ignoreUnitId.load(std::memory_order_relaxed);
  const bool writeFunction = IsWriteFunction(r.function);
  const bool broadcast = writeFunction && r.unit == 0 && !ignore;
  std::lock_guard<std::mutex> guard(engineLock);
  statusByte = kIllegalFunction;
  int served = -1;
  for (int i = 0; i < kSlotCount; ++i) {
    DataSlot& s = slots[i];
    if (!s.inUse || s.table != table) continue;
    if (!(s.slaveId == r.unit || ignore || (writeFunction && r.unit == 0))) continue;
    statusByte = kIllegalDataValue;
    if (!ValuesValid(r)) continue;
    statusByte = kIllegalDataAddress;
    if (!InRange(s, r)) continue;
    Apply(s, r, out);
    statusByte = 0;
    if (!broadcast) {
      served = i;
      break;
    }
  }
  if (served >= 0) platform::PostWindowMessage(slots[served].owner, slots[served].notifyMessage, 1, served);
  return statusByte;
}

// Byte count of a read reply (01-04, 23).
std::uint8_t ReadByteCount(const Request& r) {
  if (r.function == 1 || r.function == 2) return static_cast<std::uint8_t>((r.quantity + 7) / 8);
  return static_cast<std::uint8_t>(2 * r.quantity);
}

void CountFaultedSlots() {
  int count = 0;
  for (int i = 0; i < kSlotCount; ++i)
    if (slots[i].inUse && slotFaults[i].active()) ++count;
  faultedSlots.store(count, std::memory_order_relaxed);
}

// Whether the request touches an address in first..last.
bool Overlaps(const Request& r, std::uint16_t first, std::uint16_t last) {
  auto hits = [&](std::uint32_t address, std::uint32_t count) {
    if (count == 0) count = 1;
    return address <= last && address + count - 1 >= first;
  };
  switch (r.function) {
    case 1: case 2: case 3: case 4: case 15: case 16: return hits(r.address, r.quantity);
    case 5: case 6: case 22: return hits(r.address, 1);
    case 23: return hits(r.address, r.quantity) || hits(r.writeAddress, r.writeQuantity);
    default: return false;
  }
}

// The slot whose faults apply: the definition that would serve the request,
// else the first one taking part, else the first with the slave id. -1 for
// none. Caller holds the lock.
int FaultTarget(const Request& r, bool ignore) {
  const int table = TableOf(r.function);
  int takingPart = -1, sameId = -1;
  for (int i = 0; i < kSlotCount; ++i) {
    const DataSlot& s = slots[i];
    if (!s.inUse || !(s.slaveId == r.unit || ignore)) continue;
    if (sameId < 0) sameId = i;
    if (table == 0 || s.table != table) continue;
    if (takingPart < 0) takingPart = i;
    if (InRange(s, r)) return i;
  }
  return takingPart >= 0 ? takingPart : sameId;
}

// Draws in a fixed order per request (drop, then corruption, then the delay
// within its range), so that a seed repeats the same faults for the same
// requests; busy bursts and exceptions draw nothing.
FaultPlan PlanFaults(const Request& r) {
  FaultPlan p;
  if (faultedSlots.load(std::memory_order_relaxed) == 0) return p;
  const bool ignore = ignoreUnitId.load(std::memory_order_relaxed);
  if (r.unit == 0 && !ignore) return p;  // broadcasts are never answered anyway
  std::lock_guard<std::mutex> guard(engineLock);
  const int i = FaultTarget(r, ignore);
  if (i < 0 || !slotFaults[i].active()) return p;
  const slavefaults::FaultSettings& f = slotFaults[i];
  slavefaults::Prng& random = slotPrng[i];
  if (f.dropPercent > 0 && random.next() % 100 < f.dropPercent) {
    p.drop = true;
    p.marks = slavefaults::kMarkDropped;
    return p;
  }
  if (f.corruptPercent > 0) {
    const std::uint64_t x = random.next();
    if (x % 100 < f.corruptPercent) {
      p.corrupt = true;
      p.corruptTransactionId = (x >> 32) & 1;
      p.marks |= slavefaults::kMarkCorrupted;
    }
  }
  if (f.delayMaxMs > 0) {
    p.delayMs = f.delayMinMs;
    if (f.delayMaxMs > f.delayMinMs)
      p.delayMs += static_cast<std::uint32_t>(random.next() % (f.delayMaxMs - f.delayMinMs + 1));
    if (p.delayMs > 0) p.marks |= slavefaults::kMarkDelayed;
  }
  if (f.busySeconds > 0) {
    const std::uint32_t intoPeriod = (platform::TickCount() - busyReference[i]) % (f.busyPeriodSeconds * 1000);
    if (intoPeriod < f.busySeconds * 1000) {
      p.exception = slavefaults::kBusyException;
      p.marks |= slavefaults::kMarkBusy;
    }
  }
  if (p.exception == 0 && f.exceptionCode != 0 &&
      (!f.exceptionRange || Overlaps(r, f.exceptionFirst, f.exceptionLast))) {
    p.exception = f.exceptionCode;
    p.marks |= slavefaults::kMarkException;
  }
  return p;
}

void Notify(bool sent, const std::uint8_t* bytes, std::uint16_t length) {
  FrameObserver observer = frameObserver.load(std::memory_order_acquire);
  if (observer) observer(sent, bytes, length);
}

void StoreFrame(std::uint8_t* copy, std::uint16_t* copyLength, const std::uint8_t* bytes, std::uint16_t length,
                std::intptr_t which, std::uint8_t marks = 0, std::uint32_t delayMs = 0) {
  if (length > kFrameCopySize) length = kFrameCopySize;
  {
    std::lock_guard<std::mutex> guard(engineLock);
    if (length > 0) std::memcpy(copy, bytes, length);
    *copyLength = length;
    if (which == 1) {
      lastSentMarks = marks;
      lastSentDelay = delayMs;
    }
    platform::PostWindowMessage(trafficWindow, platform::WM_ENGINE_NOTIFY, 0, which);
  }
  Notify(which == 1, bytes, length);
}

DataSlot* OwnedSlot(int slot) {
  if (slot < 0 || slot >= kSlotCount || !slots[slot].inUse) return nullptr;
  return &slots[slot];
}

void StoreWords(DataSlot& s, int firstWord, const std::uint16_t* words, int count, bool reverse) {
  for (int i = 0; i < count; ++i) SetWord(s, firstWord + i, words[reverse ? count - 1 - i : i]);
}

void LoadWords(const DataSlot& s, int firstWord, std::uint16_t* words, int count, bool reverse) {
  for (int i = 0; i < count; ++i) words[reverse ? count - 1 - i : i] = Word(s, firstWord + i);
}

}  // namespace

void InitEngine() {
  std::lock_guard<std::mutex> guard(engineLock);
  for (DataSlot& s : slots) s = DataSlot{};
  for (DataSlot& s : slots) std::memset(s.data, 0, sizeof s.data);
  statusByte = 0;
  trafficWindow = 0;
  lastReceivedLength = lastSentLength = 0;
  lastSentMarks = 0;
  for (slavefaults::FaultSettings& f : slotFaults) f = slavefaults::FaultSettings{};
  faultedSlots.store(0);
  pendingSerialLength = 0;
  refreshReference = platform::TickCount();
}

int RegisterSlot(platform::WindowHandle owner, std::uint32_t notifyMessage, std::uint32_t phase,
                 std::uint16_t slaveId, std::uint16_t table, std::uint16_t startAddress, std::uint16_t length) {
  if (slaveId > 255 || table < kCoils || table > kInputRegisters) return -1;
  const int maxLength = table <= kDiscreteInputs ? kMaxBitLength : kMaxRegisterLength;
  if (length > maxLength) return -1;
  std::lock_guard<std::mutex> guard(engineLock);
  for (int i = 0; i < kSlotCount; ++i) {
    DataSlot& s = slots[i];
    if (s.inUse) continue;
    s.owner = owner;
    s.notifyMessage = notifyMessage;
    s.slaveId = slaveId;
    s.table = table;
    s.startAddress = startAddress;
    s.length = length;
    s.refreshPeriod = kRefreshPeriodMs;
    s.inUse = 1;
    s.elapsed = phase + 1;
    std::memset(s.data, 0, sizeof s.data);
    slotFaults[i] = slavefaults::FaultSettings{};
    CountFaultedSlots();
    return i;
  }
  return -1;
}

int ReleaseSlot(int index) {
  if (index < 0 || index >= kSlotCount) return 0;
  std::lock_guard<std::mutex> guard(engineLock);
  slots[index].inUse = 0;
  CountFaultedSlots();
  return 1;
}

bool IsSlaveIdServed(std::uint16_t id) {
  std::lock_guard<std::mutex> guard(engineLock);
  for (const DataSlot& s : slots)
    if (s.inUse && (s.slaveId == id || id == 0)) return true;
  return false;
}

namespace {

void ServeSerialDecoded(const Request& r, const std::uint8_t* request, std::uint8_t* reply) {
  const std::uint8_t unit = r.unit;
  reply[0] = request[0];
  reply[1] = request[1];
  if (TableOf(r.function) == 0) {
    SendSerialException(reply, kIllegalFunction);
    return;
  }
  const std::uint8_t status = Handle(r, reply + 3);
  const bool broadcast = unit == 0;
  if (status != 0) {
    // Broadcasts of reads and writes get no exception; 22 and 23 do.
    if (broadcast && r.function != 22 && r.function != 23) return;
    SendSerialException(reply, status);
    return;
  }
  switch (r.function) {
    case 1: case 2: case 3: case 4: case 23:
      reply[2] = ReadByteCount(r);
      SendSerialReply(reply, static_cast<std::uint16_t>(reply[2] + 5));
      break;
    case 5: case 6: case 15: case 16:
      if (broadcast) return;
      std::memmove(reply + 2, request + 2, 4);
      SendSerialReply(reply, 8);
      break;
    case 22:
      std::memmove(reply + 2, request + 2, 6);
      SendSerialReply(reply, 10);
      break;
  }
}

void SendPendingSerialReply() {
  const std::uint16_t length = pendingSerialLength;
  pendingSerialLength = 0;
  RecordSent(pendingSerial, length, pendingSerialMarks, pendingSerialDelay);
  linklayer::SerialWrite(pendingSerial, length);
}

}  // namespace

void ServeSerialRequest(const std::uint8_t* request, std::uint16_t length, std::uint8_t* reply) {
  if (length < 2) return;  // not even an address and a function code
  const std::uint8_t unit = request[0];
  if (!IsSlaveIdServed(unit)) return;
  const Request r = DecodePdu(unit, request + 1, length - 1);
  const FaultPlan plan = PlanFaults(r);
  if (plan.drop) {
    RecordSent(nullptr, 0, plan.marks, 0);
    return;
  }
  // A reply still held back goes out before the next one.
  if (pendingSerialLength > 0) SendPendingSerialReply();
  serialPlan = plan;
  if (plan.exception != 0) {
    reply[0] = request[0];
    reply[1] = request[1];
    SendSerialException(reply, plan.exception);
  } else {
    ServeSerialDecoded(r, request, reply);
  }
  serialPlan = FaultPlan{};
}

void SendDueSerialReply() {
  if (pendingSerialLength > 0 && static_cast<std::int32_t>(platform::TickCount() - pendingSerialDue) >= 0)
    SendPendingSerialReply();
}

bool HasPendingSerialReply() { return pendingSerialLength > 0; }
void DiscardPendingSerialReply() { pendingSerialLength = 0; }

std::uint16_t ServeTcpRequest(const std::uint8_t* request, std::uint16_t length, std::uint8_t* reply) {
  if (length < 8) return 0;  // no function code
  const bool ignore = ignoreUnitId.load(std::memory_order_relaxed);
  const std::uint8_t unit = request[6];
  if (!ignore && !IsSlaveIdServed(unit)) return 0;
  const Request r = DecodePdu(unit, request + 7, length - 7);
  std::memmove(reply, request, 8);
  if (TableOf(r.function) == 0) {
    reply[7] = static_cast<std::uint8_t>(r.function + 0x80);
    reply[8] = kIllegalFunction;
    return 9;
  }
  const std::uint8_t status = Handle(r, reply + 9);
  const bool answerWrites = unit != 0 || ignore;
  if (status != 0) {
    if (IsWriteFunction(r.function) && !answerWrites) return 0;
    reply[7] = static_cast<std::uint8_t>(r.function + 0x80);
    reply[8] = status;
    return 9;
  }
  switch (r.function) {
    case 5: case 6: case 15: case 16:
      if (!answerWrites) return 0;
      std::memmove(reply + 8, request + 8, 4);
      return 12;
    case 22:
      std::memmove(reply + 8, request + 8, 6);
      return 14;
    default:
      reply[8] = ReadByteCount(r);
      return static_cast<std::uint16_t>(reply[8] + 9);
  }
}

std::uint16_t ServeTcpRequest(const std::uint8_t* request, std::uint16_t length, std::uint8_t* reply,
                              ReplyFaults* faults) {
  *faults = ReplyFaults{};
  FaultPlan plan;
  if (faultedSlots.load(std::memory_order_relaxed) != 0 && length >= 8) {
    const bool ignore = ignoreUnitId.load(std::memory_order_relaxed);
    if (!ignore && !IsSlaveIdServed(request[6])) return 0;
    plan = PlanFaults(DecodePdu(request[6], request + 7, length - 7));
  }
  faults->marks = plan.marks;
  if (plan.drop) return 0;
  std::uint16_t n = 0;
  if (plan.exception != 0) {
    std::memmove(reply, request, 8);
    reply[7] = static_cast<std::uint8_t>(request[7] | 0x80);
    reply[8] = plan.exception;
    n = 9;
  } else {
    n = ServeTcpRequest(request, length, reply);
  }
  if (n == 0) {
    faults->marks = 0;
    return 0;
  }
  std::uint16_t lengthField = static_cast<std::uint16_t>(n - 6);
  if (plan.corrupt) {
    if (plan.corruptTransactionId) reply[1] = static_cast<std::uint8_t>(reply[1] ^ 0x5A);
    else ++lengthField;
  }
  reply[4] = static_cast<std::uint8_t>(lengthField >> 8);
  reply[5] = static_cast<std::uint8_t>(lengthField);
  faults->delayMs = plan.delayMs;
  return n;
}

void SendSerialReply(std::uint8_t* frame, std::uint16_t totalLength) {
  const std::uint16_t binary = static_cast<std::uint16_t>(totalLength - 2);
  const std::uint8_t* out = frame;
  std::uint16_t outLength = totalLength;
  if (slaveloop::GetLinkMode() == slaveloop::kLinkAscii) {
    asciiReply[0] = ':';
    linklayer::EncodeHex(frame, binary, asciiReply + 1);
    std::uint8_t lrc = linklayer::ComputeLrc(frame, binary);
    if (serialPlan.corrupt) ++lrc;
    int n = 1 + 2 * binary;
    asciiReply[n++] = linklayer::NibbleToHexChar(lrc >> 4);
    asciiReply[n++] = linklayer::NibbleToHexChar(lrc & 0x0F);
    asciiReply[n++] = '\r';
    asciiReply[n++] = '\n';
    out = reinterpret_cast<const std::uint8_t*>(asciiReply);
    outLength = static_cast<std::uint16_t>(n);
  } else {
    std::uint16_t crc = linklayer::ComputeCrc16(frame, binary);
    if (serialPlan.corrupt) crc ^= 0x00FF;
    frame[binary] = static_cast<std::uint8_t>(crc);
    frame[binary + 1] = static_cast<std::uint8_t>(crc >> 8);
  }
  if (serialPlan.delayMs > 0) {
    std::memcpy(pendingSerial, out, outLength);
    pendingSerialLength = outLength;
    pendingSerialDue = platform::TickCount() + serialPlan.delayMs;
    pendingSerialMarks = serialPlan.marks;
    pendingSerialDelay = serialPlan.delayMs;
    return;
  }
  RecordSent(out, outLength, serialPlan.marks, 0);
  linklayer::SerialWrite(out, outLength);
}

void SendSerialException(std::uint8_t* frame, std::uint8_t code) {
  frame[1] = static_cast<std::uint8_t>(frame[1] + 0x80);
  frame[2] = code;
  SendSerialReply(frame, 5);
}

void RecordReceived(const std::uint8_t* bytes, std::uint16_t length) {
  StoreFrame(lastReceived, &lastReceivedLength, bytes, length, 0);
}

void RecordSent(const std::uint8_t* bytes, std::uint16_t length) {
  StoreFrame(lastSent, &lastSentLength, bytes, length, 1);
}

void RecordSent(const std::uint8_t* bytes, std::uint16_t length, std::uint8_t marks, std::uint32_t delayMs) {
  StoreFrame(lastSent, &lastSentLength, bytes, length, 1, marks, delayMs);
}

std::uint8_t LastSentMarks(std::uint32_t* delayMs) {
  std::lock_guard<std::mutex> guard(engineLock);
  if (delayMs) *delayMs = lastSentDelay;
  return lastSentMarks;
}

void SetSlotFaults(int slot, const slavefaults::FaultSettings& settings) {
  if (slot < 0 || slot >= kSlotCount) return;
  std::lock_guard<std::mutex> guard(engineLock);
  slotFaults[slot] = settings;
  slotPrng[slot] = slavefaults::SlotPrng(faultSeed, slot);
  busyReference[slot] = platform::TickCount();
  CountFaultedSlots();
}

slavefaults::FaultSettings SlotFaults(int slot) {
  if (slot < 0 || slot >= kSlotCount) return {};
  std::lock_guard<std::mutex> guard(engineLock);
  return slotFaults[slot];
}

bool AnyFaultsActive() { return faultedSlots.load(std::memory_order_relaxed) > 0; }

void SetFaultSeed(std::uint64_t seed) {
  std::lock_guard<std::mutex> guard(engineLock);
  faultSeed = seed;
}

std::uint64_t FaultSeed() {
  std::lock_guard<std::mutex> guard(engineLock);
  return faultSeed;
}

std::uint16_t CopyLastSent(std::uint8_t* buffer) {
  std::lock_guard<std::mutex> guard(engineLock);
  std::memcpy(buffer, lastSent, lastSentLength);
  return lastSentLength;
}

std::uint16_t CopyLastSent(std::uint8_t* buffer, std::uint8_t* marks, std::uint32_t* delayMs) {
  std::lock_guard<std::mutex> guard(engineLock);
  std::memcpy(buffer, lastSent, lastSentLength);
  *marks = lastSentMarks;
  *delayMs = lastSentDelay;
  return lastSentLength;
}

std::uint16_t CopyLastReceived(std::uint8_t* buffer) {
  std::lock_guard<std::mutex> guard(engineLock);
  std::memcpy(buffer, lastReceived, lastReceivedLength);
  return lastReceivedLength;
}

void SetTrafficWindow(platform::WindowHandle handle) {
  std::lock_guard<std::mutex> guard(engineLock);
  trafficWindow = handle;
}

void SetFrameObserver(FrameObserver observer) { frameObserver.store(observer, std::memory_order_release); }

void SetIgnoreUnitId(bool on) { ignoreUnitId.store(on, std::memory_order_relaxed); }
bool GetIgnoreUnitId() { return ignoreUnitId.load(std::memory_order_relaxed); }

void RefreshTick() {
  const std::uint32_t now = platform::TickCount();
  std::lock_guard<std::mutex> guard(engineLock);
  const std::uint32_t elapsed = now - refreshReference;
  refreshReference = now;
  for (int i = 0; i < kSlotCount; ++i) {
    DataSlot& s = slots[i];
    s.elapsed += elapsed;
    if (s.inUse && s.elapsed > s.refreshPeriod) {
      s.elapsed = 0;
      platform::PostWindowMessage(s.owner, s.notifyMessage, 0, i);
    }
  }
}

void NotifyStateChange() {
  std::lock_guard<std::mutex> guard(engineLock);
  for (const DataSlot& s : slots)
    if (s.inUse) platform::PostWindowMessage(s.owner, s.notifyMessage + 1, 0, 0);
}

int SetCoilValue(int slot, int index, std::uint8_t value) {
  if (index < 0 || index >= kDataAreaSize) return 0;
  std::lock_guard<std::mutex> guard(engineLock);
  DataSlot* s = OwnedSlot(slot);
  if (!s) return 0;
  s->data[index] = value;
  return 1;
}

int SetRegisterValue(int slot, int index, std::uint16_t value) {
  if (index < 0 || index >= kDataAreaSize / 2) return 0;
  std::lock_guard<std::mutex> guard(engineLock);
  DataSlot* s = OwnedSlot(slot);
  if (!s) return 0;
  SetWord(*s, index, value);
  return 1;
}

int SetLongValue(int slot, int index, std::uint32_t value, bool swap) {
  if (index < 0 || index >= kDataAreaSize / 4) return 0;
  const std::uint16_t words[2] = {static_cast<std::uint16_t>(value), static_cast<std::uint16_t>(value >> 16)};
  std::lock_guard<std::mutex> guard(engineLock);
  DataSlot* s = OwnedSlot(slot);
  if (!s) return 0;
  StoreWords(*s, 2 * index, words, 2, swap);
  return 1;
}

int SetFloatValue(int slot, int index, float value, bool swap) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, 4);
  return SetLongValue(slot, index, bits, swap);
}

int SetDoubleValue(int slot, int index, double value, bool swap) {
  if (index < 0 || index >= kDataAreaSize / 8) return 0;
  std::uint64_t bits;
  std::memcpy(&bits, &value, 8);
  std::uint16_t words[4];
  for (int i = 0; i < 4; ++i) words[i] = static_cast<std::uint16_t>(bits >> (16 * i));
  std::lock_guard<std::mutex> guard(engineLock);
  DataSlot* s = OwnedSlot(slot);
  if (!s) return 0;
  StoreWords(*s, 4 * index, words, 4, swap);
  return 1;
}

int ReadSlotCoils(int slot, std::uint8_t* out) {
  std::lock_guard<std::mutex> guard(engineLock);
  const DataSlot* s = OwnedSlot(slot);
  if (!s) return 0;
  std::memcpy(out, s->data, std::min<int>(s->length, kDataAreaSize));
  return 1;
}

int ReadSlotRegisters(int slot, std::uint16_t* out) {
  std::lock_guard<std::mutex> guard(engineLock);
  const DataSlot* s = OwnedSlot(slot);
  if (!s) return 0;
  const int count = std::min<int>(s->length, kDataAreaSize / 2);
  for (int i = 0; i < count; ++i) out[i] = Word(*s, i);
  return 1;
}

int ReadSlotLongs(int slot, std::uint32_t* out, bool swap) {
  std::lock_guard<std::mutex> guard(engineLock);
  const DataSlot* s = OwnedSlot(slot);
  if (!s) return 0;
  const int count = std::min<int>(s->length / 2, kDataAreaSize / 4);
  for (int i = 0; i < count; ++i) {
    std::uint16_t w[2];
    LoadWords(*s, 2 * i, w, 2, swap);
    out[i] = w[0] | std::uint32_t{w[1]} << 16;
  }
  return 1;
}

int ReadSlotDoubles(int slot, double* out, bool swap) {
  std::lock_guard<std::mutex> guard(engineLock);
  const DataSlot* s = OwnedSlot(slot);
  if (!s) return 0;
  const int count = std::min<int>(s->length / 4, kDataAreaSize / 8);
  for (int i = 0; i < count; ++i) {
    std::uint16_t w[4];
    LoadWords(*s, 4 * i, w, 4, swap);
    std::uint64_t bits = 0;
    for (int k = 0; k < 4; ++k) bits |= std::uint64_t{w[k]} << (16 * k);
    std::memcpy(&out[i], &bits, 8);
  }
  return 1;
}

}  // namespace slaveengine
