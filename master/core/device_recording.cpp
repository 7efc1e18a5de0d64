#include "master/core/device_recording.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "common/modbus_protocol.h"
#include "common/recording.h"
#include "master/core/data_log.h"

namespace zelmor {

namespace {

// Milliseconds of a clock that the wall clock's steps do not move.
std::int64_t MonotonicMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

DeviceRecording::~DeviceRecording() { stop(); }

bool DeviceRecording::start(const std::string& path, std::string* error) {
  stop();
  // Non-blocking only for the open: a FIFO nobody reads fails at once instead
  // of holding the caller (the window's thread) until a reader comes.
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0644);
  if (fd_ < 0) {
    *error = std::strerror(errno);
    return false;
  }
  const int flags = ::fcntl(fd_, F_GETFL);
  if (flags >= 0) ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK);
  rows_ = 0;
  startedMs_ = MonotonicMs();
  if (!writeAll(std::string(recording::kHeader) + "\n")) {
    *error = std::strerror(errno);
    stop();
    return false;
  }
  return true;
}

void DeviceRecording::stop() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

DeviceRecording::Outcome DeviceRecording::record(std::uint16_t result, int unit, int function, int address,
                                                 const std::uint16_t* values, int count) {
  if (!active() || result != 0 || !modbus::IsRead(function) || count <= 0) return Outcome::kNotRecorded;
  recording::Sample sample;
  const std::int64_t elapsed = MonotonicMs() - startedMs_;
  sample.elapsedMs = elapsed > 0 ? static_cast<std::uint64_t>(elapsed) : 0;
  sample.unit = unit;
  sample.table = function;
  sample.address = address;
  sample.values.assign(values, values + count);
  const std::string row = recording::FormatSample(LogDateTimeText(LogClockNow()), sample);
  if (row.empty()) return Outcome::kNotRecorded;
  if (!writeAll(row + "\n")) {
    stop();
    return Outcome::kWriteFailed;
  }
  ++rows_;
  return Outcome::kWritten;
}

bool DeviceRecording::writeAll(const std::string& text) {
  // One write per row, straight to the file, as the data log does: nothing
  // waits in a buffer that a crash would lose, and a full disk shows at once.
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd_, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace zelmor
