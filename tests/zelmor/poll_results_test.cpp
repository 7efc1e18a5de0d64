#include "master/core/poll_results.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/register_map.h"
#include "master/core/data_log.h"
#include "register_image.h"

using namespace zelmor;

TEST(PollResults, ErrorTextsAndCounters) {
  struct Row {
    std::uint16_t result;
    const char* text;
    int counter;
  };
  const Row rows[] = {
      {0, "", kNoCounter},
      {1, "Timeout Error", 0},
      {2, "CRC Error", 1},
      {3, "Response Error", 2},
      {4, "Write Error", 3},
      {5, "Read Error", 4},
      {6, "No Connection", 5},
      {7, "Not possible to start communication thread", 6},
      {11, "Bytes Missing Error", 7},
      {129, "Illigal Function", 8},
      {130, "Illigal Data Address", 9},
      {131, "Illegal Data Value", 10},
      {132, "Slave Device Failure", 11},
      {133, "ACKNOWLEDGE", 12},
      {134, "SLAVE DEVICE BUSY", 13},
      {135, "NAK-NEGATIVE ACKNOWLEDGMENT", 14},
      {128 + 11, "Exception Error 11", 15},
      {128 + 127, "Exception Error 127", 15},
      {8, "Unknown Error", 16},
      {9, "Unknown Error", 16},
      {10, "Unknown Error", 16},
      {12, "Unknown Error", 16},
      {14, "Unknown Error", 16},
  };
  std::set<int> counters;
  for (const Row& row : rows) {
    EXPECT_EQ(ErrorTextForResult(row.result), row.text) << row.result;
    EXPECT_EQ(ErrorCounterForResult(row.result), row.counter) << row.result;
    if (row.counter >= 0) counters.insert(row.counter);
  }
  EXPECT_EQ(counters.size(), 17u);
  // Only the low seven bits of an exception result count.
  EXPECT_EQ(NormalizeResult(128 + 128 + 2), 130);
  EXPECT_EQ(ErrorTextForResult(256 + 2), "Illigal Data Address");
}

TEST(PollResults, LogLineLayouts) {
  auto values = RegisterImage({1, 0xFFFE});
  LogPoll poll{3, 0, 2, 0, true, values.data(), values.size()};
  EXPECT_EQ(ComposeLogLine("12:00:05", poll, 0, kLogComma), "12:00:05,<40001>,1,-2");
  EXPECT_EQ(ComposeLogLine("12:00:05", poll, 0, kLogTab), "12:00:05\t<40001>\t1\t-2");
  EXPECT_EQ(ComposeLogLine("12:00:05", poll, 0, kLogFixed), "12:00:05 <40001>      1     -2");
  EXPECT_EQ(ComposeLogLine("12:00:05", poll, 1, kLogComma), "12:00:05,<40001>,Timeout Error");
  EXPECT_EQ(ComposeLogLine("12:00:05", poll, 130, kLogFixed), "12:00:05 <40001> Illigal Data Address");
}

TEST(PollResults, LogLineSkipsEmptyHalvesOfWideValues) {
  // Ten registers as five floats 1.0 (low word first in the document image).
  std::vector<std::uint8_t> values;
  for (int k = 0; k < 5; ++k)
    for (std::uint16_t w : {std::uint16_t{0}, std::uint16_t{0x3F80}}) {
      values.push_back(static_cast<std::uint8_t>(w));
      values.push_back(static_cast<std::uint8_t>(w >> 8));
    }
  LogPoll poll{4, 19999, 10, 4, true, values.data(), values.size()};
  EXPECT_EQ(ComposeLogLine("01:02:03", poll, 0, kLogComma),
            "01:02:03,<320000>,1.000000,1.000000,1.000000,1.000000,1.000000");
  std::string fixed = ComposeLogLine("01:02:03", poll, 0, kLogFixed);
  EXPECT_EQ(fixed.rfind("01:02:03 <320000>        1.000000  ", 0), 0u) << fixed;
}

