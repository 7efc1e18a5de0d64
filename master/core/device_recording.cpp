#include "master/core/device_recording.h"

#include <cerrno>
#include <chrono>
#include <cstring>
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
  fd_ = OpenLogFile(path);
  if (fd_ < 0) {
    *error = std::strerror(errno);
    return false;
  }
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

bool DeviceRecording::writeAll(const std::string& text) { return WriteLogText(fd_, text); }

}  // namespace zelmor
