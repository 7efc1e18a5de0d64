#include "master/core/data_log.h"

#include <cerrno>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

#include "common/value_format.h"

namespace zelmor {

namespace {

constexpr const char* kDateTimeColumn = "Date Time";
constexpr const char* kAddressColumn = "Address";
constexpr std::size_t kLabelSeparatorLength = 3;  // the " = " after an address label

std::string Padded(std::string text, std::size_t width, bool right) {
  if (text.size() >= width) return text;
  const std::string fill(width - text.size(), ' ');
  return right ? fill + text : text + fill;
}

}  // namespace

LogClock LogClockNow() {
  const auto since = std::chrono::system_clock::now().time_since_epoch();
  const long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(since).count();
  // Floor division: a clock before 1970 still gives milliseconds 0..999.
  const long long seconds = ms / 1000 - (ms % 1000 < 0 ? 1 : 0);
  return {static_cast<std::time_t>(seconds), static_cast<int>(ms - seconds * 1000)};
}

std::string LogDateTimeText(const LogClock& clock) {
  std::tm local{};
  localtime_r(&clock.seconds, &local);
  char date[24];
  std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S", &local);
  char text[32];
  std::snprintf(text, sizeof text, "%s.%03d", date, clock.milliseconds);
  return text;
}

std::string ComposeLogHeader(const LogPoll& poll, int delimiter) {
  const bool fixed = delimiter != kLogComma && delimiter != kLogTab;
  const char* d = delimiter == kLogComma ? "," : delimiter == kLogTab ? "\t" : " ";
  const std::string label =
      "<" + valuefmt::FirstAddressText(poll.function, poll.oneBased, poll.address, poll.length) + ">";
  std::string header = fixed ? Padded(kDateTimeColumn, LogDateTimeText({}).size(), false) : kDateTimeColumn;
  header += d;
  header += fixed ? Padded(kAddressColumn, label.size(), false) : kAddressColumn;
  for (int i = 0; i < poll.length; ++i) {
    // The same columns as the lines: every cell in fixed width, cells with a value otherwise.
    if (!fixed && !valuefmt::CellHasValue(poll.function, poll.displayFormat, i, poll.length)) continue;
    std::string name = valuefmt::AddressLabel(poll.function, poll.oneBased, poll.address, poll.length, i);
    name.resize(name.size() - std::min(name.size(), kLabelSeparatorLength));
    if (fixed) {
      const std::string cell = valuefmt::CellValueText(poll.values, poll.valuesSize, poll.function, poll.displayFormat,
                                                       i, poll.length, valuefmt::TextForm::kMasterScreen, false);
      name = Padded(name, cell.size(), true);
    }
    header += d + name;
  }
  return header;
}

DataLog::~DataLog() { stop(); }

bool DataLog::start(const std::string& path) {
  stop();
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  headerDue_ = true;
  return fd_ >= 0;
}

void DataLog::stop() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

DataLog::Outcome DataLog::logNotification(const LogPoll& poll, std::uint16_t result, std::time_t now) {
  return logNotification(poll, result, LogClock{now, 0});
}

DataLog::Outcome DataLog::logNotification(const LogPoll& poll, std::uint16_t result, const LogClock& clock) {
  const std::time_t now = clock.seconds;
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
  std::string text;
  if (settings_.dated && headerDue_) text = ComposeLogHeader(poll, settings_.delimiter) + "\n";
  const std::string time = settings_.dated ? LogDateTimeText(clock) : LogTimeText(now);
  text += ComposeLogLine(time, poll, result, settings_.delimiter) + "\n";
  if (writeLine(text)) {
    headerDue_ = false;
    return Outcome::kWritten;
  }
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
