#include "terminal/event_serial_port.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "platform/port_map.h"
#include "resources/kestrin_texts.h"

namespace kestrin {

namespace {

std::atomic<PortErrorReporter> g_reporter{nullptr};

// Modem lines and line errors are not signalled through the descriptor, so the
// monitor thread looks at them this often while it waits.
constexpr int kLinePollMs = 15;
constexpr std::uint32_t kPortTimeoutMs = 1000;
// Bytes taken from the driver per read; each is still delivered singly.
constexpr int kReadChunk = 256;

constexpr std::uint32_t kLineEventMask = EV_CTS | EV_DSR | EV_RLSD | EV_RING | EV_BREAK | EV_ERR;

std::string SystemText(int systemError) {
  if (systemError == 0) return "Unknown error";
  return std::strerror(systemError);
}

void SetEvent(int eventFd) {
  if (eventFd < 0) return;
  const std::uint64_t one = 1;
  ssize_t written;
  do {
    written = ::write(eventFd, &one, sizeof one);
  } while (written < 0 && errno == EINTR);
}

void ResetEvent(int eventFd) {
  std::uint64_t value;
  ssize_t got;
  do {
    got = ::read(eventFd, &value, sizeof value);
  } while (got < 0 && errno == EINTR);
}

void CloseFd(int* fd) {
  if (*fd >= 0) ::close(*fd);
  *fd = -1;
}

}  // namespace

void SetPortErrorReporter(PortErrorReporter reporter) { g_reporter.store(reporter); }

std::string FormatPortError(const char* operation, const std::string& systemText, int portNumber) {
  const int needed = std::snprintf(nullptr, 0, text::kErrorBoxFormat, operation, systemText.c_str(), portNumber);
  std::string result(static_cast<std::size_t>(needed > 0 ? needed : 0), '\0');
  std::snprintf(result.data(), result.size() + 1, text::kErrorBoxFormat, operation, systemText.c_str(),
                portNumber);
  return result;
}

bool ApplyDefinitionText(const std::string& definition, platform::SerialLineSettings* settings) {
  platform::SerialLineSettings result = *settings;
  std::istringstream words(definition);
  std::string word;
  bool any = false;
  while (words >> word) {
    const std::size_t equals = word.find('=');
    if (equals == std::string::npos || equals + 1 >= word.size()) return false;
    const std::string key = word.substr(0, equals);
    const std::string value = word.substr(equals + 1);
    if (key == "baud") {
      char* end = nullptr;
      const long baud = std::strtol(value.c_str(), &end, 10);
      if (*end != '\0' || baud <= 0 || baud > 4000000) return false;
      result.baudRate = static_cast<std::uint32_t>(baud);
    } else if (key == "parity") {
      if (value.size() != 1) return false;
      switch (value[0]) {
        case 'N': case 'n': result.parity = platform::Parity::None; break;
        case 'O': case 'o': result.parity = platform::Parity::Odd; break;
        case 'E': case 'e': result.parity = platform::Parity::Even; break;
        case 'M': case 'm': result.parity = platform::Parity::Mark; break;
        case 'S': case 's': result.parity = platform::Parity::Space; break;
        default: return false;
      }
    } else if (key == "data") {
      if (value.size() != 1 || value[0] < '5' || value[0] > '8') return false;
      result.dataBits = static_cast<std::uint8_t>(value[0] - '0');
    } else if (key == "stop") {
      if (value == "1") result.stopBits = platform::StopBits::One;
      else if (value == "1.5") result.stopBits = platform::StopBits::OneAndHalf;
      else if (value == "2") result.stopBits = platform::StopBits::Two;
      else return false;
    } else {
      return false;
    }
    any = true;
  }
  if (!any) return false;
  *settings = result;
  return true;
}

EventSerialPort::EventSerialPort() = default;

EventSerialPort::~EventSerialPort() {
  StopThread();
  open_.store(false);
  {
    std::lock_guard<std::mutex> lock(portMutex_);
    device_.reset();
  }
  CloseEvents();
}

void EventSerialPort::ReportError(const char* operation, int systemError) {
  const std::string message = FormatPortError(operation, SystemText(systemError), portNumber_);
  PortErrorReporter reporter = g_reporter.load();
  if (reporter != nullptr) {
    reporter(message, text::kErrorBoxTitle);
  } else {
    std::fprintf(stderr, "%s: %s", text::kErrorBoxTitle, message.c_str());
  }
}

void EventSerialPort::CloseEvents() {
  CloseFd(&shutdownEvent_);
  CloseFd(&writeEvent_);
}

void EventSerialPort::StopThread() {
  if (!thread_.joinable()) return;
  stopping_.store(true);
  SetEvent(shutdownEvent_);
  thread_.join();
  stopping_.store(false);
}

bool EventSerialPort::OpenPort(platform::WindowHandle owner, int portNumber, int baudRate, char parity,
                               int dataBits, int stopBits, std::uint32_t eventMask, int sendBufferSize) {
  StopThread();

  open_.store(false);
  if (portNumber < 1 || portNumber > platform::kMaxPortNumber || sendBufferSize <= 0) {
    std::lock_guard<std::mutex> lock(portMutex_);
    device_.reset();
    lastOpenError_ = SystemText(EINVAL);
    return false;
  }

  CloseEvents();
  shutdownEvent_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  writeEvent_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);

