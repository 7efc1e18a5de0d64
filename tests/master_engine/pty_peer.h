#pragma once
// The far end of a pseudo-terminal pair for the master's serial tests: the
// engine opens the pty's slave device as its serial port (mapped to port 1),
// and this peer plays the Modbus slave on the pty's master side.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/master_engine/fake_tcp_server.h"

namespace testpeer {

enum class SerialFraming { Rtu, Ascii };

class PtyPeer {
 public:
  // Opens the pair and maps serial port `portNumber` to its slave device.
  PtyPeer(SerialFraming framing, Handler handler, int portNumber = 1);
  ~PtyPeer();
  PtyPeer(const PtyPeer&) = delete;
  PtyPeer& operator=(const PtyPeer&) = delete;

  const std::string& devicePath() const { return path_; }
  std::vector<Bytes> requests() const;
  void setHandler(Handler handler);

 private:
  void run();

  SerialFraming framing_;
  Handler handler_;
  int master_ = -1;
  int slave_ = -1;  // held open so the master side never sees a hang-up
  std::string path_;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::vector<Bytes> requests_;
  std::thread thread_;
};

// Independent checksums for building test frames.
std::uint16_t Crc16(const Bytes& bytes);
Bytes WithCrc(Bytes frame);
Bytes AsciiFrame(const Bytes& raw);  // ":" hex LRC CR LF, upper case

}  // namespace testpeer
