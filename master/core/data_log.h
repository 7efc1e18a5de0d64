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
};

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

 private:
  bool writeLine(const std::string& line);

  LogSettings settings_;
  int fd_ = -1;
  bool logAtOnce_ = false;
  std::time_t lastLogged_ = 0;
};

}  // namespace zelmor
