#include "master/headless/headless.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "common/archive.h"

using namespace zelmor;

namespace {
bool Parse(std::vector<std::string> args, HeadlessOptions* o, std::string* error) {
  return ParseHeadlessOptions(args, o, error);
}
}  // namespace

TEST(HeadlessOptions, TcpLinkAndPolls) {
  HeadlessOptions o;
  std::string error;
  ASSERT_TRUE(Parse({"--headless", "--tcp", "127.0.0.1:1502", "--poll", "7:4:100:20:250", "--poll", "1:1:0:2000",
                     "--format", "float-inverse", "--count", "3", "--delimiter", "tab", "--timeout", "300",
                     "--delay-between-polls", "0"},
                    &o, &error))
      << error;
  EXPECT_TRUE(o.haveLink);
  EXPECT_EQ(o.settings.port, kTcpPortChoice);
  EXPECT_EQ(o.settings.ipAddress, "127.0.0.1");
  EXPECT_EQ(o.settings.servicePort, 1502);
  EXPECT_EQ(o.settings.timeout, 300);
  EXPECT_EQ(o.settings.delayBetweenPolls, 0);
  ASSERT_EQ(o.polls.size(), 2u);
  EXPECT_EQ(o.polls[0].document.slaveId, 7);
  EXPECT_EQ(o.polls[0].document.function, 4);
  EXPECT_EQ(o.polls[0].document.address, 100);
  EXPECT_EQ(o.polls[0].document.length, 20);
  EXPECT_EQ(o.polls[0].document.scanRate, 250);
  EXPECT_EQ(o.polls[1].document.length, 2000);
  EXPECT_EQ(o.polls[1].document.scanRate, 1000);
  EXPECT_EQ(o.format, 5);
  EXPECT_EQ(o.count, 3);
  EXPECT_EQ(o.delimiter, 2);
}

TEST(HeadlessOptions, SerialLine) {
  HeadlessOptions o;
  std::string error;
  ASSERT_TRUE(Parse({"--serial", "/dev/pts/5", "--baud", "1200", "--parity", "none", "--data-bits", "7",
                     "--stop-bits", "2", "--ascii", "a.zmd", "b.zmw"},
                    &o, &error))
      << error;
  EXPECT_EQ(o.serialDevice, "/dev/pts/5");
  EXPECT_EQ(o.settings.port, 0);
  EXPECT_EQ(o.settings.baudIndex, 11);
  EXPECT_EQ(o.settings.parity, 0);
  EXPECT_EQ(o.settings.dataBits, 0);
  EXPECT_EQ(o.settings.stopBits, 1);
  EXPECT_EQ(o.settings.asciiMode, 1);
  EXPECT_EQ(o.files, (std::vector<std::string>{"a.zmd", "b.zmw"}));
}

TEST(HeadlessOptions, BadOptionsAreNamed) {
  struct Row {
    std::vector<std::string> args;
    const char* fragment;
  } rows[] = {
      {{"--poll", "1:3:0:128"}, "--poll length"},
      {{"--poll", "0:3:0:10"}, "--poll slave"},
      {{"--poll", "1:5:0:10"}, "--poll function"},
      {{"--poll", "1:3:65536:10"}, "--poll address"},
      {{"--poll", "1:3:0:10:19"}, "--poll scan rate"},
      {{"--poll", "1:3:0"}, "SLAVE:FUNCTION"},
      {{"--tcp", "127.0.0.1"}, "HOST:PORT"},
      {{"--tcp", "127.0.0.1:0"}, "HOST:PORT"},
      {{"--baud", "9601"}, "unsupported baud"},
      {{"--parity", "mark"}, "--parity"},
      {{"--format", "octal"}, "unknown display format"},
      {{"--delimiter", "semicolon"}, "--delimiter"},
      {{"--count", "0"}, "--count"},
      {{"--timeout", "49"}, "--timeout"},
      {{"--frobnicate"}, "unknown option"},
      {{"--tcp"}, "needs a value"},
  };
  for (const Row& row : rows) {
    HeadlessOptions o;
    std::string error;
    EXPECT_FALSE(Parse(row.args, &o, &error)) << row.args[0];
    EXPECT_NE(error.find(row.fragment), std::string::npos) << error;
  }
}

