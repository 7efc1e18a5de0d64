#pragma once
// The terminal's serial port: one device, opened by port number, and a monitor
// thread that waits on shutdown, port events and queued writes (in that
// priority), hands every received byte to the owner window with a synchronous
// message and performs the writes the user interface queues.
//
// Plain C++ (no Qt). Failures of platform calls after the device is open are
// reported through the installed error reporter (the terminal shows a message
// box) and the port carries on.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/messages.h"
#include "platform/serial_device.h"

namespace kestrin {

// Event mask bits, with the values of the comm API the terminal was designed on.
enum PortEvent : std::uint32_t {
  EV_RXCHAR = 0x0001,
  EV_RXFLAG = 0x0002,
  EV_TXEMPTY = 0x0004,
  EV_CTS = 0x0008,
  EV_DSR = 0x0010,
  EV_RLSD = 0x0020,
  EV_BREAK = 0x0040,
  EV_ERR = 0x0080,
  EV_RING = 0x0100,
};

// Notifications sent to the owner; lParam is the port number.
constexpr std::uint32_t WM_PORT_BREAK = 1125;
constexpr std::uint32_t WM_PORT_CTS = 1126;
constexpr std::uint32_t WM_PORT_ERROR = 1128;
constexpr std::uint32_t WM_PORT_RING = 1129;
constexpr std::uint32_t WM_PORT_CHAR = 1131;  // wParam = the received byte
constexpr std::uint32_t WM_PORT_RXFLAG = 1132;

// Called (on any thread) with the finished error text and the box title.
using PortErrorReporter = void (*)(const std::string& text, const std::string& title);
void SetPortErrorReporter(PortErrorReporter reporter);

// "WARNING:  <operation> Failed with the following error: \n<text>\nPort: <n>\n"
std::string FormatPortError(const char* operation, const std::string& systemText, int portNumber);

// Applies a definition text "baud=%d parity=%c data=%d stop=%d" to line
// settings. Unknown keys, bad values or a malformed text give false and leave
// the settings unchanged.
bool ApplyDefinitionText(const std::string& definition, platform::SerialLineSettings* settings);

class EventSerialPort {
 public:
  EventSerialPort();
  ~EventSerialPort();  // ends the monitor thread and closes the device
  EventSerialPort(const EventSerialPort&) = delete;
  EventSerialPort& operator=(const EventSerialPort&) = delete;

  // The owner must stop taking messages (fw::MessageTarget::close) before a
  // reopen or the destruction, since both wait for the monitor thread, which
  // may be blocked delivering a byte to the owner's thread.
  //
  // Ends a running monitor thread, closes the old device and opens the port's
  // device (platform::SerialPortPath). False only when the device cannot be
  // opened (or the arguments are out of range); failures while setting it up
  // are reported and the port stays open.
  bool OpenPort(platform::WindowHandle owner, int portNumber, int baudRate, char parity, int dataBits,
                int stopBits, std::uint32_t eventMask, int sendBufferSize);
  bool StartPortThread();

  // Queues bytes for the monitor thread. Bytes queued before the thread took
  // the earlier ones are appended, never overwritten. False (nothing queued)
  // when the port is not open or the bytes do not fit in the free part of the
  // send buffer.
  bool QueueWrite(const std::uint8_t* bytes, int count);

  platform::SerialLineSettings CurrentLineSettings() const;
  std::uint32_t CurrentEventMask() const;
  int SendBufferSize() const;
  int PortNumber() const;
  bool IsOpen() const;
  bool IsThreadRunning() const { return alive_.load(); }
  // The reason of the last failed OpenPort (system text), for a caller that wants to show it.
  std::string LastOpenError() const;

 private:
  void StopThread();
  void CloseEvents();
  void ThreadMain();
  std::uint32_t CollectLineEvents();
  void NotifyPortEvent(std::uint32_t mask);
  void ReceiveLoop();
  void PerformWrite();
  void ReportError(const char* operation, int systemError);

  platform::WindowHandle owner_ = 0;
  int portNumber_ = 1;
  std::thread thread_;
  std::atomic<bool> alive_{false};
  std::atomic<bool> stopping_{false};
  std::atomic<bool> open_{false};

  // Guards the device during reads, writes, error clearing, purging and opening.
  mutable std::mutex portMutex_;
  std::unique_ptr<platform::SerialDevice> device_;

  int shutdownEvent_ = -1;  // eventfds, set by the user-interface thread
  int writeEvent_ = -1;

  // Hand-over of queued bytes: the user-interface thread appends under
  // writeMutex_, the monitor thread moves them to its own buffer under the
  // same lock and writes them without it, so a write is never torn.
  mutable std::mutex writeMutex_;
  std::vector<std::uint8_t> pendingWrite_;
  int pendingLength_ = 0;
  std::vector<std::uint8_t> threadWrite_;

  std::atomic<std::uint32_t> eventMask_{0};
  std::atomic<int> sendBufferSize_{512};
  // Written by OpenPort and read by the getters, all on the user-interface
  // thread, so the getters never wait for the port lock.
  platform::SerialLineSettings lineSettings_;
  std::string lastOpenError_;

  // Line state seen by the monitor thread, to detect changes.
  std::uint32_t lastModemLines_ = 0;
  std::uint32_t pendingLineErrors_ = 0;
  bool readErrorShown_ = false;
};

}  // namespace kestrin
