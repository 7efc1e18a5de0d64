#include "common/archive.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <algorithm>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/common/file_size_limit.h"

namespace {

TEST(ArchiveWriter, IntegersAreLittleEndian) {
  archive::Writer w;
  w.int32(3500);
  w.int32(-10);
  w.uint16(0x1234);
  EXPECT_EQ(w.bytes(), (std::vector<std::uint8_t>{0xAC, 0x0D, 0, 0, 0xF6, 0xFF, 0xFF, 0xFF, 0x34, 0x12}));
}

TEST(ArchiveStrings, LengthPrefixForms) {
  // Short, 16-bit and 32-bit length forms, each read back unchanged.
  for (std::size_t n : {std::size_t{0}, std::size_t{11}, std::size_t{254}, std::size_t{255}, std::size_t{0xFFFD},
                        std::size_t{0xFFFE}, std::size_t{70000}}) {
    std::string text(n, 'x');
    archive::Writer w;
    w.prefixedString(text);
    std::size_t header = n < 0xFF ? 1 : (n < 0xFFFE ? 3 : 7);
    ASSERT_EQ(w.bytes().size(), header + n) << n;
    if (n >= 0xFF) {
      EXPECT_EQ(w.bytes()[0], 0xFF);
    }
    archive::Reader r(w.bytes());
    EXPECT_EQ(r.prefixedString(), text);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.remaining(), 0u);
  }
}

TEST(ArchiveStrings, CourierNewImage) {
  archive::Writer w;
  w.prefixedString("Courier New");
  std::vector<std::uint8_t> expected{11, 'C', 'o', 'u', 'r', 'i', 'e', 'r', ' ', 'N', 'e', 'w'};
  EXPECT_EQ(w.bytes(), expected);
}

TEST(ArchiveStrings, FixedFieldTruncatesAndTerminates) {
  archive::Writer w;
  w.fixedString("0123456789ABCDEFGHIJK", 20);
  ASSERT_EQ(w.bytes().size(), 20u);
  EXPECT_EQ(w.bytes()[19], 0);
  archive::Reader r(w.bytes());
  EXPECT_EQ(r.fixedString(20), "0123456789ABCDEFGHI");
}

TEST(ArchiveReader, ShortReadsFailAndStayFailed) {
  std::vector<std::uint8_t> bytes{1, 2, 3};
  archive::Reader r(bytes);
  EXPECT_EQ(r.int32(), 0);
  EXPECT_FALSE(r.ok());
  EXPECT_EQ(r.byte(), 0);  // no read after a failure, even where bytes remain
  EXPECT_FALSE(r.ok());
}

TEST(ArchiveReader, StringLongerThanDataFails) {
  std::vector<std::uint8_t> bytes{200, 'a', 'b'};
  archive::Reader r(bytes);
  EXPECT_EQ(r.prefixedString(), "");
  EXPECT_FALSE(r.ok());
}

TEST(ArchiveRecords, PlacementAndFontRoundTrip) {
  archive::WindowPlacement p;
  p.flags = 0;
  p.showCommand = archive::kShowMaximized;
  p.left = 10;
  p.top = 20;
  p.right = 610;
  p.bottom = 420;
  archive::LogFont f;
  f.height = -10;
  f.weight = 400;
  f.outPrecision = 4;
  f.quality = 2;
  f.pitchAndFamily = 0x21;
  archive::Writer w;
  w.placement(p);
  w.logFontMetrics(f);
  ASSERT_EQ(w.bytes().size(), std::size_t(archive::kPlacementSize + archive::kLogFontMetricsSize));
  EXPECT_EQ(w.bytes()[0], 44);  // the record starts with its own length
  archive::Reader r(w.bytes());
  EXPECT_EQ(r.placement(), p);
  archive::LogFont back;
  r.logFontMetrics(&back);
  EXPECT_EQ(back, f);
  EXPECT_TRUE(r.ok());
}

// Writes with the process's file size limit lowered, as a full disk would stop it.
bool WriteWithFileSizeLimit(const std::string& path, const std::vector<std::uint8_t>& bytes, rlim_t limit,
                            std::string* error) {
  FileSizeLimit small(limit);
  return archive::WriteFileAtomically(path, bytes, error);
}

class ArchiveFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("archive_test_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    ::chmod(dir_.c_str(), 0755);
    std::filesystem::remove_all(dir_);
  }
  std::filesystem::path dir_;
};

TEST_F(ArchiveFiles, AtomicWriteReplacesAndReadsBack) {
  std::string path = (dir_ / "doc.zmd").string();
  std::string error;
  ASSERT_TRUE(archive::WriteFileAtomically(path, {1, 2, 3}, &error)) << error;
  ASSERT_TRUE(archive::WriteFileAtomically(path, {4, 5}, &error)) << error;
  std::vector<std::uint8_t> bytes;
  ASSERT_TRUE(archive::ReadFile(path, &bytes, &error));
  EXPECT_EQ(bytes, (std::vector<std::uint8_t>{4, 5}));
  EXPECT_FALSE(std::filesystem::exists(path + ".saving~"));
}

