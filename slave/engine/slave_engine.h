#pragma once
// The slave engine: 32 fixed slots holding the simulated data of the open slave
// definitions, the Modbus request handlers that answer from them, and the
// notifications to the windows. Plain functions over module state guarded by one
// lock; runs on the caller's thread (the receive thread for requests, the
// user-interface thread for registration and edits).
#include <cstdint>

#include "platform/messages.h"
#include "slave/engine/faults.h"

namespace slaveengine {

constexpr int kSlotCount = 32;
constexpr int kDataAreaSize = 4096;
constexpr int kMaxBitLength = 4096;      // coils, discrete inputs
constexpr int kMaxRegisterLength = 2048; // holding and input registers
constexpr int kFrameCopySize = 600;      // last sent / last received frame
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

// Modbus exception codes the handlers answer with.
enum ExceptionCode : std::uint8_t {
  kIllegalFunction = 1,
  kIllegalDataAddress = 2,
  kIllegalDataValue = 3,
};

void InitEngine();

// Slot index 0..31, or -1 for a definition out of range or a full table.
int RegisterSlot(platform::WindowHandle owner, std::uint32_t notifyMessage, std::uint32_t phase,
                 std::uint16_t slaveId, std::uint16_t table, std::uint16_t startAddress, std::uint16_t length);
int ReleaseSlot(int index);  // 1, or 0 for an index outside 0..31
bool IsSlaveIdServed(std::uint16_t id);

// Serves one binary serial request (address byte first, checksum already checked
// and not counted in `length`) and sends the answer through SendSerialReply.
// `reply` needs kReplyCapacity bytes and may be the request buffer itself (the
// reply is then built in place). Never reads request bytes at or past `length`.
void ServeSerialRequest(const std::uint8_t* request, std::uint16_t length, std::uint8_t* reply);

// Serves one Modbus/TCP request (MBAP header first, `length` bytes in all) and
// builds the answer in `reply` (kReplyCapacity bytes; may be the request buffer).
// Returns the reply length, 0 when nothing is to be sent. The caller writes the
// MBAP length field. Never reads request bytes at or past `length`.
std::uint16_t ServeTcpRequest(const std::uint8_t* request, std::uint16_t length, std::uint8_t* reply);

// totalLength counts the two checksum bytes of the binary frame. RTU appends the
// CRC; ASCII sends the frame as ":" hex LRC CR LF. Records and announces the frame.
void SendSerialReply(std::uint8_t* frame, std::uint16_t totalLength);
void SendSerialException(std::uint8_t* frame, std::uint8_t code);

// Last received / sent frame for the traffic monitor.
void RecordReceived(const std::uint8_t* bytes, std::uint16_t length);
void RecordSent(const std::uint8_t* bytes, std::uint16_t length);
// A sent frame with its fault marks (slavefaults::FaultMark); a dropped reply is
// recorded as an empty frame marked kMarkDropped.
void RecordSent(const std::uint8_t* bytes, std::uint16_t length, std::uint8_t marks, std::uint32_t delayMs);
// Marks of the last sent frame (0 for a clean one) and its delay.
std::uint8_t LastSentMarks(std::uint32_t* delayMs = nullptr);
std::uint16_t CopyLastSent(std::uint8_t* buffer);      // buffer of kFrameCopySize bytes
// The same, with the frame's fault marks and delay taken under the same lock.
std::uint16_t CopyLastSent(std::uint8_t* buffer, std::uint8_t* marks, std::uint32_t* delayMs);
std::uint16_t CopyLastReceived(std::uint8_t* buffer);  // buffer of kFrameCopySize bytes
void SetTrafficWindow(platform::WindowHandle handle);

// Called on the receive thread with each recorded frame, outside the lock (the
// headless runner prints traffic with it). Set before the receive thread starts.
using FrameObserver = void (*)(bool sent, const std::uint8_t* bytes, std::uint16_t length);
void SetFrameObserver(FrameObserver observer);

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

// What the faults did to one TCP reply.
struct ReplyFaults {
  std::uint8_t marks = 0;     // slavefaults::FaultMark bits
  std::uint32_t delayMs = 0;  // send the reply this much later
};
// As ServeTcpRequest, with the faults of the serving definition applied; also
// writes the MBAP length field (a corrupted reply may get a wrong one). A
// dropped request returns 0 with kMarkDropped set.
std::uint16_t ServeTcpRequest(const std::uint8_t* request, std::uint16_t length, std::uint8_t* reply,
                              ReplyFaults* faults);
// A delayed serial reply waits in the engine; the receive loop calls this on
// every pass and it goes out once due.
void SendDueSerialReply();
bool HasPendingSerialReply();
void DiscardPendingSerialReply();

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
