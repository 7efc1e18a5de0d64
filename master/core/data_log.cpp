#include "master/core/data_log.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace zelmor {

DataLog::~DataLog() { stop(); }

bool DataLog::start(const std::string& path) {
  stop();
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  return fd_ >= 0;
}

void DataLog::stop() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

DataLog::Outcome DataLog::logNotification(const LogPoll& poll, std::uint16_t result, std::time_t now) {
  if (result != 0 && !settings_.errors) return Outcome::kNotLogged;
  if (!active()) {
    logAtOnce_ = true;
    return Outcome::kNotLogged;
  }
  if (settings_.timed) {
    // A clock set back leaves the last time in the future: log, and count from now.
    const bool due = logAtOnce_ || now < lastLogged_ || now - lastLogged_ >= settings_.rate;
    logAtOnce_ = false;
    if (!due) return Outcome::kNotLogged;
    lastLogged_ = now;
  }
  logAtOnce_ = false;
  if (writeLine(ComposeLogLine(LogTimeText(now), poll, result, settings_.delimiter) + "\n")) return Outcome::kWritten;
  stop();
  return Outcome::kWriteFailed;
}

bool DataLog::writeLine(const std::string& line) {
  // One write per line, straight to the file: a full disk shows at the line
  // that did not fit, and a crash loses nothing already logged.
  std::size_t done = 0;
  while (done < line.size()) {
    const ssize_t n = ::write(fd_, line.data() + done, line.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace zelmor
