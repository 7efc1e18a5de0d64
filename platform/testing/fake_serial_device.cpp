#include "platform/testing/fake_serial_device.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <thread>

namespace platform::testing {

using Kind = FakeSerialEvent::Kind;
using Clock = std::chrono::steady_clock;

class FakeSerialDevice final : public SerialDevice {
 public:
  explicit FakeSerialDevice(std::shared_ptr<FakeSerialPort> port) : port_(std::move(port)) {}

  ~FakeSerialDevice() override {
    std::lock_guard<std::mutex> lock(port_->mutex_);
    port_->open_ = false;
    port_->rs485_ = false;
    port_->record(Kind::Close, true, false, nullptr, 0);
  }

  bool configure(const SerialLineSettings& settings) override {
    std::lock_guard<std::mutex> lock(port_->mutex_);
    bool ok = !port_->refuseConfigure_;
    if (ok) {
      port_->settings_ = settings;
      port_->dtr_ = settings.dtrOn;
      if (settings.rts == RtsControl::Toggle) {
        ok = !port_->refuseRs485_;
        port_->rs485_ = ok;
        port_->rts_ = false;
      } else {
        port_->rs485_ = false;
        port_->rts_ = settings.rts == RtsControl::Enable;
      }
    }
    port_->record(Kind::Configure, ok, false, nullptr, 0);
    return ok;
  }

  bool setTimeouts(const SerialTimeouts& timeouts) override {
    std::lock_guard<std::mutex> lock(port_->mutex_);
    port_->timeouts_ = timeouts;
    port_->record(Kind::SetTimeouts, true, false, nullptr, 0);
    return true;
  }

  // Same time-out rules as the real device, waiting on queueReceive() instead of a descriptor.
  int read(std::uint8_t* buffer, int maxCount) override {
    std::unique_lock<std::mutex> lock(port_->mutex_);
    if (port_->pendingErrors_ != 0 || port_->aborted_) {
      port_->aborted_ = true;
      port_->record(Kind::Read, false, false, nullptr, 0);
      return -1;
    }
    const SerialTimeouts t = port_->timeouts_;
    const bool returnAtOnce = t.readInterval == kMaxDword && t.readTotalMultiplier == 0 && t.readTotalConstant == 0;
    const std::uint64_t totalMs =
        returnAtOnce ? 0
                     : static_cast<std::uint64_t>(t.readTotalMultiplier == kMaxDword ? 0 : t.readTotalMultiplier) *
                               static_cast<std::uint64_t>(std::max(maxCount, 0)) +
                           t.readTotalConstant;
    const bool useInterval = t.readInterval != 0 && t.readInterval != kMaxDword;
    const auto deadline = Clock::now() + std::chrono::milliseconds(totalMs);
    int got = 0;
    auto last = Clock::now();
    while (got < maxCount) {
      while (!port_->receive_.empty() && got < maxCount) {
        buffer[got++] = port_->receive_.front();
        port_->receive_.pop_front();
        last = Clock::now();
      }
      if (got >= maxCount || returnAtOnce) break;
      if (t.readInterval == kMaxDword && got > 0) break;
      auto until = Clock::time_point::max();
      if (totalMs > 0) until = deadline;
      if (useInterval && got > 0) until = std::min(until, last + std::chrono::milliseconds(t.readInterval));
      if (Clock::now() >= until) break;
      if (until == Clock::time_point::max()) {
        port_->received_.wait(lock);
      } else {
        port_->received_.wait_until(lock, until);
      }
      if (port_->pendingErrors_ != 0) break;
    }
    port_->updateReadableLocked();
    port_->record(Kind::Read, true, false, buffer, got);
    return got;
  }