TEST_F(ArchiveFiles, FailedWriteKeepsPreviousFile) {
  if (::geteuid() == 0) {
    // root ignores directory permissions; let the disk fill up after one byte instead
    std::string path = (dir_ / "keep.zmd").string();
    std::string error;
    ASSERT_TRUE(archive::WriteFileAtomically(path, {9, 9}, &error));
    EXPECT_FALSE(WriteWithFileSizeLimit(path, {1, 2, 3}, 1, &error));
    EXPECT_FALSE(error.empty());
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(archive::ReadFile(path, &bytes, &error));
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{9, 9}));
    return;
  }
  std::string path = (dir_ / "keep.zmd").string();
  std::string error;
  ASSERT_TRUE(archive::WriteFileAtomically(path, {9, 9}, &error));
  ::chmod(dir_.c_str(), 0555);
  EXPECT_FALSE(archive::WriteFileAtomically(path, {1}, &error));
  std::vector<std::uint8_t> bytes;
  ASSERT_TRUE(archive::ReadFile(path, &bytes, &error));
  EXPECT_EQ(bytes, (std::vector<std::uint8_t>{9, 9}));
}

TEST_F(ArchiveFiles, MissingFileReportsSystemText) {
  std::vector<std::uint8_t> bytes;
  std::string error;
  EXPECT_FALSE(archive::ReadFile((dir_ / "none").string(), &bytes, &error));
  EXPECT_EQ(error, "No such file or directory");
}

// Everything in the folder but the named files: a save must leave no temporary.
std::vector<std::string> Leftovers(const std::filesystem::path& dir, std::vector<std::string> expected) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::string name = entry.path().filename().string();
    if (std::find(expected.begin(), expected.end(), name) == expected.end()) names.push_back(name);
  }
  return names;
}

TEST_F(ArchiveFiles, SaveNeverFollowsALinkAtTheOldTemporaryName) {
  std::string path = (dir_ / "doc.zmd").string();
  std::string victim = (dir_ / "victim").string();
  std::string error;
  ASSERT_TRUE(archive::WriteFileAtomically(victim, {7, 7, 7}, &error)) << error;
  std::filesystem::create_symlink(victim, path + ".saving~");
  ASSERT_TRUE(archive::WriteFileAtomically(path, {1, 2}, &error)) << error;
  std::vector<std::uint8_t> bytes;
  ASSERT_TRUE(archive::ReadFile(victim, &bytes, &error));
  EXPECT_EQ(bytes, (std::vector<std::uint8_t>{7, 7, 7}));
  EXPECT_TRUE(std::filesystem::is_symlink(path + ".saving~"));
  EXPECT_EQ(std::filesystem::read_symlink(path + ".saving~").string(), victim);
  ASSERT_TRUE(archive::ReadFile(path, &bytes, &error));
  EXPECT_EQ(bytes, (std::vector<std::uint8_t>{1, 2}));
  EXPECT_EQ(Leftovers(dir_, {"doc.zmd", "victim", "doc.zmd.saving~"}), std::vector<std::string>{});
}

TEST_F(ArchiveFiles, SaveKeepsTheModeAndAFailedSaveLeavesNoTemporary) {
  std::string path = (dir_ / "private.zmd").string();
  std::string error;
  ASSERT_TRUE(archive::WriteFileAtomically(path, {1}, &error)) << error;
  ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
  ASSERT_TRUE(archive::WriteFileAtomically(path, {2, 2}, &error)) << error;
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u);

  // A new file gets 0666 less the umask.
  const mode_t mask = ::umask(022);
  ASSERT_TRUE(archive::WriteFileAtomically((dir_ / "new.zmd").string(), {3}, &error)) << error;
  ::umask(mask);
  ASSERT_EQ(::stat((dir_ / "new.zmd").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0644u);

  EXPECT_FALSE(WriteWithFileSizeLimit(path, std::vector<std::uint8_t>(64, 9), 16, &error));
  EXPECT_EQ(error, "File too large");
  std::vector<std::uint8_t> bytes;
  ASSERT_TRUE(archive::ReadFile(path, &bytes, &error));
  EXPECT_EQ(bytes, (std::vector<std::uint8_t>{2, 2}));
  EXPECT_EQ(Leftovers(dir_, {"private.zmd", "new.zmd"}), std::vector<std::string>{});
}

TEST_F(ArchiveFiles, ReadTakesOnlyRegularFilesWithinTheLimit) {
  std::vector<std::uint8_t> bytes;
  std::string error;
  EXPECT_FALSE(archive::ReadFile("/dev/zero", &bytes, &error));
  EXPECT_EQ(error, archive::kNotRegularFileText);
  EXPECT_TRUE(bytes.empty());
  EXPECT_FALSE(archive::ReadFile(dir_.string(), &bytes, &error));
  EXPECT_EQ(error, archive::kNotRegularFileText);
  // A FIFO without a writer is refused at once instead of blocking the reader.
  std::string fifo = (dir_ / "pipe.zmd").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(archive::ReadFile(fifo, &bytes, &error));
  EXPECT_EQ(error, archive::kNotRegularFileText);

  std::string path = (dir_ / "big.zmd").string();
  ASSERT_TRUE(archive::WriteFileAtomically(path, std::vector<std::uint8_t>(101, 1), &error));
  EXPECT_FALSE(archive::ReadFile(path, &bytes, &error, 100));
  EXPECT_EQ(error, archive::kFileTooLargeText);
  EXPECT_TRUE(bytes.empty());
  ASSERT_TRUE(archive::ReadFile(path, &bytes, &error, 101));
  EXPECT_EQ(bytes.size(), 101u);
}

}  // namespace
