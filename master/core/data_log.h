#pragma once
// The data log of one poll window: its settings, the open file and the log step
// that the view runs for every notification. Qt-free; the line itself comes
// from ComposeLogLine, the same composer headless zelmor prints with.
#include <cstdint>
#include <ctime>
#include <string>

#include "master/core/poll_results.h"

namespace zelmor {

struct LogSettings {
  bool timed = false;  // false: each poll; true: at most once per rate
  int rate = 1;        // seconds, 1..3600
  int delimiter = kLogFixed;
  bool errors = false;  // also log failed transactions
  // The long form: the date and milliseconds in the time column, and a header
  // row naming the columns before the first line. Off: "HH:MM:SS", no header.
  bool dated = false;
};

// A wall-clock time to the millisecond.
struct LogClock {
  std::time_t seconds = 0;
  int milliseconds = 0;  // 0..999
};
LogClock LogClockNow();

// The time column of the long form: "YYYY-MM-DD HH:MM:SS.mmm", local time.
std::string LogDateTimeText(const LogClock& clock);
// The header row of the long form (without its line break): "Date Time",
// "Address", then the address of every value column in the poll's layout and
// delimiter; fixed width pads each name to its column as `poll` fills it.
// With poll.names: a second row after a line break, "Name" under "Address" and
// the map's "Name [unit]" under each column it names (comma-delimited names
// with a comma or a quote are quoted as CSV does).
std::string ComposeLogHeader(const LogPoll& poll, int delimiter);

// Creates (or empties) a log file for writing, 0644. A FIFO nobody reads fails
// at once (ENXIO) instead of holding the caller until a reader comes. -1 with
// errno set when it cannot be opened.
int OpenLogFile(const std::string& path);
// Writes all of `text` to `fd`, straight to the file: nothing waits in a buffer
// that a crash would lose, and a full disk shows at the line that did not fit.
// False with errno set on a failed write.
bool WriteLogText(int fd, const std::string& text);

constexpr int kMinLogRate = 1;
constexpr int kMaxLogRate = 3600;

class DataLog {
 public:
  DataLog() = default;
  ~DataLog();  // closes the file
  DataLog(const DataLog&) = delete;
  DataLog& operator=(const DataLog&) = delete;

  const LogSettings& settings() const { return settings_; }
  void setSettings(const LogSettings& settings) { settings_ = settings; }

  // Creates (or empties) the file and makes the log active. False, and
  // inactive, when it cannot be created.
  bool start(const std::string& path);
  void stop();
  bool active() const { return fd_ >= 0; }

  enum class Outcome { kNotLogged, kWritten, kWriteFailed };

  // The log step for one notification with (normalized) result `result` at
  // wall-clock time `now`. A failed transaction counts only with "Log errors".
  // While inactive it only notes that the next logged poll is to be written at
  // once. A failed write closes the file and ends the log (kWriteFailed).
  Outcome logNotification(const LogPoll& poll, std::uint16_t result, std::time_t now);
  // The same, with the milliseconds the long form shows.
  Outcome logNotification(const LogPoll& poll, std::uint16_t result, const LogClock& now);

 private:
  bool writeLine(const std::string& line);

  LogSettings settings_;
  int fd_ = -1;
  bool logAtOnce_ = false;
  bool headerDue_ = false;  // the long form's header row, before the first line
  std::time_t lastLogged_ = 0;
};

}  // namespace zelmor