  owner_ = owner;
  {
    std::lock_guard<std::mutex> lock(writeMutex_);
    pendingWrite_.assign(static_cast<std::size_t>(sendBufferSize), 0);
    threadWrite_.assign(static_cast<std::size_t>(sendBufferSize), 0);
    pendingLength_ = 0;
  }
  portNumber_ = portNumber;
  sendBufferSize_.store(sendBufferSize);
  eventMask_.store(eventMask);

  char definition[96];
  std::snprintf(definition, sizeof definition, "baud=%d parity=%c data=%d stop=%d", baudRate, parity, dataBits,
                stopBits);

  const char* failedOperation = nullptr;
  int failedError = 0;
  {
    std::lock_guard<std::mutex> lock(portMutex_);
    device_.reset();
    if (shutdownEvent_ < 0 || writeEvent_ < 0) {
      lastOpenError_ = SystemText(errno);
      return false;
    }
    platform::SerialOpenError openError;
    const std::string path = platform::SerialPortPath(portNumber);
    device_ = platform::OpenSerialDevice(path, &openError);
    if (!device_) {
      lastOpenError_ = path + ": " + platform::SerialOpenErrorText(openError);
      return false;
    }
    lastOpenError_.clear();
    open_.store(true);

    // Set-up failures are shown and the port stays open, as the terminal expects.
    // Reads only ever ask for bytes already waiting, so they return at once
    // with what is there (a count that includes escaped line-error marks may
    // decode to fewer bytes and must not make the read wait).
    platform::SerialTimeouts timeouts{platform::kMaxDword, 0, 0, kPortTimeoutMs, kPortTimeoutMs};
    errno = 0;
    if (!device_->setTimeouts(timeouts)) {
      failedOperation = "SetCommTimeouts()";
      failedError = errno;
    } else {
      platform::SerialLineSettings settings = lineSettings_;
      settings.rts = platform::RtsControl::Enable;
      if (!ApplyDefinitionText(definition, &settings)) {
        failedOperation = "BuildCommDCB()";
        failedError = EINVAL;
      } else {
        errno = 0;
        if (!device_->configure(settings)) {
          failedOperation = "SetCommState()";
          failedError = errno != 0 ? errno : EINVAL;
        } else {
          lineSettings_ = settings;
        }
      }
    }
    device_->purge(true, true);
    device_->clearError();
  }
  if (failedOperation != nullptr) ReportError(failedOperation, failedError);
  return true;
}

bool EventSerialPort::StartPortThread() {
  if (thread_.joinable()) return false;
  {
    std::lock_guard<std::mutex> lock(portMutex_);
    if (!device_) return false;
    // Purged here rather than on the new thread, so that bytes arriving
    // after this call returns are never discarded. Line changes from here on
    // are events.
    device_->purge(true, true);
    lastModemLines_ = device_->modemLines();
  }
  alive_.store(true);
  readErrorShown_ = false;
  pendingLineErrors_ = 0;
  thread_ = std::thread([this] { ThreadMain(); });
  return true;
}

bool EventSerialPort::QueueWrite(const std::uint8_t* bytes, int count) {
  if (count <= 0) return count == 0;
  // Never waits for the port lock: the monitor thread holds it while it writes.
  if (!open_.load()) return false;
  {
    std::lock_guard<std::mutex> lock(writeMutex_);
    const int capacity = static_cast<int>(pendingWrite_.size());
    if (count > capacity - pendingLength_) return false;
    std::memcpy(pendingWrite_.data() + pendingLength_, bytes, static_cast<std::size_t>(count));
    pendingLength_ += count;
  }
  SetEvent(writeEvent_);
  return true;
}

platform::SerialLineSettings EventSerialPort::CurrentLineSettings() const { return lineSettings_; }

std::uint32_t EventSerialPort::CurrentEventMask() const { return eventMask_.load(); }
int EventSerialPort::SendBufferSize() const { return sendBufferSize_.load(); }
int EventSerialPort::PortNumber() const { return portNumber_; }

bool EventSerialPort::IsOpen() const { return open_.load(); }

std::string EventSerialPort::LastOpenError() const { return lastOpenError_; }

