// The recorder's file: header, rows of good reads only, and the end of a
// recording whose file cannot take a row (a full device, a file-size limit).
#include "master/core/device_recording.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <sys/resource.h>
#include <unistd.h>

#include "common/modbus_protocol.h"
#include "common/recording.h"

using zelmor::DeviceRecording;

namespace {

class DeviceRecordingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/device_recording_testXXXXXX";
    const int fd = mkstemp(pattern);
    ASSERT_GE(fd, 0);
    ::close(fd);
    path_ = pattern;
  }
  void TearDown() override { ::unlink(path_.c_str()); }
  std::string content() const {
    std::ifstream in(path_);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::string path_;
};

TEST_F(DeviceRecordingTest, HeaderThenOneRowPerGoodRead) {
  std::ofstream(path_) << "older content that the recording replaces\n";
  DeviceRecording recording;
  std::string error;
  ASSERT_TRUE(recording.start(path_, &error)) << error;
  const std::uint16_t words[] = {0xC03F, 0x0000, 0x1234};
  const std::uint16_t bits[] = {1, 0, 1};
  EXPECT_EQ(recording.record(0, 7, modbus::FC_READ_HOLDING_REGISTERS, 0, words, 3), DeviceRecording::Outcome::kWritten);
  // A failed read leaves no row: the replay keeps the last good values.
  EXPECT_EQ(recording.record(1, 7, modbus::FC_READ_HOLDING_REGISTERS, 0, words, 3),
            DeviceRecording::Outcome::kNotRecorded);
  EXPECT_EQ(recording.record(0, 7, modbus::FC_READ_COILS, 16, bits, 3), DeviceRecording::Outcome::kWritten);
  EXPECT_EQ(recording.rows(), 2u);
  // Every row is in the file before the recording ends.
  const std::string text = content();
  recording.stop();
  EXPECT_EQ(text, content());
  const std::regex layout(std::string(recording::kHeader) +
                          "\n\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3},\\d+,7,holding registers,400001,3,"
                          "C03F 0000 1234\n"
                          "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3},\\d+,7,coils,000017,3,1 0 1\n");
  EXPECT_TRUE(std::regex_match(text, layout)) << text;
  EXPECT_EQ(recording.record(0, 7, modbus::FC_READ_COILS, 16, bits, 3), DeviceRecording::Outcome::kNotRecorded);
}

TEST_F(DeviceRecordingTest, AFileThatTakesNoMoreEndsTheRecording) {
  // A full device refuses the header: the start fails and says why.
  DeviceRecording full;
  std::string error;
  EXPECT_FALSE(full.start("/dev/full", &error));
  EXPECT_FALSE(full.active());
  EXPECT_EQ(error, "No space left on device");
  EXPECT_FALSE(DeviceRecording().start("/no/such/folder/recording.csv", &error));
  EXPECT_EQ(error, "No such file or directory");

  // A file-size limit just above the header: the header goes in, the first
  // row does not, and the recording ends there instead of going on silently.
  DeviceRecording recording;
  ASSERT_TRUE(recording.start(path_, &error)) << error;
  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  const auto ignoreFileSize = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = std::string(recording::kHeader).size() + 10;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const std::uint16_t words[] = {1, 2, 3, 4, 5, 6, 7, 8};
  const auto outcome = recording.record(0, 1, modbus::FC_READ_INPUT_REGISTERS, 0, words, 8);
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, ignoreFileSize);
  EXPECT_EQ(outcome, DeviceRecording::Outcome::kWriteFailed);
  EXPECT_FALSE(recording.active());
  EXPECT_EQ(recording.rows(), 0u);
  EXPECT_EQ(recording.record(0, 1, modbus::FC_READ_INPUT_REGISTERS, 0, words, 8),
            DeviceRecording::Outcome::kNotRecorded);
}

}  // namespace