  int write(const std::uint8_t* bytes, int count) override {
    std::function<std::vector<std::uint8_t>(const std::vector<std::uint8_t>&)> responder;
    {
      std::lock_guard<std::mutex> lock(port_->mutex_);
      if (port_->failWrites_ || port_->aborted_) {
        port_->record(Kind::Write, false, false, bytes, count);
        return -1;
      }
      port_->written_.insert(port_->written_.end(), bytes, bytes + count);
      port_->record(Kind::Write, true, false, bytes, count);
      responder = port_->responder_;
    }
    if (responder) {
      const std::vector<std::uint8_t> reply = responder(std::vector<std::uint8_t>(bytes, bytes + count));
      if (!reply.empty()) port_->queueReceive(reply);
    }
    return count;
  }

  bool purge(bool receive, bool /*transmit*/) override {
    std::lock_guard<std::mutex> lock(port_->mutex_);
    if (receive) port_->receive_.clear();
    port_->updateReadableLocked();
    port_->record(Kind::Purge, true, false, nullptr, 0);
    return true;
  }

  std::uint32_t clearError() override {
    std::lock_guard<std::mutex> lock(port_->mutex_);
    const std::uint32_t flags = port_->pendingErrors_;
    port_->pendingErrors_ = 0;
    port_->aborted_ = false;
    port_->updateReadableLocked();
    port_->record(Kind::ClearError, true, false, nullptr, 0);
    return flags;
  }

  int bytesWaiting() override {
    std::lock_guard<std::mutex> lock(port_->mutex_);
    return static_cast<int>(port_->receive_.size());
  }

  bool setRts(bool on) override {
    std::lock_guard<std::mutex> lock(port_->mutex_);
    port_->rts_ = on;
    port_->record(Kind::SetRts, true, on, nullptr, 0);
    return true;
  }

  bool setDtr(bool on) override {
    std::lock_guard<std::mutex> lock(port_->mutex_);
    port_->dtr_ = on;
    port_->record(Kind::SetDtr, true, on, nullptr, 0);
    return true;
  }

  bool waitTransmitEmpty() override {
    std::chrono::milliseconds duration;
    {
      std::lock_guard<std::mutex> lock(port_->mutex_);
      duration = port_->transmitTime_;
    }
    std::this_thread::sleep_for(duration);
    std::lock_guard<std::mutex> lock(port_->mutex_);
    port_->record(Kind::WaitTransmitEmpty, true, false, nullptr, 0);
    return true;
  }

  std::uint32_t modemLines() override {
    std::lock_guard<std::mutex> lock(port_->mutex_);
    return port_->modemLines_;
  }

  int pollDescriptor() const override { return port_->readableFd_; }

 private:
  std::shared_ptr<FakeSerialPort> port_;
};

namespace {
std::weak_ptr<FakeSerialPort> g_installed;
}

FakeSerialPort::FakeSerialPort() : readableFd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

FakeSerialPort::~FakeSerialPort() {
  if (readableFd_ >= 0) ::close(readableFd_);
}

void FakeSerialPort::install() {
  std::weak_ptr<FakeSerialPort> self = shared_from_this();
  SetSerialDeviceOpener([self](const std::string& path, SerialOpenError* error) -> std::unique_ptr<SerialDevice> {
    std::shared_ptr<FakeSerialPort> port = self.lock();
    if (!port) return OpenPosixSerialDevice(path, error);
    return port->open(path, error);
  });
}

void FakeSerialPort::uninstall() { SetSerialDeviceOpener(nullptr); }

std::unique_ptr<SerialDevice> FakeSerialPort::open(const std::string& path, SerialOpenError* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  lastPath_ = path;
  if (error != nullptr) *error = SerialOpenError{};
  // One device at a time, like an exclusively opened port.
  const int failure = open_ ? EBUSY : openFailure_;
  if (failure != 0) {
    if (error != nullptr) {
      error->status = failure == EBUSY ? SerialOpenStatus::Busy
                      : failure == ENOENT ? SerialOpenStatus::NoSuchPort
                      : failure == EACCES ? SerialOpenStatus::PermissionDenied
                                          : SerialOpenStatus::OtherError;
      error->systemError = failure;
      error->systemText = std::strerror(failure);
    }
    return nullptr;
  }
  open_ = true;
  ++openCount_;
  aborted_ = false;
  return std::make_unique<FakeSerialDevice>(shared_from_this());
}

void FakeSerialPort::setOpenFailure(int systemError) {
  std::lock_guard<std::mutex> lock(mutex_);
  openFailure_ = systemError;
}

void FakeSerialPort::setRefuseConfigure(bool refuse) {
  std::lock_guard<std::mutex> lock(mutex_);
  refuseConfigure_ = refuse;
}

void FakeSerialPort::setRefuseRs485(bool refuse) {
  std::lock_guard<std::mutex> lock(mutex_);
  refuseRs485_ = refuse;
}

void FakeSerialPort::setFailWrites(bool fail) {
  std::lock_guard<std::mutex> lock(mutex_);
  failWrites_ = fail;
}

void FakeSerialPort::setTransmitTime(std::chrono::milliseconds duration) {
  std::lock_guard<std::mutex> lock(mutex_);
  transmitTime_ = duration;
}

void FakeSerialPort::queueReceive(const std::vector<std::uint8_t>& bytes) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    receive_.insert(receive_.end(), bytes.begin(), bytes.end());
    updateReadableLocked();
  }
  received_.notify_all();
}

