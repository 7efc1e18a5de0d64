#include "tests/master_engine/fake_tcp_server.h"

#include "link/framing.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace testpeer {

Bytes Adu(std::uint16_t transactionId, std::uint8_t unit, const Bytes& pdu) {
  const auto length = static_cast<std::uint16_t>(pdu.size() + 1);
  Bytes frame(7 + pdu.size());
  frame[0] = static_cast<std::uint8_t>(transactionId >> 8);
  frame[1] = static_cast<std::uint8_t>(transactionId);
  frame[4] = static_cast<std::uint8_t>(length >> 8);
  frame[5] = static_cast<std::uint8_t>(length);
  frame[6] = unit;
  for (std::size_t i = 0; i < pdu.size(); ++i) frame[7 + i] = pdu[i];
  return frame;
}

std::uint16_t TransactionIdOf(const Bytes& adu) { return static_cast<std::uint16_t>((adu.at(0) << 8) | adu.at(1)); }

FakeTcpServer::FakeTcpServer(Handler handler, std::uint16_t port) : handler_(std::move(handler)) {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int one = 1;
  ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener_, 4) != 0) {
    ::close(listener_);
    throw std::runtime_error("fake server: cannot listen");
  }
  socklen_t length = sizeof address;
  ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { run(); });
}

FakeTcpServer::~FakeTcpServer() {
  stop_ = true;
  thread_.join();
  ::close(listener_);
}

std::vector<Bytes> FakeTcpServer::requests() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return requests_;
}

void FakeTcpServer::setHandler(Handler handler) {
  std::lock_guard<std::mutex> guard(mutex_);
  handler_ = std::move(handler);
}

void FakeTcpServer::run() {
  while (!stop_) {
    pollfd entry{listener_, POLLIN, 0};
    if (::poll(&entry, 1, 20) <= 0) continue;
    const int client = ::accept(listener_, nullptr, nullptr);
    if (client < 0) continue;
    ++accepted_;
    while (!stop_ && serveClient(client)) {
    }
    ::close(client);
    ++closed_;
  }
}

// Reads one request (MBAP framed, or an RTU frame) and answers it. False when the connection ends.
bool FakeTcpServer::serveClient(int client) {
  Bytes request;
  std::size_t wanted = rtuFrames_ ? 2 : 6;
  while (request.size() < wanted) {
    pollfd entry{client, POLLIN, 0};
    if (stop_) return false;
    if (::poll(&entry, 1, 20) <= 0) continue;
    std::uint8_t buffer[512];
    const ssize_t got = ::recv(client, buffer, wanted - request.size(), 0);
    if (got <= 0) return false;
    request.insert(request.end(), buffer, buffer + got);
    if (rtuFrames_) {
      const int length = linklayer::RtuRequestLength(request.data(), static_cast<int>(request.size()));
      wanted = length > 0 ? static_cast<std::size_t>(length) : request.size() + 1;
    } else if (request.size() == 6) {
      wanted = 6 + ((request[4] << 8) | request[5]);
    }
  }
  Handler handler;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    requests_.push_back(request);
    handler = handler_;
  }
  const Answer answer = handler(request);
  for (std::size_t i = 0; i < answer.segments.size(); ++i) {
    if (i > 0 && answer.gapMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(answer.gapMs));
    const Bytes& segment = answer.segments[i];
    if (::send(client, segment.data(), segment.size(), MSG_NOSIGNAL) < 0) return false;
  }
  return !answer.close;
}

}  // namespace testpeer