TEST(PollResults, ErrorCounterLinesLeaveOutTheSpareCounters) {
  std::array<std::uint32_t, kErrorCounterCount> counters{};
  counters[17] = counters[18] = counters[19] = 5;  // kept, never shown
  EXPECT_EQ(ErrorCounterLines(counters), std::vector<std::string>{"NO ERRORS!"});
  counters[ErrorCounterForResult(6)] = 2;
  EXPECT_EQ(ErrorCounterLines(counters), std::vector<std::string>{"2\tNo connection"});
}

namespace {

class DataLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Log times in UTC, so that a time stamp reads the same everywhere.
    setenv("TZ", "UTC", 1);
    tzset();
    char name[] = "/tmp/zelmor-log-XXXXXX";
    dir_ = ::mkdtemp(name);
    path_ = dir_ + "/logfile.txt";
  }
  void TearDown() override { std::system(("rm -rf " + dir_).c_str()); }
  std::string content() const {
    std::ifstream in(path_, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  std::string dir_, path_;
  std::vector<std::uint8_t> values = RegisterImage({1, 0xFFFE});
  LogPoll poll{3, 0, 2, 0, true, values.data(), values.size()};
  static constexpr std::time_t kNoon = 12 * 3600;  // 12:00:00 UTC
};

}  // namespace

TEST_F(DataLogTest, EachPollWritesTheComposedLinesByteForByte) {
  DataLog log;
  log.setSettings({false, 1, kLogComma, false});
  ASSERT_TRUE(log.start(path_));
  EXPECT_EQ(log.logNotification(poll, 0, kNoon + 5), DataLog::Outcome::kWritten);
  EXPECT_EQ(log.logNotification(poll, 1, kNoon + 5), DataLog::Outcome::kNotLogged);  // errors not logged
  EXPECT_EQ(log.logNotification(poll, 0, kNoon + 5), DataLog::Outcome::kWritten);    // same second: each poll
  log.setSettings({false, 1, kLogFixed, true});
  EXPECT_EQ(log.logNotification(poll, 1, kNoon + 6), DataLog::Outcome::kWritten);
  log.stop();
  EXPECT_EQ(content(),
            "12:00:05,<40001>,1,-2\n12:00:05,<40001>,1,-2\n12:00:06 <40001> Timeout Error\n");
  // Starting again empties the file.
  ASSERT_TRUE(log.start(path_));
  log.stop();
  EXPECT_EQ(content(), "");
}

TEST_F(DataLogTest, TimedLogWritesOncePerRateAndAtOnceAfterAPause) {
  DataLog log;
  log.setSettings({true, 10, kLogComma, false});
  ASSERT_TRUE(log.start(path_));
  int written = 0;
  for (int s = 0; s < 30; ++s)  // a poll every second
    written += log.logNotification(poll, 0, kNoon + s) == DataLog::Outcome::kWritten;
  EXPECT_EQ(written, 3);  // at 0, 10 and 20
  EXPECT_EQ(content().substr(0, 8), "12:00:00");
  // A poll while the log is off makes the first poll of the next log go out at
  // once, even within the rate of the last line.
  log.stop();
  EXPECT_EQ(log.logNotification(poll, 0, kNoon + 21), DataLog::Outcome::kNotLogged);
  ASSERT_TRUE(log.start(path_));
  EXPECT_EQ(log.logNotification(poll, 0, kNoon + 22), DataLog::Outcome::kWritten);
  EXPECT_EQ(log.logNotification(poll, 0, kNoon + 23), DataLog::Outcome::kNotLogged);
  // A clock set back does not silence the log until it has caught up.
  EXPECT_EQ(log.logNotification(poll, 0, kNoon - 3600), DataLog::Outcome::kWritten);
}

