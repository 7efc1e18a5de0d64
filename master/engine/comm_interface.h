#pragma once
// The master engine's communication interface: the flat set of operations
// through which zelmor reaches the poll scheduler, the transactions and the
// links. Plain functions over module-level state; none of them throws.
//
// Threads: every operation here is for the user-interface thread. The poll
// thread (started by StartPolling) runs the transactions. Registration, the
// write-data setters and the read-outs take the engine lock only for short
// copies, so they never wait for a transaction in progress. Connect, disconnect
// and the link setters must be called while polling is stopped.
//
// Results reach windows only as posted messages (platform::PostWindowMessage):
//   WM_ENGINE_NOTIFY (wParam result code, lParam slot) to a slot's owner after
//   each of its transactions (once it has transmitted) and to the traffic window
//   after every transaction; WM_ENGINE_STATE (0, 0) to every owner of an in-use
//   slot on NotifyStateChange.
#include <cstdint>

#include "common/modbus_protocol.h"
#include "master/engine/result_codes.h"
#include "platform/messages.h"

namespace masterengine {

using platform::WindowHandle;

// ---- Tables and limits -------------------------------------------------------

constexpr int kSlotCount = 33;           // slot 0 one-shot, 1..32 polls
constexpr int kRequestDataBytes = 2000;  // request data / result values per slot
constexpr int kMaxValueWords = kRequestDataBytes / 2;
constexpr int kSlotSentCapacity = 535;      // largest frame the engine sends (ASCII type 23, 127 registers)
constexpr int kSlotReceivedCapacity = 523;  // largest reply kept

// Link modes.
constexpr std::uint16_t kLinkRtu = 0;
constexpr std::uint16_t kLinkAscii = 1;
constexpr std::uint16_t kLinkTcp = 2;
constexpr std::uint16_t kLinkRtuOverTcp = 3;  // RTU frames and CRC on a TCP stream (a serial gateway)
constexpr std::uint16_t kLinkUdp = 4;         // Modbus/UDP: one MBAP frame per datagram

// Reads of one transaction. An exchange is tried kExchangeAttempts times; over
// Modbus/TCP each try reads up to kMaxTcpReceives replies (replies to earlier,
// timed-out requests are skipped), over a serial line the echo and the reply,
// each read within the response time-out.
constexpr int kExchangeAttempts = 1;
constexpr int kMaxTcpReceives = 5;
constexpr int kMaxSerialReads = 2;
// The longest a transaction waits for replies on any link (connecting and the
// time frames take on the line come on top).
constexpr std::uint32_t LongestReplyWaitMs(std::uint32_t responseTimeoutMs) {
  constexpr int reads = kMaxTcpReceives > kMaxSerialReads ? kMaxTcpReceives : kMaxSerialReads;
  return static_cast<std::uint32_t>(kExchangeAttempts * reads) * responseTimeoutMs;
}

// Poll modes.
constexpr std::uint16_t kModeStopped = 0;
constexpr std::uint16_t kModeContinuous = 1;
constexpr std::uint16_t kModeOnce = 2;

// Request limits, which keep every byte count within its one-byte field. Register
// reads (3, 4 and the read part of 23) may ask for up to 127 registers, past the
// protocol's 125: the engine's frames hold them and some devices answer.
constexpr int kMaxReadBits = modbus::MAX_READ_BITS;
constexpr int kMaxReadRegisters = 127;

// Write-data setter limits.
constexpr int kMaxWriteRegisters = 127;
constexpr int kMaxWriteCoils = 2000;  // a 15 request; past the protocol's 1968
constexpr int kMaxWriteLongs = 63;
constexpr int kMaxWriteDoubles = 31;
constexpr int kMaxWriteBytes = kRequestDataBytes;

// ---- Links -------------------------------------------------------------------

// Connects the network link for link mode kLinkTcp, kLinkRtuOverTcp or kLinkUdp
// to a host name, dotted IPv4 or IPv6 address (brackets allowed). Looks the name
// up, so it blocks: call it off the user-interface thread. Returns RESULT_OK,
// RESULT_WSA_STARTUP (no socket could be created), RESULT_BAD_IP (empty, a
// malformed dotted address or 255.255.255.255), RESULT_HOST_NOT_FOUND (the name
// does not resolve) or RESULT_CONNECT_FAILED.
// Does not notify: the caller sets the link mode and starts polling on success.
// Connecting or opening while the poll thread runs stops it first.
std::uint16_t NetConnect(std::uint16_t linkMode, const char* host, std::uint16_t port,
                         std::uint32_t responseTimeoutMs);
// Closes the TCP connection, then NotifyStateChange(). Stops the poll thread
// first when it is still running (waits for its current transaction).
void TcpDisconnect();
// Opens / closes the serial port (port number 1..8), then NotifyStateChange()
// whatever the result. parity: 0 none, 1 odd, 2 even; stopBits: 0 one, 2 two.
// Closing stops the poll thread first, like TcpDisconnect.
bool OpenSerialPort(int portNumber, std::uint32_t baudRate, int dataBits, int parity, int stopBits);
bool CloseSerialPort();
// Serial port open or TCP connected.
bool IsConnected();
bool SetSerialTimeouts(std::uint32_t readInterval, std::uint32_t readMultiplier, std::uint32_t readConstant,
                       std::uint32_t writeMultiplier, std::uint32_t writeConstant);
void SetLineOptions(std::uint8_t options);
void SetRtsReleaseDelay(std::uint16_t milliseconds);
// 0 RTU, 1 ASCII, 2 Modbus/TCP, 3 RTU over TCP, 4 Modbus/UDP. Ignored while polling.
void SetLinkMode(std::uint16_t mode);
std::uint16_t GetLinkMode();
// A two-wire adapter that hears its own transmission: serial requests come back
// before the reply and are dropped.
void SetEcho(bool on);

// ---- Engine ------------------------------------------------------------------

// Zeroes the slot and result tables and sets the tick reference. Call once at
// start (tests may call it again while polling is stopped).
void InitEngine();

// Registers a poll in the lowest free slot 1..32; returns the slot or -1 (bad
// arguments or no free slot). Types: 1..6, 15, 16, 22, 23. Reads and 22 (and 23
// without writes) are enabled at once; writes wait for their write-data setter.
// For type 22, address is the AND mask and quantity the OR mask.
int RegisterPoll(WindowHandle owner, std::uint32_t message, std::uint16_t scanRateMs, std::uint16_t slave,
                 std::uint16_t type, std::uint16_t address, std::uint16_t quantity, std::uint16_t writeAddress,
                 std::uint16_t writeCount);
// mode: 0 stopped, 1 continuous, 2 once. The slot is due at the next pass. Returns 1 (0 for a bad slot).
int SetPollMode(int slot, std::uint16_t mode);
// Frees a slot. Returns 1, or 0 for a slot outside 0..32.
int UnregisterPoll(int slot);
// Puts a one-off request into slot 0, served ahead of every poll. Type 0 is a
// raw frame (supply it with SetWriteBytes; writeCount is then its length).
// Returns 1 accepted, 0 refused (bad arguments, or slot 0 still busy).
int SubmitOneShot(WindowHandle owner, std::uint32_t message, std::uint16_t slave, std::uint16_t type,
                  std::uint16_t address, std::uint16_t quantity, std::uint16_t writeAddress,
                  std::uint16_t writeCount);

// Write-data setters: store values, set the write count and enable the slot.
// Return 1, or 0 for a slot outside 0..32 or not in use (registered or submitted),
// or a count of 0 or above the limit.
// Word order: without reverse/swap the lowest register holds the least
// significant 16 bits; with it the most significant 16 bits come first.
int SetWriteDoubles(int slot, int count, const double* values, bool reverse);           // 1..31
int SetWriteLongs(int slot, int count, const std::uint32_t* values, bool swap);         // 1..63
int SetWriteRegisters(int slot, int count, const std::uint16_t* values);                // 1..127
int SetWriteBytes(int slot, int count, const std::uint8_t* bytes);                      // 1..2000

// Read-outs: copy the values of the slot's last good reply and return the slot's
// result code (RESULT_BAD_SLOT for a slot outside 0..32). The count follows the
// slot's quantity, capped to the 2000-byte value table, so out must hold up to
// 2000 bytes / 1000 words / 500 longs / 250 doubles.
std::uint16_t ReadResultDoubles(int slot, double* out, bool reverse);  // quantity/4 values; 0 -> RESULT_NO_VALUES
std::uint16_t ReadResultLongs(int slot, std::uint32_t* out, bool swap);  // quantity/2 values; 0 -> RESULT_NO_VALUES
std::uint16_t ReadResultRegisters(int slot, std::uint16_t* out);
std::uint16_t ReadResultBytes(int slot, std::uint8_t* out);

// Request-to-reply times of a slot's transactions since its counters were last
// reset, measured on the poll thread with a monotonic clock. Only transactions
// that got an answer are timed (a time-out would only repeat the time-out
// setting); the time runs from just before the request is written until the
// reply has been read and checked.
struct ResponseTimes {
  std::uint32_t count = 0;  // transactions timed
  std::uint32_t lastUs = 0;
  std::uint32_t minUs = 0;
  std::uint32_t maxUs = 0;
  std::uint64_t totalUs = 0;  // mean = totalUs / count
};

// Returns 1, or 0 for a bad slot.
int ReadCounters(int slot, std::uint32_t* transmitCount, std::uint32_t* goodCount);
// Copies the slot's response times. Returns 1, or 0 for a bad slot.
int ReadResponseTimes(int slot, ResponseTimes* times);
// The counts (and response times) are zeroed when the slot is next served. Returns 1, or 0 for a bad slot.
int RequestCounterReset(int slot);
// Copy the slot's last sent / received frame; return its length (0 for a bad slot).
// buffer must hold kSlotSentCapacity / kSlotReceivedCapacity bytes.
std::uint16_t CopySlotSent(int slot, std::uint8_t* buffer);
std::uint16_t CopySlotReceived(int slot, std::uint8_t* buffer);
std::uint16_t GetResultCode(int slot);

// The traffic monitor's window (0 = none).
void SetTrafficWindow(WindowHandle window);
// Pause at the start of every pass of the poll thread (initially 10 ms).
void SetDelayBetweenPolls(std::uint32_t milliseconds);
// Starts the poll thread (posts WM_ENGINE_STATE first). Returns 1, or 0 when the
// thread could not be created (or is already running).
int StartPolling();
// Stops the poll thread and waits until its current pass has finished.
void StopPolling();
bool IsPolling();
// Posts WM_ENGINE_STATE to the owner of every in-use slot.
void NotifyStateChange();

// One pass of the poll thread, for tests that drive the scheduler step by step
// while polling is stopped.
void PollTick();

// Modbus CRC-16 (for the test center).
std::uint16_t ComputeCrc16(const std::uint8_t* bytes, std::uint16_t length);

}  // namespace masterengine
