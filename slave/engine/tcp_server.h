#pragma once
// The slave's network server, stepped by the receive thread: one listening
// socket, up to 100 connections, requests framed by the MBAP header (Modbus/TCP)
// or as RTU frames with their CRC on the stream (RTU over TCP), or one MBAP
// request per datagram (Modbus/UDP), answered by the slave engine. Non-blocking
// sockets and poll(); no thread of its own. It frames the engine's reply PDUs
// and applies the faults.
#include <cstdint>
#include <string>

namespace slavetcp {

constexpr int kMaxConnections = 100;
constexpr std::uint16_t kDefaultPort = 502;
constexpr std::uint32_t kDefaultIdleLimitSeconds = 100;
constexpr int kMaxRequestSize = 261;  // 6 + a length field of at most 255

// How requests travel. RTU over TCP is served as on a serial line: a frame with
// a bad CRC and a request to address 0 get no answer; Ignore Unit ID serves
// every other address.
enum class Framing : std::uint8_t { kMbap, kRtu, kUdp };

// Listens on address:port (address "" or "0.0.0.0" = every local IPv4 address;
// "::" every address; an IPv6 address may come in brackets, "[::1]").
// 0 on success, 1 on failure; LastTcpServerError() then tells why, and a server
// that was running is left stopped.
int StartTcpServer(const std::string& address = "", std::uint16_t port = kDefaultPort,
                   Framing framing = Framing::kMbap);
Framing ServedFraming();
// The address listened on as text ("0.0.0.0", "::1"), valid while running.
std::string ListeningAddress();
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

// Serves one RTU request that came over TCP (address first, CRC checked and not
// counted in `length`) as on a serial line, with the faults applied, and builds
// the whole RTU reply with its CRC in `reply` (kReplyCapacity bytes, not the
// request buffer). Returns the reply length, 0 when nothing is to be sent
// (always for address 0, the broadcast). Counts the frame and its reply in the
// link counters as the serial line does.
std::uint16_t ServeRtuStreamRequest(const std::uint8_t* request, std::uint16_t length, std::uint8_t* reply,
                                    ReplyFaults* faults);

}  // namespace slaveengine
