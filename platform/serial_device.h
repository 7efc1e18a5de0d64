#pragma once
// A serial device with the semantics the links were designed on (Win32 comm API):
// read time-outs as interval / total = multiplier x count + constant, "return at
// once" for interval MAXDWORD with both totals 0, purge, error clearing, RTS control,
// "transmit buffer empty", and the driver toggling RTS itself (the kernel's RS-485
// mode). PosixSerialDevice implements it on termios; tests use a fake for what a
// pseudo-terminal cannot do (RTS, RS-485, line errors).
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace platform {

constexpr std::uint32_t kMaxDword = 0xFFFFFFFFu;

struct SerialTimeouts {
  std::uint32_t readInterval = kMaxDword;  // max gap between two bytes, ms (0 = unused)
  std::uint32_t readTotalMultiplier = 0;   // ms per requested byte
  std::uint32_t readTotalConstant = 0;     // ms
  std::uint32_t writeTotalMultiplier = 0;  // ms per byte
  std::uint32_t writeTotalConstant = 0;    // ms
};

enum class Parity : std::uint8_t { None = 0, Odd = 1, Even = 2, Mark = 3, Space = 4 };
enum class StopBits : std::uint8_t { One = 0, OneAndHalf = 1, Two = 2 };
enum class RtsControl : std::uint8_t {
  Enable,   // RTS held on
  Disable,  // RTS held off
  Toggle,   // the driver raises RTS while sending (kernel RS-485 mode)
};

struct SerialLineSettings {
  std::uint32_t baudRate = 9600;
  std::uint8_t dataBits = 8;  // 5..8
  Parity parity = Parity::None;
  StopBits stopBits = StopBits::One;
  bool ctsOutputFlow = false;  // fOutxCtsFlow
  bool dsrOutputFlow = false;  // fOutxDsrFlow
  bool xonXoff = false;        // fOutX and fInX
  bool dtrOn = true;
  RtsControl rts = RtsControl::Enable;
  std::uint32_t rs485DelayAfterSendMs = 0;  // with RtsControl::Toggle
};

// Modem input lines and line errors, as the comm API reports them.
enum ModemLine : std::uint32_t { kLineCts = 1, kLineDsr = 2, kLineRing = 4, kLineDcd = 8 };
enum LineError : std::uint32_t { kErrorFrame = 1, kErrorParity = 2, kErrorOverrun = 4, kErrorBreak = 8 };

enum class SerialOpenStatus { Ok, NoSuchPort, Busy, PermissionDenied, NotASerialDevice, OtherError };

struct SerialOpenError {
  SerialOpenStatus status = SerialOpenStatus::Ok;
  int systemError = 0;      // errno
  std::string systemText;   // strerror text, for the user-facing message
};

class SerialDevice {
 public:
  virtual ~SerialDevice() = default;

  // Applies line settings. Returns false when the device refuses them. With
  // RtsControl::Toggle it returns false when the driver has no RS-485 mode; the
  // caller then drives RTS itself.
  virtual bool configure(const SerialLineSettings& settings) = 0;
  virtual bool setTimeouts(const SerialTimeouts& timeouts) = 0;

  // Reads up to maxCount bytes within the time-outs. Returns the count (0 when
  // nothing arrived in time) or -1 on failure. After a parity, framing or break
  // error the next read fails once (abort on error) until clearError().
  virtual int read(std::uint8_t* buffer, int maxCount) = 0;
  // Reads up to maxCount of the bytes already received, without waiting: the
  // count (0 when none are there) or -1 as read() fails. A receiver that ends
  // frames by their length takes a burst in one call instead of a byte at a time.
  virtual int readAvailable(std::uint8_t* buffer, int maxCount) {
    const int waiting = bytesWaiting();
    if (waiting <= 0 || maxCount <= 0) return 0;
    return read(buffer, waiting < maxCount ? waiting : maxCount);
  }
  // Writes all bytes within the write time-out; returns the count written or -1.
  virtual int write(const std::uint8_t* bytes, int count) = 0;

  virtual bool purge(bool receive, bool transmit) = 0;
  // Clears the error state; returns the LineError flags collected since the last call.
  virtual std::uint32_t clearError() = 0;
  virtual int bytesWaiting() = 0;
  virtual bool setRts(bool on) = 0;
  virtual bool setDtr(bool on) = 0;
  // Waits until the last byte has left the transmitter.
  virtual bool waitTransmitEmpty() = 0;
  // ModemLine flags now present.
  virtual std::uint32_t modemLines() = 0;
  // A descriptor that poll() reports readable when bytes (or an error) are waiting.
  virtual int pollDescriptor() const = 0;
  // Waits up to timeoutUs (negative: without limit) until pollDescriptor() is
  // readable: 1 readable, 0 time-out or interrupted, -1 hung up or failed. A
  // device that plays bytes from a script waits on its own clock instead.
  virtual int waitReadable(std::int64_t timeoutUs) const;
};

// Opens a device path exclusively (O_NOCTTY, TIOCEXCL), raw mode. nullptr on
// failure with the reason in error.
std::unique_ptr<SerialDevice> OpenSerialDevice(const std::string& path, SerialOpenError* error);

// The termios device itself, whatever opener is installed (tests that wrap a
// real pseudo-terminal use it).
std::unique_ptr<SerialDevice> OpenPosixSerialDevice(const std::string& path, SerialOpenError* error);

// Tests replace the opener (for fake devices); nullptr restores the real one.
using SerialDeviceOpener =
    std::function<std::unique_ptr<SerialDevice>(const std::string& path, SerialOpenError* error)>;
void SetSerialDeviceOpener(SerialDeviceOpener opener);

// Text for an open failure: the system's own text, e.g. "No such file or directory",
// except for a refused permission, which tells the user about the dialout group.
inline constexpr char kPermissionDeniedText[] = "Permission denied: add your user to the dialout group";
std::string SerialOpenErrorText(const SerialOpenError& error);

}  // namespace platform
