#pragma once
// Test helper: a scriptable serial device for what a pseudo-terminal cannot
// show (RTS, DTR, the driver's RS-485 mode, line errors, failing writes).
//
// A FakeSerialPort holds the state and the script; the devices it opens share
// it, so a test keeps inspecting the port after a link has taken the device.
//
//   auto port = std::make_shared<FakeSerialPort>();
//   port->install();                 // every OpenSerialDevice() now opens it
//   port->setRefuseRs485(true);
//   ... run the code under test ...
//   port->events();                  // writes, RTS/DTR changes, with times
//   FakeSerialPort::uninstall();
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/serial_device.h"

namespace platform::testing {

struct FakeSerialEvent {
  enum class Kind {
    Configure,
    SetTimeouts,
    Write,  // bytes = what was offered; ok = accepted
    Read,   // bytes = what was returned; ok = false for a failed read
    SetRts,
    SetDtr,
    Purge,
    WaitTransmitEmpty,  // recorded when the transmitter has become empty
    ClearError,
    Close,
  };
  Kind kind;
  bool ok = true;
  bool on = false;  // SetRts / SetDtr
  std::vector<std::uint8_t> bytes;
  std::chrono::steady_clock::time_point at;
};

class FakeSerialPort : public std::enable_shared_from_this<FakeSerialPort> {
 public:
  FakeSerialPort();
  ~FakeSerialPort();

  // Makes OpenSerialDevice() open this port for any path; uninstall() restores the real opener.
  void install();
  static void uninstall();
  // Opens a device on this port directly (what the installed opener does).
  std::unique_ptr<SerialDevice> open(const std::string& path, SerialOpenError* error);

  // --- script ---
  // The next opens fail with this errno (0: opens succeed again).
  void setOpenFailure(int systemError);
  void setRefuseConfigure(bool refuse);
  // The driver has no RS-485 mode: configure() with RtsControl::Toggle returns false.
  void setRefuseRs485(bool refuse);
  void setFailWrites(bool fail);
  // How long waitTransmitEmpty() takes, as the bytes leave the wire.
  void setTransmitTime(std::chrono::milliseconds duration);
  // Bytes that reads deliver, in order.
  void queueReceive(const std::vector<std::uint8_t>& bytes);
  // A line error: the next read fails (and keeps failing) until clearError(),
  // which returns these flags.
  void injectLineError(std::uint32_t lineErrorFlags);
  // Called for every accepted write; the bytes it returns are queued for reading
  // (a scripted peer that answers requests).
  void setWriteResponder(std::function<std::vector<std::uint8_t>(const std::vector<std::uint8_t>&)> responder);
  void setModemLines(std::uint32_t lines);

  // --- inspection ---
  std::vector<FakeSerialEvent> events() const;
  std::vector<FakeSerialEvent> events(FakeSerialEvent::Kind kind) const;
  void clearEvents();
  std::vector<std::uint8_t> written() const;  // all accepted bytes, concatenated
  bool rts() const;
  bool dtr() const;
  bool rs485Enabled() const;
  bool isOpen() const;
  int openCount() const;
  std::string lastPath() const;
  SerialLineSettings lineSettings() const;
  SerialTimeouts timeouts() const;
  int pendingReceive() const;

 private:
  friend class FakeSerialDevice;
  void record(FakeSerialEvent::Kind kind, bool ok, bool on, const std::uint8_t* bytes, int count);
  void updateReadableLocked();

  mutable std::mutex mutex_;
  std::condition_variable received_;
  int openFailure_ = 0;
  bool refuseConfigure_ = false;
  bool refuseRs485_ = false;
  bool failWrites_ = false;
  std::chrono::milliseconds transmitTime_{0};
  std::deque<std::uint8_t> receive_;
  std::uint32_t pendingErrors_ = 0;
  bool aborted_ = false;
  std::function<std::vector<std::uint8_t>(const std::vector<std::uint8_t>&)> responder_;
  std::uint32_t modemLines_ = 0;

  std::vector<FakeSerialEvent> events_;
  std::vector<std::uint8_t> written_;
  bool rts_ = false;
  bool dtr_ = false;
  bool rs485_ = false;
  bool open_ = false;
  int openCount_ = 0;
  std::string lastPath_;
  SerialLineSettings settings_{};
  SerialTimeouts timeouts_{};
  int readableFd_ = -1;  // eventfd, readable while bytes or an error wait
  bool readableSignalled_ = false;
};

}  // namespace platform::testing
