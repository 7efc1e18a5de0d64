#pragma once
// A scriptable Modbus/TCP peer on loopback for the master's tests: records every
// request and answers as the test's handler says (whole, in segments, not at
// all, or by closing the connection).
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace testpeer {

using Bytes = std::vector<std::uint8_t>;

struct Answer {
  std::vector<Bytes> segments;  // sent one after another
  int gapMs = 0;                // pause between segments
  bool close = false;           // close the connection after sending the segments
};

using Handler = std::function<Answer(const Bytes& request)>;

// Builds an MBAP frame: transaction id, protocol 0, length, unit + pdu.
Bytes Adu(std::uint16_t transactionId, std::uint8_t unit, const Bytes& pdu);
std::uint16_t TransactionIdOf(const Bytes& adu);

class FakeTcpServer {
 public:
  // Listens on 127.0.0.1 at an ephemeral port (or the given one).
  explicit FakeTcpServer(Handler handler, std::uint16_t port = 0);
  ~FakeTcpServer();
  FakeTcpServer(const FakeTcpServer&) = delete;
  FakeTcpServer& operator=(const FakeTcpServer&) = delete;

  std::uint16_t port() const { return port_; }
  std::vector<Bytes> requests() const;
  int connectionsAccepted() const { return accepted_.load(); }
  int connectionsClosed() const { return closed_.load(); }
  void setHandler(Handler handler);
  // Requests come as RTU frames with their CRC (RTU over TCP), not MBAP framed.
  void setRtuFrames(bool on) { rtuFrames_ = on; }

 private:
  void run();
  bool serveClient(int client);

  Handler handler_;
  int listener_ = -1;
  std::uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<bool> rtuFrames_{false};
  std::atomic<int> accepted_{0};
  std::atomic<int> closed_{0};
  mutable std::mutex mutex_;
  std::vector<Bytes> requests_;
  std::thread thread_;
};

}  // namespace testpeer
