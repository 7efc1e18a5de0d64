#pragma once
// The slave engine: 32 fixed slots holding the simulated data of the open slave
// definitions, the Modbus request handlers that answer from them, the fault
// planning per definition and the notifications to the windows. Plain functions
// over module state guarded by one lock; runs on the caller's thread (the
// receive thread for requests, the user-interface thread for registration and
// edits). It builds reply PDUs only: framing, fault application and the writes
// belong to the receive loop (serial) and the TCP server.
#include <cstdint>

#include "platform/messages.h"
#include "slave/engine/faults.h"
#include "slave/engine/traffic_capture.h"

namespace slaveengine {

constexpr int kSlotCount = 32;
constexpr int kDataAreaSize = 4096;
constexpr int kMaxBitLength = 4096;      // coils, discrete inputs
constexpr int kMaxRegisterLength = 2048; // holding and input registers
constexpr std::uint16_t kRefreshPeriodMs = 500;

// Room a caller must provide for a reply: the largest serial reply with its CRC
// (255 bytes), its ASCII text is built elsewhere; the largest TCP reply is 259 bytes.
constexpr int kReplyCapacity = 300;

enum DataTable : std::uint16_t {
  kCoils = 1,
  kDiscreteInputs = 2,
  kHoldingRegisters = 3,
  kInputRegisters = 4,
};

void InitEngine();

// Slot index 0..31, or -1 for a definition out of range or a full table.
int RegisterSlot(platform::WindowHandle owner, std::uint32_t notifyMessage, std::uint32_t phase,
                 std::uint16_t slaveId, std::uint16_t table, std::uint16_t startAddress, std::uint16_t length);
int ReleaseSlot(int index);  // 1, or 0 for an index outside 0..31
bool IsSlaveIdServed(std::uint16_t id);

// The two ways requests arrive; they differ in which requests get an answer.
// Serial: only a served address (0 when any definition is open) is answered; a
// broadcast (address 0) gets no echo and no exception, except 22 and 23, which
// get a reply PDU here that the serial side never sends (no request to address
// 0 is answered on a line). TCP: with Ignore Unit ID every unit is served and nothing is a
// broadcast; else only a served unit, and echo writes to unit 0 get neither echo
// nor exception. An unsupported function code gets exception 1 on both.
enum class Transport : std::uint8_t { kSerial, kTcp };

// Whether the engine answers anything sent to this unit over this transport.
bool IsAddressed(Transport transport, std::uint8_t unit);

// Serves one request PDU (function code first, pduLength bytes counting it) sent
// to `unit` and builds the reply PDU in `reply` (kReplyCapacity bytes; may be the
// request PDU itself, the reply is then built in place). Returns the reply PDU
// length, 0 when nothing is to be sent. Never reads request bytes at or past
// pduLength. No framing, no I/O, no sleeping.
std::uint16_t ServePdu(Transport transport, std::uint8_t unit, const std::uint8_t* pdu, std::uint16_t pduLength,
                       std::uint8_t* reply);
// The exception reply PDU: function + 0x80 (modulo 256), code. Returns 2.
std::uint16_t ExceptionPdu(std::uint8_t* reply, std::uint8_t function, std::uint8_t code);

// Fault injection, per slot. RegisterSlot turns the slot's faults off; setting
// them restarts the slot's random sequence and its busy period.
void SetSlotFaults(int slot, const slavefaults::FaultSettings& settings);
slavefaults::FaultSettings SlotFaults(int slot);
// True when some slot in use has a fault set.
bool AnyFaultsActive();
// The seed of every slot's sequence (0 unless set); takes effect on the next
// SetSlotFaults.
void SetFaultSeed(std::uint64_t seed);
std::uint64_t FaultSeed();
// What the faults of the definition concerned do to this request (pduLength at
// least 1). Draws from that slot's random sequence; nothing for a broadcast.
slavefaults::FaultPlan PlanFaults(std::uint8_t unit, const std::uint8_t* pdu, std::uint16_t pduLength);

void SetIgnoreUnitId(bool on);
bool GetIgnoreUnitId();

// The periodic notification: every slot whose 500 ms have passed gets
// (notify message, 0, slot) posted to its owner.
void RefreshTick();
// Posts (notify message + 1, 0, 0) to the owner of every slot in use.
void NotifyStateChange();

// Value access for the user interface. Each returns 0 (or copies nothing) for a
// slot index outside 0..31 or a free slot, and for an index beyond the data area.
int SetCoilValue(int slot, int index, std::uint8_t value);
int SetRegisterValue(int slot, int index, std::uint16_t value);
int SetLongValue(int slot, int index, std::uint32_t value, bool swap);
int SetFloatValue(int slot, int index, float value, bool swap);
int SetDoubleValue(int slot, int index, double value, bool swap);
int ReadSlotCoils(int slot, std::uint8_t* out);       // `length` bytes
int ReadSlotRegisters(int slot, std::uint16_t* out);  // `length` words
int ReadSlotLongs(int slot, std::uint32_t* out, bool swap);   // length / 2 values
int ReadSlotDoubles(int slot, double* out, bool swap);        // length / 4 values

}  // namespace slaveengine
