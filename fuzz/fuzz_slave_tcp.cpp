// The slave's Modbus/TCP stream reassembly: the input arrives on one connection
// in chunks (one header byte, bits 0..6 the length, then the bytes) with a
// server step after each. The connection is a socket pair handed to the server
// as if accepted, so no network port is used. What comes back must be a stream
// of whole MBAP frames, and the server must let go of a connection its peer
// closed.
#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

#include "common/modbus_protocol.h"
#include "common/word_order.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/slave_setup.h"
#include "link/framing.h"
#include "slave/engine/tcp_server.h"

namespace {

bool Setup() {
  fuzzsupport::RegisterFuzzSlots();
  return slavetcp::StartTcpServer("127.0.0.1", 0) == 0;
}

void Drain(int peer, fuzzsupport::Bytes* received) {
  std::uint8_t buffer[4096];
  for (;;) {
    const ssize_t n = ::recv(peer, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    received->insert(received->end(), buffer, buffer + n);
  }
}

void CheckReplies(const fuzzsupport::Bytes& stream) {
  std::size_t at = 0;
  while (at < stream.size()) {
    fuzzsupport::Require(stream.size() - at >= modbus::MBAP_HEADER_LENGTH + 1, "a whole reply header");
    const std::uint8_t* frame = stream.data() + at;
    fuzzsupport::Require(wordorder::Get16(frame + 2) == 0, "protocol id 0");
    const std::uint16_t following = wordorder::Get16(frame + 4);
    fuzzsupport::Require(following >= 3 && following <= modbus::MAX_PDU_LENGTH + 1, "a reply's length field");
    at += linklayer::kMbapHeaderSize + following;
    fuzzsupport::Require(at <= stream.size(), "a whole reply");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool ready = Setup();
  fuzzsupport::Require(ready, "the server starts");
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pair) != 0) return 0;
  fuzzsupport::Require(slavetcp::AdoptConnection(pair[0]), "the server takes the connection");
  fuzzsupport::InputReader in(data, size);
  fuzzsupport::Bytes received;
  while (!in.empty()) {
    const std::uint8_t header = in.byte();
    const fuzzsupport::Bytes chunk = in.take(header & 0x7F);
    if (!chunk.empty()) ::send(pair[1], chunk.data(), chunk.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    slavetcp::TcpServerStep(0);
    Drain(pair[1], &received);
  }
  ::shutdown(pair[1], SHUT_WR);
  for (int k = 0; k < 4 && slavetcp::OpenConnectionCount() > 0; ++k) {
    slavetcp::TcpServerStep(0);
    Drain(pair[1], &received);
  }
  fuzzsupport::Require(slavetcp::OpenConnectionCount() == 0, "a closed peer's connection is let go");
  ::close(pair[1]);
  CheckReplies(received);
  return 0;
}