void FakeSerialPort::injectLineError(std::uint32_t lineErrorFlags) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    pendingErrors_ |= lineErrorFlags;
    updateReadableLocked();
  }
  received_.notify_all();
}

void FakeSerialPort::setWriteResponder(
    std::function<std::vector<std::uint8_t>(const std::vector<std::uint8_t>&)> responder) {
  std::lock_guard<std::mutex> lock(mutex_);
  responder_ = std::move(responder);
}

void FakeSerialPort::setModemLines(std::uint32_t lines) {
  std::lock_guard<std::mutex> lock(mutex_);
  modemLines_ = lines;
}

std::vector<FakeSerialEvent> FakeSerialPort::events() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return events_;
}

std::vector<FakeSerialEvent> FakeSerialPort::events(FakeSerialEvent::Kind kind) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<FakeSerialEvent> result;
  for (const FakeSerialEvent& event : events_) {
    if (event.kind == kind) result.push_back(event);
  }
  return result;
}

void FakeSerialPort::clearEvents() {
  std::lock_guard<std::mutex> lock(mutex_);
  events_.clear();
}

std::vector<std::uint8_t> FakeSerialPort::written() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return written_;
}

bool FakeSerialPort::rts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return rts_;
}

bool FakeSerialPort::dtr() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return dtr_;
}

bool FakeSerialPort::rs485Enabled() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return rs485_;
}

bool FakeSerialPort::isOpen() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return open_;
}

int FakeSerialPort::openCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return openCount_;
}

std::string FakeSerialPort::lastPath() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lastPath_;
}

SerialLineSettings FakeSerialPort::lineSettings() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return settings_;
}

SerialTimeouts FakeSerialPort::timeouts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return timeouts_;
}

int FakeSerialPort::pendingReceive() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(receive_.size());
}

void FakeSerialPort::record(FakeSerialEvent::Kind kind, bool ok, bool on, const std::uint8_t* bytes, int count) {
  FakeSerialEvent event{kind, ok, on, {}, Clock::now()};
  if (bytes != nullptr && count > 0) event.bytes.assign(bytes, bytes + count);
  events_.push_back(std::move(event));
}

void FakeSerialPort::updateReadableLocked() {
  if (readableFd_ < 0) return;
  const bool readable = !receive_.empty() || pendingErrors_ != 0;
  if (readable && !readableSignalled_) {
    const std::uint64_t one = 1;
    readableSignalled_ = ::write(readableFd_, &one, sizeof one) == sizeof one;
  } else if (!readable && readableSignalled_) {
    std::uint64_t count = 0;
    readableSignalled_ = ::read(readableFd_, &count, sizeof count) != sizeof count;
  }
}

}  // namespace platform::testing
