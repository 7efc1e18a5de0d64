#include "slave/engine/slave_engine.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <mutex>

#include "common/modbus_protocol.h"
#include "common/word_order.h"
#include "platform/ticks.h"
#include "slave/engine/device_functions.h"

namespace slaveengine {
namespace {

using namespace modbus;
using wordorder::Get16;
using wordorder::Put16;

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

std::mutex engineLock;  // guards the slots, their faults and the refresh reference
DataSlot slots[kSlotCount];
std::uint32_t refreshReference = 0;
std::atomic<bool> ignoreUnitId{false};

// Fault injection per slot; faultedSlots lets requests skip the lock when
// nothing is set.
slavefaults::FaultSettings slotFaults[kSlotCount];
slavefaults::Prng slotPrng[kSlotCount];
std::uint32_t busyReference[kSlotCount];
std::uint64_t faultSeed = 0;
std::atomic<int> faultedSlots{0};

std::uint16_t Word(const DataSlot& s, int i) {
  std::uint16_t v;
  std::memcpy(&v, s.data + 2 * i, 2);
  return v;
}
void SetWord(DataSlot& s, int i, std::uint16_t v) { std::memcpy(s.data + 2 * i, &v, 2); }

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

// PDU bytes up to the byte count (or the last fixed field); 0 for a function
// the engine does not serve.
int FixedPduLength(std::uint8_t function) {
  if (IsRead(function) || function == FC_WRITE_SINGLE_COIL || function == FC_WRITE_SINGLE_REGISTER) return 5;
  if (function == FC_WRITE_MULTIPLE_COILS || function == FC_WRITE_MULTIPLE_REGISTERS) return 6;
  if (function == FC_MASK_WRITE_REGISTER) return 7;
  if (function == FC_WRITE_AND_READ_REGISTERS) return 10;
  return 0;
}

// pdu points at the function code; pduLength counts it and what follows.
Request DecodePdu(std::uint8_t unit, const std::uint8_t* pdu, int pduLength) {
  Request r;
  r.unit = unit;
  r.function = pdu[0];
  const int fixed = FixedPduLength(r.function);
  if (fixed == 0 || pduLength < fixed) return r;
  r.address = Get16(pdu + 1);
  r.quantity = Get16(pdu + 3);
  if (r.function == FC_MASK_WRITE_REGISTER) r.orMask = Get16(pdu + 5);
  if (r.function == FC_WRITE_AND_READ_REGISTERS) {
    r.writeAddress = Get16(pdu + 5);
    r.writeQuantity = Get16(pdu + 7);
  }
  if (fixed == 6 || fixed == 10) {  // a byte count and the data it announces
    r.byteCount = pdu[fixed - 1];
    r.data = pdu + fixed;
    if (pduLength - fixed < r.byteCount) return r;
  }
  r.complete = true;
  return r;
}

int TableOf(std::uint8_t function) {
  switch (function) {
    case FC_READ_COILS: case FC_WRITE_SINGLE_COIL: case FC_WRITE_MULTIPLE_COILS: return kCoils;
    case FC_READ_DISCRETE_INPUTS: return kDiscreteInputs;
    case FC_READ_HOLDING_REGISTERS: case FC_WRITE_SINGLE_REGISTER: case FC_WRITE_MULTIPLE_REGISTERS:
    case FC_MASK_WRITE_REGISTER: case FC_WRITE_AND_READ_REGISTERS: return kHoldingRegisters;
    case FC_READ_INPUT_REGISTERS: return kInputRegisters;
    default: return 0;
  }
}

bool ValuesValid(const Request& r) {
  if (!r.complete) return false;
  switch (r.function) {
    case FC_READ_COILS: case FC_READ_DISCRETE_INPUTS: return r.quantity >= 1 && r.quantity <= MAX_READ_BITS;
    case FC_READ_HOLDING_REGISTERS: case FC_READ_INPUT_REGISTERS:
      return r.quantity >= 1 && r.quantity <= MAX_READ_REGISTERS;
    case FC_WRITE_SINGLE_COIL: return r.quantity == COIL_ON || r.quantity == COIL_OFF;
    case FC_WRITE_MULTIPLE_COILS:
      return r.quantity >= 1 && r.quantity <= MAX_WRITE_BITS && r.byteCount == BitBytes(r.quantity);
    case FC_WRITE_MULTIPLE_REGISTERS:
      return r.quantity >= 1 && r.quantity <= MAX_WRITE_REGISTERS && r.byteCount == 2 * r.quantity;
    case FC_WRITE_AND_READ_REGISTERS:
      return r.quantity >= 1 && r.quantity <= MAX_WR_READ_REGISTERS && r.writeQuantity >= 1 &&
             r.writeQuantity <= MAX_WR_WRITE_REGISTERS && r.byteCount == 2 * r.writeQuantity;
    default: return true;  // 06 and 22 have no value check
  }
}

// A request touching one address: the single writes and the mask write.
bool IsSingleAddress(std::uint8_t function) {
  return function == FC_WRITE_SINGLE_COIL || function == FC_WRITE_SINGLE_REGISTER ||
         function == FC_MASK_WRITE_REGISTER;
}

bool Holds(const DataSlot& s, std::uint32_t address, std::uint32_t count) {
  return address >= s.startAddress && address + count <= std::uint32_t{s.startAddress} + s.length;
}

bool InRange(const DataSlot& s, const Request& r) {
  if (IsSingleAddress(r.function)) return Holds(s, r.address, 1);
  if (r.function == FC_WRITE_AND_READ_REGISTERS)
    return Holds(s, r.address, r.quantity) && Holds(s, r.writeAddress, r.writeQuantity);
  return Holds(s, r.address, r.quantity);
}

void ReadWords(const DataSlot& s, int first, int count, std::uint8_t* out) {
  for (int i = 0; i < count; ++i) Put16(out + 2 * i, Word(s, first + i));
}

void WriteWords(DataSlot& s, int first, int count, const std::uint8_t* data) {
  for (int i = 0; i < count; ++i) SetWord(s, first + i, Get16(data + 2 * i));
}

// Serves the request from one slot. Read data (byte count excluded) goes to out.
void Apply(DataSlot& s, const Request& r, std::uint8_t* out) {
  const int first = r.address - s.startAddress;
  switch (r.function) {
    case FC_READ_COILS: case FC_READ_DISCRETE_INPUTS:
      std::memset(out, 0, BitBytes(r.quantity));
      for (int i = 0; i < r.quantity; ++i)
        if (s.data[first + i]) out[i / 8] |= static_cast<std::uint8_t>(1 << (i % 8));
      break;
    case FC_READ_HOLDING_REGISTERS: case FC_READ_INPUT_REGISTERS: ReadWords(s, first, r.quantity, out); break;
    case FC_WRITE_SINGLE_COIL: s.data[first] = r.quantity == COIL_ON ? 1 : 0; break;
    case FC_WRITE_SINGLE_REGISTER: SetWord(s, first, r.quantity); break;
    case FC_WRITE_MULTIPLE_COILS:
      for (int i = 0; i < r.quantity; ++i) s.data[first + i] = (r.data[i / 8] >> (i % 8)) & 1;
      break;
    case FC_WRITE_MULTIPLE_REGISTERS: WriteWords(s, first, r.quantity, r.data); break;
    case FC_MASK_WRITE_REGISTER: {
      const std::uint16_t v = Word(s, first);
      SetWord(s, first, static_cast<std::uint16_t>((v & r.quantity) | (r.orMask & ~r.quantity)));
      break;
    }
    case FC_WRITE_AND_READ_REGISTERS:  // the write goes first
      WriteWords(s, r.writeAddress - s.startAddress, r.writeQuantity, r.data);
      ReadWords(s, first, r.quantity, out);
      break;
    default: break;
  }
}

// The status scan over the 32 slots. Returns 0 when served, else the exception
// code of the last slot taking part; read data goes to out. The request data is
// read before out is written, so out may overlap the request.
std::uint8_t Handle(const Request& r, std::uint8_t* out) {
  const int table = TableOf(r.function);
  const bool ignore = ignoreUnitId.load(std::memory_order_relaxed);
  const bool writeFunction = IsEchoWrite(r.function);
  const bool broadcast = writeFunction && r.unit == BROADCAST_ADDRESS && !ignore;
  std::uint8_t status = EXCEPTION_ILLEGAL_FUNCTION;
  int served = -1;
  std::lock_guard<std::mutex> guard(engineLock);
  for (int i = 0; i < kSlotCount; ++i) {
    DataSlot& s = slots[i];
    if (!s.inUse || s.table != table) continue;
    if (!(s.slaveId == r.unit || ignore || (writeFunction && r.unit == BROADCAST_ADDRESS))) continue;
    status = EXCEPTION_ILLEGAL_DATA_VALUE;
    if (!ValuesValid(r)) continue;
    status = EXCEPTION_ILLEGAL_DATA_ADDRESS;
    if (!InRange(s, r)) continue;
    Apply(s, r, out);
    status = 0;
    if (!broadcast) {
      served = i;
      break;
    }
  }
  if (served >= 0) platform::PostWindowMessage(slots[served].owner, slots[served].notifyMessage, 1, served);
  return status;
}

// Byte count of a read reply (01-04, 23).
std::uint8_t ReadByteCount(const Request& r) {
  if (IsBitRead(r.function)) return static_cast<std::uint8_t>(BitBytes(r.quantity));
  return static_cast<std::uint8_t>(2 * r.quantity);
}

// The reply that repeats the request's first `count` PDU bytes (function code,
// address and value or quantity; 22: both masks).
std::uint16_t EchoPdu(std::uint8_t* reply, const std::uint8_t* pdu, std::uint16_t count) {
  std::memmove(reply, pdu, count);
  return count;
}

// Which answers the transport leaves out for this request (see Transport).
struct Silence {
  bool echo = false;   // a successful echo write
  bool error = false;  // an exception of the status scan
};
Silence SilenceOf(Transport transport, std::uint8_t unit, std::uint8_t function) {
  Silence quiet;
  if (transport == Transport::kSerial) {
    quiet.echo = unit == BROADCAST_ADDRESS;
    quiet.error = quiet.echo && function != FC_MASK_WRITE_REGISTER && function != FC_WRITE_AND_READ_REGISTERS;
  } else {
    quiet.echo = unit == BROADCAST_ADDRESS && !ignoreUnitId.load(std::memory_order_relaxed);
    quiet.error = quiet.echo && IsEchoWrite(function);
  }
  return quiet;
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
  if (IsSingleAddress(r.function)) return hits(r.address, 1);
  if (r.function == FC_WRITE_AND_READ_REGISTERS)
    return hits(r.address, r.quantity) || hits(r.writeAddress, r.writeQuantity);
  if (IsRead(r.function) || r.function == FC_WRITE_MULTIPLE_COILS || r.function == FC_WRITE_MULTIPLE_REGISTERS)
    return hits(r.address, r.quantity);
  return false;
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

// The exception a slot's faults put in place of the reply: a busy burst first,
// then the fixed exception. Draws nothing. Caller holds the lock.
void PlanException(int i, const Request& r, slavefaults::FaultPlan* p) {
  const slavefaults::FaultSettings& f = slotFaults[i];
  if (f.busySeconds > 0) {
    const std::uint32_t intoPeriod = (platform::TickCount() - busyReference[i]) % (f.busyPeriodSeconds * 1000);
    if (intoPeriod < f.busySeconds * 1000) {
      p->exception = slavefaults::kBusyException;
      p->marks |= slavefaults::kMarkBusy;
    }
  }
  if (p->exception == 0 && f.exceptionCode != 0 &&
      (!f.exceptionRange || Overlaps(r, f.exceptionFirst, f.exceptionLast))) {
    p->exception = f.exceptionCode;
    p->marks |= slavefaults::kMarkException;
  }
}

DataSlot* OwnedSlot(int slot) {
  if (slot < 0 || slot >= kSlotCount || !slots[slot].inUse) return nullptr;
  return &slots[slot];
}

// Registers as the slot holds them, in the slot's order.
void StoreWords(DataSlot& s, int firstWord, const std::uint16_t* words, int count) {
  for (int i = 0; i < count; ++i) SetWord(s, firstWord + i, words[i]);
}

void LoadWords(const DataSlot& s, int firstWord, std::uint16_t* words, int count) {
  for (int i = 0; i < count; ++i) words[i] = Word(s, firstWord + i);
}

}  // namespace

void InitEngine() {
  {
    std::lock_guard<std::mutex> guard(engineLock);
    for (DataSlot& s : slots) s = DataSlot{};
    for (DataSlot& s : slots) std::memset(s.data, 0, sizeof s.data);
    for (slavefaults::FaultSettings& f : slotFaults) f = slavefaults::FaultSettings{};
    faultedSlots.store(0);
    refreshReference = platform::TickCount();
  }
  ResetTraffic();
}

int RegisterSlot(platform::WindowHandle owner, std::uint32_t notifyMessage, std::uint32_t phase,
                 std::uint16_t slaveId, std::uint16_t table, std::uint16_t startAddress, std::uint16_t length) {
  if (slaveId > MAX_UNIT_ID || table < kCoils || table > kInputRegisters) return -1;
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
    if (s.inUse && (s.slaveId == id || id == BROADCAST_ADDRESS)) return true;
  return false;
}

bool IsAddressed(Transport transport, std::uint8_t unit) {
  if (transport == Transport::kTcp && ignoreUnitId.load(std::memory_order_relaxed)) return true;
  return IsSlaveIdServed(unit);
}

std::uint16_t ExceptionPdu(std::uint8_t* reply, std::uint8_t function, std::uint8_t code) {
  reply[0] = static_cast<std::uint8_t>(function + EXCEPTION_FLAG);
  reply[1] = code;
  return 2;
}

std::uint16_t ServePdu(Transport transport, std::uint8_t unit, const std::uint8_t* pdu, std::uint16_t pduLength,
                       std::uint8_t* reply) {
  if (pduLength < 1 || !IsAddressed(transport, unit)) return 0;
  if (IsDeviceFunction(pdu[0])) {
    // Device functions answer every addressed unit; a serial broadcast gets no reply.
    if (transport == Transport::kSerial && unit == BROADCAST_ADDRESS) return 0;
    return ServeDeviceFunction(unit, pdu, pduLength, reply);
  }
  const Request r = DecodePdu(unit, pdu, pduLength);
  if (TableOf(r.function) == 0) return ExceptionPdu(reply, r.function, EXCEPTION_ILLEGAL_FUNCTION);
  const std::uint8_t status = Handle(r, reply + 2);
  const Silence quiet = SilenceOf(transport, unit, r.function);
  if (status != 0) return quiet.error ? 0 : ExceptionPdu(reply, r.function, status);
  if (IsEchoWrite(r.function)) return quiet.echo ? 0 : EchoPdu(reply, pdu, 5);
  if (r.function == FC_MASK_WRITE_REGISTER) return EchoPdu(reply, pdu, 7);
  reply[0] = r.function;
  reply[1] = ReadByteCount(r);
  return static_cast<std::uint16_t>(2 + reply[1]);
}

// Draws in a fixed order per request (drop, then corruption, then the delay
// within its range), so that a seed repeats the same faults for the same
// requests; busy bursts and exceptions draw nothing.
slavefaults::FaultPlan PlanFaults(std::uint8_t unit, const std::uint8_t* pdu, std::uint16_t pduLength) {
  slavefaults::FaultPlan p;
  if (faultedSlots.load(std::memory_order_relaxed) == 0) return p;
  const bool ignore = ignoreUnitId.load(std::memory_order_relaxed);
  if (unit == BROADCAST_ADDRESS && !ignore) return p;  // broadcasts are never answered anyway
  const Request r = DecodePdu(unit, pdu, pduLength);
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
  PlanException(i, r, &p);
  return p;
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
  std::uint16_t words[2];
  wordorder::Split32(value, wordorder::FromSwap(swap), words);
  std::lock_guard<std::mutex> guard(engineLock);
  DataSlot* s = OwnedSlot(slot);
  if (!s) return 0;
  StoreWords(*s, 2 * index, words, 2);
  return 1;
}

int SetFloatValue(int slot, int index, float value, bool swap) {
  return SetLongValue(slot, index, std::bit_cast<std::uint32_t>(value), swap);
}

int SetDoubleValue(int slot, int index, double value, bool swap) {
  if (index < 0 || index >= kDataAreaSize / 8) return 0;
  std::uint16_t words[4];
  wordorder::SplitDouble(value, wordorder::FromSwap(swap), words);
  std::lock_guard<std::mutex> guard(engineLock);
  DataSlot* s = OwnedSlot(slot);
  if (!s) return 0;
  StoreWords(*s, 4 * index, words, 4);
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
  LoadWords(*s, 0, out, count);
  return 1;
}

int ReadSlotLongs(int slot, std::uint32_t* out, bool swap) {
  std::lock_guard<std::mutex> guard(engineLock);
  const DataSlot* s = OwnedSlot(slot);
  if (!s) return 0;
  const int count = std::min<int>(s->length / 2, kDataAreaSize / 4);
  for (int i = 0; i < count; ++i) {
    std::uint16_t w[2];
    LoadWords(*s, 2 * i, w, 2);
    out[i] = wordorder::Join32(w, wordorder::FromSwap(swap));
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
    LoadWords(*s, 4 * i, w, 4);
    out[i] = wordorder::JoinDouble(w, wordorder::FromSwap(swap));
  }
  return 1;
}

}  // namespace slaveengine
