#pragma once
// The network client link of the master: one socket to one server (Modbus/TCP,
// RTU frames over TCP as a serial-to-Ethernet gateway passes them, or Modbus/UDP
// datagrams), a bounded wait for each reply and a silent reconnection when a
// send fails or the server has closed the connection. Plain functions over
// module state. NetConnect and
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
  HostNotFound,   // the name did not resolve
};

enum class NetTransport : std::uint8_t {
  kTcp,         // MBAP header on a TCP stream
  kRtuOverTcp,  // RTU frames with their CRC on a TCP stream
  kUdp,         // one MBAP frame per datagram
};

// Connects to host:port over the transport. host is a host name, a dotted
// IPv4 address or an IPv6 address (brackets allowed, "[::1]"); a name is
// looked up here, so this blocks: call it off the user-interface thread. Every
// address the name has is tried in turn. A malformed dotted address and
// 255.255.255.255 give BadAddress without a lookup. A UDP "connection" only
// fixes the peer: datagrams from any other address or port are not received.
// The response time-out bounds every later TcpReceive and RtuStreamReceive.
TcpConnectStatus NetConnect(NetTransport transport, const char* host, std::uint16_t port,
                            std::uint32_t responseTimeoutMs);
NetTransport ConnectedTransport();
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
// Over Modbus/UDP it waits for one datagram that holds a whole reply (header
// with protocol id 0 and a length field that counts the rest), skipping others.
int TcpReceive(std::uint8_t* buffer);

// Receives one RTU reply from the stream into buffer (capacity bytes, at least
// the largest RTU frame): its end is found from the function code and byte
// count (RtuReplyLength), across segments; bytes after it stay for the next
// send to drop. Returns the byte count, 0 when nothing arrived in time, the
// bytes so far when the time-out ends a partial reply, or -1 when the
// connection closed or broke (the next send reconnects). A function whose
// reply length is unknown takes what has arrived by then.
int RtuStreamReceive(std::uint8_t* buffer, int capacity);

}  // namespace linklayer