std::uint32_t EventSerialPort::CollectLineEvents() {
  const std::uint32_t mask = eventMask_.load();
  if ((mask & kLineEventMask) == 0) return 0;
  std::uint32_t lines;
  std::uint32_t errors;
  {
    std::lock_guard<std::mutex> lock(portMutex_);
    lines = device_->modemLines();
    errors = device_->clearError();
  }
  errors |= pendingLineErrors_;
  pendingLineErrors_ = 0;

  std::uint32_t events = 0;
  const std::uint32_t changed = lines ^ lastModemLines_;
  if (changed & platform::kLineCts) events |= EV_CTS;
  if (changed & platform::kLineDsr) events |= EV_DSR;
  if (changed & platform::kLineDcd) events |= EV_RLSD;
  if ((changed & platform::kLineRing) && (lines & platform::kLineRing)) events |= EV_RING;
  lastModemLines_ = lines;
  if (errors & platform::kErrorBreak) events |= EV_BREAK;
  if (errors & (platform::kErrorFrame | platform::kErrorParity | platform::kErrorOverrun)) events |= EV_ERR;
  return events;
}

void EventSerialPort::NotifyPortEvent(std::uint32_t mask) {
  // Every line notification in the mask goes out on every port event.
  static constexpr struct {
    std::uint32_t event;
    std::uint32_t message;
  } kNotifications[] = {{EV_CTS, WM_PORT_CTS},
                        {EV_RXFLAG, WM_PORT_RXFLAG},
                        {EV_BREAK, WM_PORT_BREAK},
                        {EV_ERR, WM_PORT_ERROR},
                        {EV_RING, WM_PORT_RING}};
  for (const auto& notification : kNotifications) {
    if (stopping_.load()) return;
    if (mask & notification.event) {
      platform::SendWindowMessage(owner_, notification.message, 0, portNumber_);
    }
  }
}

void EventSerialPort::ReceiveLoop() {
  std::uint8_t chunk[kReadChunk];
  for (;;) {
    if (stopping_.load()) return;
    int waiting;
    int got;
    int readError = 0;
    {
      std::lock_guard<std::mutex> lock(portMutex_);
      pendingLineErrors_ |= device_->clearError();
      waiting = device_->bytesWaiting();
      if (waiting <= 0) return;
      errno = 0;
      got = device_->read(chunk, waiting < kReadChunk ? waiting : kReadChunk);
      readError = errno;
    }
    if (got < 0) {
      // A vanished device fails every read; one box is enough until reads work again.
      if (!readErrorShown_) ReportError("ReadFile()", readError);
      readErrorShown_ = true;
      return;
    }
    readErrorShown_ = false;
    if (got == 0) return;
    for (int index = 0; index < got; ++index) {
      if (stopping_.load()) return;
      platform::SendWindowMessage(owner_, WM_PORT_CHAR, chunk[index], portNumber_);
    }
  }
}

void EventSerialPort::PerformWrite() {
  ResetEvent(writeEvent_);
  int count;
  {
    std::lock_guard<std::mutex> lock(writeMutex_);
    count = pendingLength_;
    std::memcpy(threadWrite_.data(), pendingWrite_.data(), static_cast<std::size_t>(count));
    pendingLength_ = 0;
  }
  if (count == 0) return;
  int written;
  int writeError;
  {
    std::lock_guard<std::mutex> lock(portMutex_);
    errno = 0;
    written = device_->write(threadWrite_.data(), count);
    writeError = errno;
  }
  if (written < 0) {
    ReportError("WriteFile()", writeError);
  } else if (written < count) {
    ReportError("GetOverlappedResults() in WriteFile()", writeError != 0 ? writeError : ETIMEDOUT);
  }
}

void EventSerialPort::ThreadMain() {
  bool waitErrorShown = false;
  bool deviceQuiet = false;
  for (;;) {
    const std::uint32_t mask = eventMask_.load();
    int deviceFd;
    {
      std::lock_guard<std::mutex> lock(portMutex_);
      deviceFd = device_->pollDescriptor();
    }
    pollfd waits[3] = {
        {shutdownEvent_, POLLIN, 0},
        {((mask & EV_RXCHAR) && !deviceQuiet) ? deviceFd : -1, POLLIN, 0},
        {writeEvent_, POLLIN, 0},
    };
    const int ready = ::poll(waits, 3, kLinePollMs);
    deviceQuiet = false;
    if (ready < 0) {
      if (errno == EINTR) continue;
      if (!waitErrorShown) ReportError("WaitCommEvent()", errno);
      waitErrorShown = true;
      ::poll(nullptr, 0, kLinePollMs);
      continue;
    }
    waitErrorShown = false;
    if (waits[0].revents != 0) break;

    std::uint32_t events = CollectLineEvents();
    if (waits[1].revents != 0) {
      int waiting;
      {
        std::lock_guard<std::mutex> lock(portMutex_);
        waiting = device_->bytesWaiting();
      }
      if (waiting > 0) {
        events |= EV_RXCHAR;
      } else {
        // Readable without data (hang-up or error): leave the descriptor out
        // for one wait rather than spin on it.
        deviceQuiet = true;
      }
    }
    if (events & mask) {
      NotifyPortEvent(mask);
      if (mask & EV_RXCHAR) ReceiveLoop();
      if (stopping_.load()) break;
    }
    // A queued write goes out after the port event of the same wait, so a
    // steady stream of received bytes cannot hold writes back for ever.
    if (waits[2].revents != 0) PerformWrite();
  }
  alive_.store(false);
}

}  // namespace kestrin
