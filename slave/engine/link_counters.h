#pragma once
// The counts of this link that diagnostics (08) and the comm event counter (0B)
// report: one call where the receive loop or the TCP server completes, rejects
// or answers a frame. Atomic 16-bit counts that wrap, as on the wire; any
// thread may read them.
#include <cstdint>

namespace slavecounters {

// Order of the diagnostic sub-functions 0x0B..0x12 that return them.
enum Counter : int {
  kBusMessages,    // frames with a good check, for any address
  kBusErrors,      // frames with a bad CRC or LRC
  kExceptions,     // exception replies sent
  kServerMessages, // requests addressed to this slave (broadcasts included)
  kNoResponse,     // of those, the ones not answered
  kNaks,           // negative acknowledge replies
  kBusy,           // slave busy replies
  kOverruns,       // frames longer than the receiver holds
  kCounterCount
};

// Before a frame is served: it had a good check; it is addressed to this slave
// (broadcasts included). After: the reply PDU sent for an addressed request
// (length 0: none). A request that clears the counters is counted as its
// reply goes out, so the event counter and nothing else then holds 1.
void CountBusMessage();
void CountCheckError();
void CountOverrun();
void CountServerMessage();
void CountReply(const std::uint8_t* replyPdu, std::uint16_t replyLength);

// The same for a complete Modbus/TCP request (MBAP header first) and its reply
// (replyLength bytes with the header, 0 for none).
void CountTcpRequest(const std::uint8_t* request, std::uint16_t length);
void CountTcpReply(const std::uint8_t* request, std::uint16_t length, const std::uint8_t* reply,
                   std::uint16_t replyLength);

std::uint16_t Count(Counter which);
// The comm event counter: requests answered without an exception (0B itself
// not counted).
std::uint16_t EventCount();
// Restart communications and clear counters (08/01, 08/0A).
void ClearCounters();

}  // namespace slavecounters