TEST_F(DataLogTest, LongFormHasDateMillisecondsAndOneHeaderRowPerFile) {
  DataLog log;
  log.setSettings({false, 1, kLogComma, true, true});
  ASSERT_TRUE(log.start(path_));
  EXPECT_EQ(log.logNotification(poll, 0, LogClock{kNoon + 5, 7}), DataLog::Outcome::kWritten);
  EXPECT_EQ(log.logNotification(poll, 1, LogClock{kNoon + 5, 250}), DataLog::Outcome::kWritten);
  log.setSettings({false, 1, kLogFixed, true, true});
  ASSERT_TRUE(log.start(path_));  // a new file gets its own header
  EXPECT_EQ(log.logNotification(poll, 0, LogClock{kNoon + 6, 999}), DataLog::Outcome::kWritten);
  log.stop();
  EXPECT_EQ(content(),
            "Date Time               Address  40001  40002\n"
            "1970-01-01 12:00:06.999 <40001>      1     -2\n");
  // Wide values: a column per value, named by its first register.
  std::vector<std::uint8_t> floats(20, 0);
  LogPoll wide{4, 19999, 10, 4, true, floats.data(), floats.size()};
  EXPECT_EQ(ComposeLogHeader(wide, kLogTab), "Date Time\tAddress\t320000\t320002\t320004\t320006\t320008");
}

// A window with a register map and the name column on: the long form's header
// gets a second row of names in the same columns; the first row stays as it was.
TEST_F(DataLogTest, RegisterMapNamesMakeASecondHeaderRow) {
  regmap::RegisterMap map;
  regmap::Entry level;
  level.table = 3;
  level.address = 1;
  level.type = regmap::Type::kInt16;
  level.name = "Level, \"tank\"";
  level.unit = "m";
  map.entries.push_back(level);
  LogPoll named = poll;
  named.names = &map;
  EXPECT_EQ(ComposeLogHeader(named, kLogComma),
            "Date Time,Address,40001,40002\n,Name,,\"Level, \"\"tank\"\" [m]\"");
  EXPECT_EQ(ComposeLogHeader(named, kLogTab), "Date Time\tAddress\t40001\t40002\n\tName\t\tLevel, \"tank\" [m]");
  DataLog log;
  log.setSettings({false, 1, kLogFixed, true, true});
  ASSERT_TRUE(log.start(path_));
  EXPECT_EQ(log.logNotification(named, 0, LogClock{kNoon, 5}), DataLog::Outcome::kWritten);
  EXPECT_EQ(log.logNotification(named, 0, LogClock{kNoon, 6}), DataLog::Outcome::kWritten);
  log.stop();
  EXPECT_EQ(content(),
            "Date Time               Address  40001  40002\n"
            "                        Name           Level, \"tank\" [m]\n"
            "1970-01-01 12:00:00.005 <40001>      1     -2\n"
            "1970-01-01 12:00:00.006 <40001>      1     -2\n");
  // An empty map changes nothing.
  regmap::RegisterMap empty;
  named.names = &empty;
  EXPECT_EQ(ComposeLogHeader(named, kLogComma), ComposeLogHeader(poll, kLogComma));
}

TEST_F(DataLogTest, AFifoWithoutReaderIsRefusedAtOnceAndAGoneReaderEndsTheLog) {
  ASSERT_EQ(::mkfifo(path_.c_str(), 0600), 0);
  DataLog log;
  EXPECT_FALSE(log.start(path_));  // used to block the window until a reader came
  EXPECT_FALSE(log.active());

  // A reader that goes away: the write fails and the log ends (the window
  // ignores SIGPIPE, as this test does).
  const int reader = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  ASSERT_TRUE(log.start(path_));
  ::close(reader);
  auto old = std::signal(SIGPIPE, SIG_IGN);
  EXPECT_EQ(log.logNotification(poll, 0, kNoon), DataLog::Outcome::kWriteFailed);
  std::signal(SIGPIPE, old);
  EXPECT_FALSE(log.active());
}
