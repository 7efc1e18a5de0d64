#pragma once
// The slave's Modbus/TCP server, stepped by the receive thread: one listening
// socket, up to 100 connections, requests framed by the MBAP header and answered
// by the slave engine. Non-blocking sockets and poll(); no thread of its own.
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

int OpenConnectionCount();
// Connections without traffic for this long are closed (default 100 s).
void SetIdleLimitSeconds(std::uint32_t seconds);

}  // namespace slavetcp
