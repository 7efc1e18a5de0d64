// The serial device on termios. Line errors are made visible with INPCK and
// PARMRK: the kernel marks a byte received with a parity or framing error as
// FF 00 x, a break as FF 00 00, and doubles a real FF byte. read() undoes the
// marking and turns a mark into the "abort on error" state the links expect.
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/serial_baud_linux.h"
#include "platform/serial_device.h"
#include "platform/serial_termios.h"
#include "platform/ticks.h"

namespace platform {

namespace {

bool StandardSpeed(std::uint32_t baudRate, speed_t* speed) {
  struct Entry {
    std::uint32_t rate;
    speed_t constant;
  };
  static constexpr Entry kSpeeds[] = {
      {50, B50},         {75, B75},         {110, B110},       {134, B134},       {150, B150},
      {200, B200},       {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
      {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
      {57600, B57600},   {115200, B115200}, {230400, B230400}, {460800, B460800}, {500000, B500000},
      {576000, B576000}, {921600, B921600}, {1000000, B1000000}};
  for (const Entry& entry : kSpeeds) {
    if (entry.rate == baudRate) {
      *speed = entry.constant;
      return true;
    }
  }
  return false;
}

SerialOpenStatus StatusForErrno(int error) {
  switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return SerialOpenStatus::NoSuchPort;
    case EBUSY:
    case EWOULDBLOCK:
      return SerialOpenStatus::Busy;
    case EACCES:
    case EPERM:
      return SerialOpenStatus::PermissionDenied;
    case ENOTTY:
    case EINVAL:
      return SerialOpenStatus::NotASerialDevice;
    default:
      return SerialOpenStatus::OtherError;
  }
}

void ReportOpenFailure(SerialOpenError* error, int systemError) {
  if (error == nullptr) return;
  char buffer[256];
  error->status = StatusForErrno(systemError);
  error->systemError = systemError;
  error->systemText = strerror_r(systemError, buffer, sizeof buffer);
}

bool SetModemBit(int fd, int bit, bool on) {
  return ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bit) == 0;
}

class PosixSerialDevice final : public SerialDevice {
 public:
  PosixSerialDevice(int fd, const termios& original)
      : fd_(fd), original_(original), pseudoTerminal_(detail::IsPseudoTerminal(fd)) {
    haveCounts_ = ioctl(fd_, TIOCGICOUNT, &lastCounts_) == 0;
  }

  ~PosixSerialDevice() override {
    if (rs485Changed_) ioctl(fd_, TIOCSRS485, &originalRs485_);
    ioctl(fd_, TIOCNXCL);
    tcsetattr(fd_, TCSANOW, &original_);
    ::close(fd_);  // also releases the flock
  }

  bool configure(const SerialLineSettings& settings) override {
    termios t{};
    if (tcgetattr(fd_, &t) != 0) return false;
    bool standard = true;
    if (!detail::BuildTermios(settings, &t, &standard)) return false;
    if (tcsetattr(fd_, TCSANOW, &t) != 0) {
      // A pseudo-terminal (virtual port pair) keeps its own framing, always 8
      // bits without parity, and the C library reports that as EINVAL although
      // everything else applied. Only a real UART refusing the settings fails.
      if (!(pseudoTerminal_ && errno == EINVAL && AppliedApartFromFraming(t))) return false;
    }
    if (!standard && !detail::SetArbitraryBaud(fd_, settings.baudRate)) return false;
    // tcsetattr succeeds when any part applied. Check the rate; the framing is
    // not checked because pseudo-terminals (virtual port pairs) force 8N1.
    termios applied{};
    if (tcgetattr(fd_, &applied) != 0) return false;
    if (standard && cfgetospeed(&applied) != cfgetospeed(&t)) return false;

    parityEnabled_ = settings.parity != Parity::None;
    dsrOutputFlow_ = settings.dsrOutputFlow;
    // Pseudo-terminals and some adapters have no modem lines: not an error.
    SetModemBit(fd_, TIOCM_DTR, settings.dtrOn);
    if (settings.rts == RtsControl::Toggle) {
      if (!enableRs485(settings.rs485DelayAfterSendMs)) {
        SetModemBit(fd_, TIOCM_RTS, false);
        return false;
      }
      return true;
    }
    disableRs485();
    if (!settings.ctsOutputFlow) SetModemBit(fd_, TIOCM_RTS, settings.rts == RtsControl::Enable);
    return true;
  }

