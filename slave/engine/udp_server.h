#pragma once
// The Modbus/UDP side of the slave's network server: one MBAP request per
// datagram, answered to the address and port it came from. The datagram socket
// is opened and closed by the server (tcp_server.*); this unit reads it and
// keeps the replies held back by an injected delay. Runs on the receive thread.
namespace slaveudp {

// Replies held back by a delay at most; a further delayed reply goes out at once.
constexpr int kMaxHeldReplies = 16;

// Forgets the held-back replies (the socket is new or gone).
void ResetUdpServer();
// Waits at most waitMs for datagrams on `socket`, serves those that have come
// and sends the held-back replies that are due. A datagram that is not one
// whole request (short, oversized, a bad MBAP header or length field) is shown
// in the traffic and counted (an overrun when oversized, else a communication
// error), and otherwise ignored. Requests and replies are counted as over
// Modbus/TCP.
void UdpServerStep(int socket, int waitMs);

}  // namespace slaveudp
