#pragma once
// The Modbus/TCP client link of the master: one socket to one server, a bounded
// wait for each reply and a silent reconnection when a send fails or the server
// has closed the connection. Plain functions over module state. TcpConnect and
// TcpDisconnect run while the poll thread is stopped; TcpSend and TcpReceive on
// the poll thread only.
#include <cstdint>

#include "link/framing.h"

namespace linklayer {

// Largest Modbus/TCP reply: 6-byte MBAP header + unit id + 254-byte PDU.
constexpr int kTcpMaxAdu = 261;
// Smallest reply: header + unit id + function + one byte (an exception reply).
constexpr int kTcpMinAdu = 9;

enum class TcpConnectStatus {
  Ok,
  NoSocket,       // socket() failed (the counterpart of a failed socket library start-up)
  BadAddress,     // not a dotted IPv4 address, or 255.255.255.255
  ConnectFailed,  // refused, unreachable or timed out
};

// Connects to ipAddress:port. No host-name lookup is made. The response time-out
// bounds every later TcpReceive.
TcpConnectStatus TcpConnect(const char* ipAddress, std::uint16_t port, std::uint32_t responseTimeoutMs);
void TcpDisconnect();
bool IsTcpConnected();

// Sends the whole frame (waits at most 2 s for the socket to take it). Stale
// bytes left from an earlier reply are dropped first. On failure the socket is
// replaced by a new connection to the same server and false is returned.
bool TcpSend(const std::uint8_t* bytes, std::uint16_t count);

// Receives one Modbus/TCP reply into buffer (at least kTcpMaxAdu bytes): the
// 6-byte header, then as many bytes as its length field announces, joined across
// segments, until complete or the response time-out expires.
// Returns the byte count (kTcpMinAdu..kTcpMaxAdu), 0 when nothing arrived in
// time, or -1 on failure: connection closed or broken, fewer than 9 bytes by the
// time-out, or a header that cannot be a reply (protocol id not 0, length field
// below 3 or above 255). When the time-out ends a reply whose header was complete
// but whose body is not, the bytes received so far are returned (9 or more) so
// that the caller sees a short reply.
int TcpReceive(std::uint8_t* buffer);

}  // namespace linklayer