  bool setTimeouts(const SerialTimeouts& timeouts) override {
    timeouts_ = timeouts;
    return true;
  }

  int read(std::uint8_t* buffer, int maxCount) override {
    if (failsOnError()) return -1;
    if (maxCount <= 0) return 0;

    const SerialTimeouts t = timeouts_;
    const bool returnAtOnce = t.readInterval == kMaxDword && t.readTotalMultiplier == 0 && t.readTotalConstant == 0;
    // MAXDWORD / MAXDWORD / constant: return as soon as anything is there,
    // waiting up to the constant for the first byte.
    const bool firstByteOnly = t.readInterval == kMaxDword && t.readTotalMultiplier == kMaxDword &&
                               t.readTotalConstant > 0 && t.readTotalConstant < kMaxDword;
    std::uint64_t total = 0;
    if (firstByteOnly) {
      total = t.readTotalConstant;
    } else if (!returnAtOnce) {
      total = static_cast<std::uint64_t>(t.readTotalMultiplier) * static_cast<std::uint64_t>(maxCount) +
              t.readTotalConstant;
    }
    const bool useInterval = t.readInterval != 0 && t.readInterval != kMaxDword;

    const std::uint32_t start = TickCount();
    std::uint32_t lastByte = start;
    int got = 0;
    bool hangup = false;
    for (;;) {
      bool lineError = false;
      const int produced = takeBytes(buffer + got, maxCount - got, &lineError);
      if (produced < 0) return -1;
      got += produced;
      if (produced > 0) lastByte = TickCount();
      if (lineError) return endAtLineError(got);
      if (got >= maxCount) return got;
      if (produced > 0) continue;  // more may already be buffered
      // Device gone (adapter unplugged, far end of a pty closed): poll keeps
      // reporting it while reads return nothing.
      if (hangup) return got > 0 ? got : -1;

      if (returnAtOnce || (firstByteOnly && got > 0)) return got;
      long long waitMs = -1;  // -1: no limit
      if (total > 0) {
        const std::uint32_t elapsed = TickCount() - start;
        if (elapsed >= total) return got;
        waitMs = static_cast<long long>(total - elapsed);
      }
      if (useInterval && got > 0) {
        const std::uint32_t gap = TickCount() - lastByte;
        if (gap >= t.readInterval) return got;
        const long long intervalLeft = t.readInterval - gap;
        waitMs = waitMs < 0 ? intervalLeft : std::min(waitMs, intervalLeft);
      }
      pollfd descriptor{fd_, POLLIN, 0};
      const int ready = ::poll(&descriptor, 1, static_cast<int>(std::min<long long>(waitMs, INT_MAX)));
      if (ready < 0) {
        if (errno == EINTR) continue;
        return -1;
      }
      if (ready > 0 && (descriptor.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) hangup = true;
    }
  }

  // One read of what the driver holds (VMIN 0, VTIME 0: it does not wait).
  int readAvailable(std::uint8_t* buffer, int maxCount) override {
    if (failsOnError()) return -1;
    if (maxCount <= 0) return 0;
    bool lineError = false;
    const int produced = takeBytes(buffer, maxCount, &lineError);
    if (produced < 0) return -1;
    return lineError ? endAtLineError(produced) : produced;
  }

  int write(const std::uint8_t* bytes, int count) override {
    if (aborted_) return -1;
    if (count <= 0) return 0;
    const std::uint64_t total =
        static_cast<std::uint64_t>(timeouts_.writeTotalMultiplier) * static_cast<std::uint64_t>(count) +
        timeouts_.writeTotalConstant;
    const std::uint32_t start = TickCount();
    auto timeLeft = [&]() -> long long {
      if (total == 0) return -1;
      const std::uint32_t elapsed = TickCount() - start;
      return elapsed >= total ? 0 : static_cast<long long>(total - elapsed);
    };

    // DSR output flow has no termios flag: hold the data until DSR is up.
    // Devices without modem lines (pseudo-terminals) are not held.
    if (dsrOutputFlow_) {
      int lines = 0;
      while (ioctl(fd_, TIOCMGET, &lines) == 0 && (lines & TIOCM_DSR) == 0) {
        if (timeLeft() == 0) return 0;
        SleepMs(2);
      }
    }

    int written = 0;
    while (written < count) {
      const ssize_t n = ::write(fd_, bytes + written, static_cast<size_t>(count - written));
      if (n > 0) {
        written += static_cast<int>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return -1;
      const long long waitMs = timeLeft();
      if (waitMs == 0) return written;  // write time-out: the count that went out
      pollfd descriptor{fd_, POLLOUT, 0};
      const int ready = ::poll(&descriptor, 1, static_cast<int>(std::min<long long>(waitMs, INT_MAX)));
      if (ready < 0 && errno != EINTR) return -1;
      if (ready > 0 && (descriptor.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) return -1;
    }
    return written;
  }

  bool purge(bool receive, bool transmit) override {
    if (!receive && !transmit) return true;
    if (receive) {
      rawStart_ = rawEnd_ = 0;
      mark_ = MarkState::Plain;
    }
    const int queue = receive && transmit ? TCIOFLUSH : (receive ? TCIFLUSH : TCOFLUSH);
    return tcflush(fd_, queue) == 0;
  }

  std::uint32_t clearError() override {
    std::uint32_t flags = errors_;
    errors_ = 0;
    serial_icounter_struct now{};
    if (haveCounts_ && ioctl(fd_, TIOCGICOUNT, &now) == 0) {
      if (now.overrun + now.buf_overrun > lastCounts_.overrun + lastCounts_.buf_overrun) flags |= kErrorOverrun;
      if (now.frame > lastCounts_.frame) flags |= kErrorFrame;
      if (now.parity > lastCounts_.parity) flags |= kErrorParity;
      if (now.brk > lastCounts_.brk) flags |= kErrorBreak;
      lastCounts_ = now;
    }
    aborted_ = false;
    errorPending_ = false;
    return flags;
  }

  int bytesWaiting() override {
    int queued = 0;
    if (ioctl(fd_, FIONREAD, &queued) != 0) queued = 0;
    return queued + (rawEnd_ - rawStart_);
  }

  bool setRts(bool on) override { return SetModemBit(fd_, TIOCM_RTS, on); }
  bool setDtr(bool on) override { return SetModemBit(fd_, TIOCM_DTR, on); }

  bool waitTransmitEmpty() override {
    while (tcdrain(fd_) != 0) {
      if (errno != EINTR) return false;
    }
    return true;
  }

  std::uint32_t modemLines() override {
    int lines = 0;
    if (ioctl(fd_, TIOCMGET, &lines) != 0) return 0;
    std::uint32_t result = 0;
    if (lines & TIOCM_CTS) result |= kLineCts;
    if (lines & TIOCM_DSR) result |= kLineDsr;
    if (lines & TIOCM_RNG) result |= kLineRing;
    if (lines & TIOCM_CAR) result |= kLineDcd;
    return result;
  }

  int pollDescriptor() const override { return fd_; }

 private:
  enum class MarkState : std::uint8_t { Plain, AfterFF, AfterFF00 };

  // Abort on error, before a read: true when it fails, as it does after a line
  // error until clearError(); an error found after good bytes fails this read.
  bool failsOnError() {
    if (aborted_) return true;
    if (!errorPending_) return false;
    errorPending_ = false;
    aborted_ = true;
    return true;
  }

  // A read that met a line error after `good` bytes: those bytes now and the
  // failure at the next read, or the failure now when there are none.
  int endAtLineError(int good) {
    if (good > 0) {
      errorPending_ = true;
      return good;
    }
    aborted_ = true;
    return -1;
  }

  // Moves up to `room` decoded bytes into out: first raw bytes left over from an
  // earlier error, else at most `room` raw bytes from the device, so nothing is
  // held back while poll() says the device is idle. Stops at a line-error mark.
  int takeBytes(std::uint8_t* out, int room, bool* lineError) {
    int produced = 0;
    while (produced < room) {
      if (rawStart_ == rawEnd_) {
        rawStart_ = rawEnd_ = 0;
        const int asked = std::min<int>(room - produced, sizeof raw_);
        const ssize_t n = ::read(fd_, raw_, static_cast<size_t>(asked));
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return -1;
        if (n <= 0) break;  // nothing more queued now
        rawEnd_ = static_cast<int>(n);
        if (n < asked) {
          // The driver's queue is empty now: no second read just to hear so.
          produced += decode(out + produced, room - produced, lineError);
          break;
        }
      }
      produced += decode(out + produced, room - produced, lineError);
      if (*lineError) break;
    }
    return produced;
  }

  // Undoes the PARMRK marking of the raw bytes held in raw_.
  int decode(std::uint8_t* out, int room, bool* lineError) {
    int produced = 0;
    while (rawStart_ < rawEnd_ && produced < room) {
      const std::uint8_t c = raw_[rawStart_++];
      switch (mark_) {
        case MarkState::Plain:
          if (c == 0xFF) {
            mark_ = MarkState::AfterFF;
          } else {
            out[produced++] = c;
          }
          break;
        case MarkState::AfterFF:
          if (c == 0x00) {
            mark_ = MarkState::AfterFF00;
          } else {
            out[produced++] = 0xFF;  // FF FF is one data byte FF
            mark_ = MarkState::Plain;
            if (c != 0xFF) --rawStart_;  // not a kernel sequence: keep both bytes
          }
          break;
        case MarkState::AfterFF00:
          mark_ = MarkState::Plain;
          errors_ |= c == 0x00 ? kErrorBreak : (parityEnabled_ ? kErrorParity : kErrorFrame);
          *lineError = true;
          return produced;  // the damaged byte itself is dropped
      }
    }
    return produced;
  }

  // Whether the device holds everything of `wanted` except data bits and parity.
  bool AppliedApartFromFraming(const termios& wanted) const {
    termios applied{};
    if (tcgetattr(fd_, &applied) != 0) return false;
    constexpr tcflag_t kFraming = CSIZE | PARENB | PARODD | CMSPAR;
    return (applied.c_cflag & ~kFraming) == (wanted.c_cflag & ~kFraming) && applied.c_iflag == wanted.c_iflag &&
           applied.c_oflag == wanted.c_oflag && applied.c_lflag == wanted.c_lflag &&
           cfgetospeed(&applied) == cfgetospeed(&wanted) && cfgetispeed(&applied) == cfgetispeed(&wanted);
  }

  int fd_;
  termios original_;
  bool pseudoTerminal_;
  SerialTimeouts timeouts_{};
  bool parityEnabled_ = false;
  bool dsrOutputFlow_ = false;
  bool rs485Changed_ = false;
  serial_rs485 originalRs485_{};

  // Abort on error: after a line error reads and writes fail until clearError().
  std::atomic<bool> aborted_{false};
  std::atomic<bool> errorPending_{false};  // error found after good bytes: fails the next read
  std::atomic<std::uint32_t> errors_{0};   // LineError flags since the last clearError()
  bool haveCounts_ = false;
  serial_icounter_struct lastCounts_{};

  MarkState mark_ = MarkState::Plain;
  std::uint8_t raw_[256];
  int rawStart_ = 0;
  int rawEnd_ = 0;

  bool enableRs485(std::uint32_t delayAfterSendMs) {
    serial_rs485 current{};
    if (ioctl(fd_, TIOCGRS485, &current) != 0) return false;
    serial_rs485 wanted = current;
    wanted.flags |= SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
    wanted.flags &= ~static_cast<std::uint32_t>(SER_RS485_RTS_AFTER_SEND);
    wanted.delay_rts_after_send = delayAfterSendMs;
    if (ioctl(fd_, TIOCSRS485, &wanted) != 0) return false;
    if (!rs485Changed_) {
      originalRs485_ = current;
      rs485Changed_ = true;
    }
    // The driver reports back what it took; without ENABLED it cannot do it.
    return (wanted.flags & SER_RS485_ENABLED) != 0 && (wanted.flags & SER_RS485_RTS_ON_SEND) != 0;
  }

  void disableRs485() {
    serial_rs485 current{};
    if (ioctl(fd_, TIOCGRS485, &current) != 0 || (current.flags & SER_RS485_ENABLED) == 0) return;
    serial_rs485 off = current;
    off.flags &= ~static_cast<std::uint32_t>(SER_RS485_ENABLED);
    if (ioctl(fd_, TIOCSRS485, &off) == 0 && !rs485Changed_) {
      originalRs485_ = current;
      rs485Changed_ = true;
    }
  }
};

}  // namespace

namespace detail {

bool IsPseudoTerminal(int fd) {
  struct stat status {};
  if (fstat(fd, &status) != 0 || !S_ISCHR(status.st_mode)) return false;
  const unsigned major = major(status.st_rdev);
  // Unix98 pty slaves (136..143) and the legacy BSD ones (3).
  return (major >= 136 && major <= 143) || major == 3;
}

void MakeRaw(termios* settings) {
  cfmakeraw(settings);
  settings->c_cflag |= CLOCAL | CREAD;
  settings->c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | IGNPAR | ISTRIP | IXON | IXOFF | IXANY);
  settings->c_iflag |= INPCK | PARMRK;
  settings->c_cc[VMIN] = 0;
  settings->c_cc[VTIME] = 0;
}

bool BuildTermios(const SerialLineSettings& settings, termios* t, bool* standardRate) {
  if (settings.baudRate == 0) return false;
  MakeRaw(t);
  t->c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  switch (settings.dataBits) {
    case 5: t->c_cflag |= CS5; break;
    case 6: t->c_cflag |= CS6; break;
    case 7: t->c_cflag |= CS7; break;
    case 8: t->c_cflag |= CS8; break;
    default: return false;
  }
  switch (settings.parity) {
    case Parity::None: break;
    case Parity::Odd: t->c_cflag |= PARENB | PARODD; break;
    case Parity::Even: t->c_cflag |= PARENB; break;
    case Parity::Mark: t->c_cflag |= PARENB | CMSPAR | PARODD; break;
    case Parity::Space: t->c_cflag |= PARENB | CMSPAR; break;
    default: return false;
  }
  // Linux has no 1.5 stop bits; UARTs send 1.5 for CSTOPB with 5 data bits.
  if (settings.stopBits != StopBits::One) t->c_cflag |= CSTOPB;
  // CRTSCTS also lets the driver drop RTS when its input buffer fills.
  if (settings.ctsOutputFlow) t->c_cflag |= CRTSCTS;
  if (settings.xonXoff) {
    t->c_iflag |= IXON | IXOFF;
    t->c_cc[VSTART] = 0x11;
    t->c_cc[VSTOP] = 0x13;
  }
  speed_t speed = B38400;
  *standardRate = StandardSpeed(settings.baudRate, &speed);
  cfsetispeed(t, speed);
  cfsetospeed(t, speed);
  return true;
}

}  // namespace detail

std::unique_ptr<SerialDevice> OpenPosixSerialDevice(const std::string& path, SerialOpenError* error) {
  if (error != nullptr) *error = SerialOpenError{};
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    ReportOpenFailure(error, errno);
    return nullptr;
  }
  termios original{};
  if (tcgetattr(fd, &original) != 0) {
    const int failure = errno;
    ::close(fd);
    ReportOpenFailure(error, failure);
    if (error != nullptr) error->status = SerialOpenStatus::NotASerialDevice;
    return nullptr;
  }
  // TIOCEXCL keeps other processes out but not root; the lock also covers
  // root and a second open from this process.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int failure = errno == EWOULDBLOCK ? EBUSY : errno;
    ::close(fd);
    ReportOpenFailure(error, failure);
    return nullptr;
  }
  if (ioctl(fd, TIOCEXCL) != 0) {
    const int failure = errno;
    ::close(fd);
    ReportOpenFailure(error, failure);
    return nullptr;
  }
  termios raw = original;
  detail::MakeRaw(&raw);
  if (tcsetattr(fd, TCSANOW, &raw) != 0) {
    const int failure = errno;
    ioctl(fd, TIOCNXCL);
    ::close(fd);
    ReportOpenFailure(error, failure);
    return nullptr;
  }
  return std::make_unique<PosixSerialDevice>(fd, original);
}

}  // namespace platform
