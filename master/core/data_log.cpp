#include "master/core/data_log.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

#include "common/register_map.h"
#include "common/archive.h"
#include "common/value_format.h"
#include "master/core/poll_register_map.h"

namespace zelmor {

namespace {

constexpr const char* kDateTimeColumn = "Date Time";
constexpr const char* kAddressColumn = "Address";
constexpr const char* kNameColumn = "Name";
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

namespace {

// A name as a comma-delimited field: quoted when it holds a comma or a quote.
std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

// One header row: `first` and `second` over the time and label columns, then
// cell(i) over every value column of the lines.
template <typename Cell>
std::string HeaderRow(const LogPoll& poll, int delimiter, const char* first, const char* second, Cell cell) {
  const bool fixed = delimiter != kLogComma && delimiter != kLogTab;
  const char* d = delimiter == kLogComma ? "," : delimiter == kLogTab ? "\t" : " ";
  const std::string label =
      "<" + valuefmt::FirstAddressText(poll.function, poll.oneBased, poll.address, poll.length) + ">";
  std::string row = fixed ? Padded(first, LogDateTimeText({}).size(), false) : first;
  row += d;
  row += fixed ? Padded(second, label.size(), false) : second;
  for (int i = 0; i < poll.length; ++i) {
    // The same columns as the lines: every cell in fixed width, cells with a value otherwise.
    if (!fixed && !valuefmt::CellHasValue(poll.function, poll.displayFormat, i, poll.length)) continue;
    std::string name = cell(i);
    if (fixed) {
      const std::string value = valuefmt::CellValueText(poll.values, poll.valuesSize, poll.function,
                                                        poll.displayFormat, i, poll.length,
                                                        valuefmt::TextForm::kMasterScreen, false);
      name = Padded(name, value.size(), true);
    } else if (delimiter == kLogComma) {
      name = CsvField(name);
    }
    row += d + name;
  }
  return row;
}

}  // namespace

std::string ComposeLogHeader(const LogPoll& poll, int delimiter) {
  std::string header = HeaderRow(poll, delimiter, kDateTimeColumn, kAddressColumn, [&poll](int i) {
    std::string name = valuefmt::AddressLabel(poll.function, poll.oneBased, poll.address, poll.length, i);
    name.resize(name.size() - std::min(name.size(), kLabelSeparatorLength));
    return name;
  });
  if (poll.names == nullptr || poll.names->entries.empty()) return header;
  return header + "\n" + HeaderRow(poll, delimiter, "", kNameColumn, [&poll](int i) {
           return ItemNameText(*poll.names, poll.function, poll.address, i);
         });
}

int OpenLogFile(const std::string& path) {
  // Non-blocking only for the open, then blocking writes as usual.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0644);
  if (fd < 0) return -1;
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return fd;
}

bool WriteLogText(int fd, const std::string& text) { return archive::WriteAll(fd, text.data(), text.size()); }

DataLog::~DataLog() { stop(); }

bool DataLog::start(const std::string& path) {
  stop();
  fd_ = OpenLogFile(path);
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

bool DataLog::writeLine(const std::string& line) { return WriteLogText(fd_, line); }

}  // namespace zelmor
