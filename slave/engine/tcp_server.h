#pragma once
// The slave's Modbus/TCP server, stepped by the receive thread: one listening
// socket, up to 100 connections, requests framed by the MBAP header and answered
// by the slave engine. Non-blocking sockets and poll(); no thread of its own.
// It wraps the engine's reply PDUs in the MBAP header and applies the faults.
#include <cstdint>
#include <string>

namespace slavetcp {

constexpr int kMaxConnections = 100;
constexpr std::uint16_t kDefaultPort = 502;
constexpr std::uint32_t kDefaultIdleLimitSeconds = 100;
constexpr int kMaxRequestSize = 261;  // 6 + a length field of at most 255

// Listens on address:port (address "" or "0.0.0.0" = every local address).
// 0 on success, 1 on failure; LastTcpServerError() then tells why.
int StartTcpServer(const std::string& address = "", std::uint16_t port = kDefaultPort);
void StopTcpServer();
bool IsTcpServerRunning();
// The system's reason for the last start failure, e.g. "bind 0.0.0.0:502: Permission denied".
std::string LastTcpServerError();
// The port actually listened on (useful with port 0, which picks a free one).
std::uint16_t ListeningPort();

// One step: waits at most waitMs for a socket to become readable, accepts new
// connections, reads what has arrived and serves every complete request.
void TcpServerStep(int waitMs);

// Serves an already connected, non-blocking stream socket (a socket pair in the
// fuzz targets) as if it had just been accepted; the server then owns it. False,
// and the socket is left to the caller, when the server is not running.
bool AdoptConnection(int socket);

int OpenConnectionCount();
// Connections without traffic for this long are closed (default 100 s), and so
// are connections that complete no request for this long (counted from the
// accept or the last request), however many bytes they send. With all
// kMaxConnections taken, a new connection replaces the one that has gone
// longest without completing a request.
void SetIdleLimitSeconds(std::uint32_t seconds);

}  // namespace slavetcp

// The Modbus/TCP side of the slave engine's interface.
namespace slaveengine {

// Serves one Modbus/TCP request (MBAP header first, `length` bytes in all) and
// builds the answer in `reply` (kReplyCapacity bytes; may be the request buffer).
// Returns the reply length, 0 when nothing is to be sent. The caller writes the
// MBAP length field. Never reads request bytes at or past `length`.
std::uint16_t ServeTcpRequest(const std::uint8_t* request, std::uint16_t length, std::uint8_t* reply);

// What the faults did to one TCP reply.
struct ReplyFaults {
  std::uint8_t marks = 0;     // slavefaults::FaultMark bits
  std::uint32_t delayMs = 0;  // send the reply this much later
};
// As ServeTcpRequest, with the faults of the serving definition applied; also
// writes the MBAP header's length field (a corrupted reply may get a wrong one,
// or a wrong transaction id). A dropped request returns 0 with kMarkDropped set.
std::uint16_t ServeTcpRequest(const std::uint8_t* request, std::uint16_t length, std::uint8_t* reply,
                              ReplyFaults* faults);

}  // namespace slaveengine