TEST(HeadlessOptions, RunRefusesWhatCannotWork) {
  EXPECT_EQ(RunHeadless({"--headless", "--bogus"}), kExitBadOption);
  EXPECT_EQ(RunHeadless({"--headless", "--poll", "1:3:0:10"}), kExitBadOption);   // no link
  EXPECT_EQ(RunHeadless({"--headless", "--tcp", "127.0.0.1:1502"}), kExitBadOption);  // nothing to poll
  EXPECT_EQ(RunHeadless({"--headless", "--tcp", "127.0.0.1:1502", "/nonexistent/x.zmd"}), kExitBadFile);
  std::vector<std::string> many{"--headless", "--tcp", "127.0.0.1:1502"};
  for (int i = 0; i < 33; ++i) {
    many.push_back("--poll");
    many.push_back("1:3:0:10");
  }
  EXPECT_EQ(RunHeadless(many), kExitNoResources);
  EXPECT_EQ(RunHeadless({"--headless", "--tcp", "1.2.3:502", "--poll", "1:3:0:10"}), kExitConnectFailed);

  // A document whose definition the scheduler would refuse is named, not polled.
  PollDocumentData bad;
  bad.function = 3;
  bad.length = 128;
  std::string path =
      (std::filesystem::temp_directory_path() / ("zelmor-bad-" + std::to_string(getpid()) + ".zmd")).string();
  std::string error;
  ASSERT_TRUE(archive::WriteFileAtomically(path, EncodePollDocument(bad), &error)) << error;
  EXPECT_EQ(RunHeadless({"--headless", "--tcp", "127.0.0.1:1502", path}), kExitBadFile);
  std::filesystem::remove(path);
}

// Files named by a workspace that are no documents (a device, a FIFO without a
// writer) or that carry a field out of range end the run at once, naming the entry.
TEST(HeadlessOptions, WorkspaceEntriesThatAreNoDocumentsAreNamed) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("zelmor-entries-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string fifo = (dir / "pipe.zmd").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  PollDocumentData far;
  far.address = 0x7FFFFFFF;
  const std::string farPath = (dir / "far.zmd").string();
  std::string error;
  ASSERT_TRUE(archive::WriteFileAtomically(farPath, EncodePollDocument(far), &error)) << error;

  struct Row {
    std::string entry;
    std::string line;
  } rows[] = {
      {"/dev/zero", "zelmor: /dev/zero: not a regular file\n"},
      {fifo, "zelmor: " + fifo + ": not a regular file\n"},
      {farPath, "zelmor: " + farPath + ": address 2147483647 is not 0..65535\n"},
  };
  for (const Row& row : rows) {
    WorkspaceData w;
    w.documents.push_back({{}, "entry", row.entry});
    const std::string ws = (dir / "w.zmw").string();
    ASSERT_TRUE(archive::WriteFileAtomically(ws, EncodeWorkspace(w), &error)) << error;
    const auto start = std::chrono::steady_clock::now();
    testing::internal::CaptureStderr();
    const int code = RunHeadless({"--headless", "--tcp", "127.0.0.1:1502", ws});
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(code, kExitBadFile) << row.entry;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << row.entry;
    EXPECT_NE(errors.find(row.line), std::string::npos) << errors;
  }
  // A document given directly is checked in the same place.
  testing::internal::CaptureStderr();
  EXPECT_EQ(RunHeadless({"--headless", "--tcp", "127.0.0.1:1502", farPath}), kExitBadFile);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("address 2147483647 is not 0..65535"), std::string::npos);
  std::filesystem::remove_all(dir);
}
