// The value lists of the multiple writes: their lines in every display format
// (expected texts worked out from the printf rules by hand), and ".mod" files
// against hand-made byte images, short and foreign files, a full disk and a
// save that fails half way.
#include "master/core/value_list.h"
#include "master/core/test_center.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace zelmor;
using Lines = std::vector<std::string>;

namespace {

constexpr int kSigned = 0, kUnsigned = 1, kHex = 2, kBinary = 3, kFloat = 4, kFloatInverse = 5, kDouble = 6,
              kLongInverse = 9;

std::vector<std::uint8_t> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  const std::string text = s.str();
  return {text.begin(), text.end()};
}

class ValueFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/zelmor-mod-XXXXXX";
    dir_ = ::mkdtemp(name);
  }
  void TearDown() override { std::system(("rm -rf " + dir_).c_str()); }
  std::string path(const char* name) const { return dir_ + "/" + name; }
  std::string dir_;
};

}  // namespace

TEST(ValueListLines, SixteenBitFormats) {
  RegisterValues v;
  v.setWord(0, 1);
  v.setWord(1, 0xFFFF);
  v.setWord(2, 2);
  // PLC address 101, three registers: the numbers are the addresses as entered.
  EXPECT_EQ(ValueListLines(v, kSigned, 101, 3), (Lines{"101 = 1", "102 = -1", "103 = 2"}));
  EXPECT_EQ(ValueListLines(v, kUnsigned, 0, 2), (Lines{"000 = 1", "001 = 65535"}));
  v.setWord(0, 0xab);
  EXPECT_EQ(ValueListLines(v, kHex, 7, 1), (Lines{"007 = 0x00AB"}));
  v.setWord(0, 0x00FF);
  v.setWord(1, 0x8001);
  EXPECT_EQ(ValueListLines(v, kBinary, 1000, 2),
            (Lines{"1000 = 0000 0000 1111 1111 ", "1001 = 1000 0000 0000 0001 "}));
}

TEST(ValueListLines, OneLinePerWholeValueAndTheWideNumberSwitch) {
  RegisterValues v;
  v.setFloat(0, 1e20f);
  v.setFloat(1, 2.5f);
  v.setFloat(2, -0.125f);
  // Size 5: two whole floats, numbered address and address + 2; the fifth register gets no line.
  // 1e20 does not fit "%1.4f" in 23 characters, so it is shown with "%15.8G"; the next line is the next float.
  EXPECT_EQ(ValueListLines(v, kFloat, 10, 5), (Lines{"010 =           1E+20", "012 = 2.5000"}));
  EXPECT_EQ(ValueListLines(v, kFloatInverse, 10, 6).back(), "014 = -0.1250");
  EXPECT_TRUE(ValueListLines(v, kFloat, 10, 1).empty());
  // The switch happens at 24 characters: 23 keeps the fixed form.
  v.setFloat(0, 123456789012.0f);  // stored as 123456790528
  v.setFloat(1, 1234567890123.0f);  // stored as 1234567954432
  EXPECT_EQ(ValueListLines(v, kFloat, 0, 4), (Lines{"000 = 123456790528.0000", "002 =    1.234568E+12"}));

  v.setDouble(0, 1234567890.25);
  v.setDouble(1, 12345678901.0);
  EXPECT_EQ(ValueListLines(v, kDouble, 0, 11), (Lines{"000 = 1234567890.250000", "004 =    1.23456789E+10"}));

  v.setLong(0, -5);
  v.setLong(1, 2147483647);
  EXPECT_EQ(ValueListLines(v, kLongInverse, 1, 5), (Lines{"001 = -5", "003 = 2147483647"}));
  // A size beyond the 128 stored registers lists only what is stored.
  EXPECT_EQ(ValueListLines(RegisterValues{}, kSigned, 0, 500).size(), 128u);
}

TEST_F(ValueFileTest, FilesMatchHandMadeImagesAndRoundTrip) {
  RegisterValues v;
  v.setFloat(0, 1.5f);    // 3FC00000, least significant byte first
  v.setWord(127, 0x1234);  // the last register: the whole storage is written
  std::vector<std::uint8_t> image = {2, 0, 0, 0, 0x00, 0x00, 0xC0, 0x3F};
  image.resize(4 + 256, 0);
  image[4 + 254] = 0x34;
  image[4 + 255] = 0x12;
  ASSERT_EQ(WriteValueListFile(path("floats.mod"), 2, v.data(), kRegisterListBytes), ValueFileResult::kOk);
  EXPECT_EQ(FileBytes(path("floats.mod")), image);

  RegisterValues loaded;
  ASSERT_EQ(ReadValueListFile(path("floats.mod"), 2, loaded.data(), kRegisterListBytes), ValueFileResult::kOk);
  EXPECT_EQ(loaded, v);
  EXPECT_EQ(loaded.floatValue(0), 1.5f);

  // A coil file: tag 0, then 2000 bytes of 0 and 1.
  std::array<std::uint8_t, kCoilListSize> coils{};
  coils[0] = 1;
  coils[1999] = 1;
  ASSERT_EQ(WriteValueListFile(path("coils.mod"), kCoilListTag, coils.data(), kCoilListSize), ValueFileResult::kOk);
  std::vector<std::uint8_t> coilImage(4 + 2000, 0);
  coilImage[4] = 1;
  coilImage[4 + 1999] = 1;
  EXPECT_EQ(FileBytes(path("coils.mod")), coilImage);
}

TEST_F(ValueFileTest, ForeignShortAndMissingFiles) {
  RegisterValues v;
  v.setWord(0, 0x1111);
  v.setWord(5, 0x5555);
  const RegisterValues before = v;
  ASSERT_EQ(WriteValueListFile(path("coils.mod"), kCoilListTag, std::array<std::uint8_t, 2000>{}.data(), 2000),
            ValueFileResult::kOk);
  // Another tag (a coil file in a register list, a float file in a long list) changes nothing.
  EXPECT_EQ(ReadValueListFile(path("coils.mod"), 1, v.data(), kRegisterListBytes), ValueFileResult::kWrongType);
  ASSERT_EQ(WriteValueListFile(path("floats.mod"), DataTypeTagForFormat(kFloat), v.data(), 256), ValueFileResult::kOk);
  EXPECT_EQ(ReadValueListFile(path("floats.mod"), DataTypeTagForFormat(8), v.data(), 256), ValueFileResult::kWrongType);
  EXPECT_EQ(ReadValueListFile(path("floats.mod"), DataTypeTagForFormat(kFloatInverse), v.data(), 256),
            ValueFileResult::kOk);
  EXPECT_EQ(v, before);
  // A short file replaces what it holds and leaves the rest; one shorter than its tag is foreign.
  const std::vector<std::uint8_t> shortImage = {1, 0, 0, 0, 0xAA, 0xBB, 0xCC};
  EXPECT_EQ(DecodeValueList(shortImage, 1, v.data(), 256), ValueFileResult::kOk);
  EXPECT_EQ(v.word(0), 0xBBAA);
  EXPECT_EQ(v.data()[2], 0xCC);
  EXPECT_EQ(v.data()[3], 0x00);
  EXPECT_EQ(v.word(5), 0x5555);
  EXPECT_EQ(DecodeValueList({1, 0}, 1, v.data(), 256), ValueFileResult::kWrongType);

  EXPECT_EQ(ReadValueListFile(path("missing.mod"), 1, v.data(), 256), ValueFileResult::kOpenError);
  EXPECT_EQ(ReadValueListFile(dir_, 1, v.data(), 256), ValueFileResult::kOpenError);
  EXPECT_EQ(WriteValueListFile(path("no/such/dir.mod"), 1, v.data(), 256), ValueFileResult::kOpenError);
  EXPECT_EQ(WriteValueListFile("/dev/full", 1, v.data(), 256), ValueFileResult::kWriteError);
  EXPECT_EQ(FileTitle("/home/op/lists/pump.station.mod"), "pump.station");
  EXPECT_EQ(FileTitle("data"), "data");
}

TEST_F(ValueFileTest, AFailedSaveKeepsThePreviousList) {
  RegisterValues old;
  old.setWord(0, 0x0102);
  ASSERT_EQ(WriteValueListFile(path("list.mod"), 1, old.data(), 256), ValueFileResult::kOk);
  const std::vector<std::uint8_t> previous = FileBytes(path("list.mod"));
  // The disk fills up after 100 bytes of the new file.
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 100;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  RegisterValues fresh;
  fresh.setWord(0, 0xFFFF);
  const ValueFileResult result = WriteValueListFile(path("list.mod"), 1, fresh.data(), 256);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  EXPECT_EQ(result, ValueFileResult::kWriteError);
  EXPECT_EQ(FileBytes(path("list.mod")), previous);
  EXPECT_NE(::access(path("list.mod.saving~").c_str(), F_OK), 0);  // no temporary file left behind
}

// The list readers go through the archive's one file check: a FIFO without a
// writer, /dev/zero or a file past the size limit is an open error at once (a
// FIFO used to hang the dialog, /dev/zero loaded as a list of zeros), while a
// list with bytes after its payload still loads as before.
TEST_F(ValueFileTest, OnlyRegularFilesOfListSizeAreRead) {
  RegisterValues v;
  const std::string fifo = path("pipe.mod");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(ReadValueListFile(fifo, kCoilListTag, v.data(), 256), ValueFileResult::kOpenError);
  EXPECT_EQ(ReadValueListFile("/dev/zero", kCoilListTag, v.data(), 256), ValueFileResult::kOpenError);
  {
    std::ofstream big(path("big.mod"), std::ios::binary);
    big << std::string(kMaxValueListFileSize + 1, '\0');
  }
  EXPECT_EQ(ReadValueListFile(path("big.mod"), kCoilListTag, v.data(), 256), ValueFileResult::kOpenError);
  {
    std::ofstream tail(path("tail.mod"), std::ios::binary);
    tail << std::string("\1\0\0\0\x34\x12", 6) << std::string(3000, 'x');
  }
  EXPECT_EQ(ReadValueListFile(path("tail.mod"), 1, v.data(), 256), ValueFileResult::kOk);
  EXPECT_EQ(v.word(0), 0x1234);

  std::vector<std::string> entries;
  EXPECT_EQ(ReadTestCenterFile(fifo, &entries), ListFileResult::kOpenError);
  EXPECT_EQ(ReadTestCenterFile("/dev/zero", &entries), ListFileResult::kOpenError);
  {
    std::ofstream list(path("list.txt"), std::ios::binary);
    list << "TestCenter\r\n01 03\r\n";
  }
  EXPECT_EQ(ReadTestCenterFile(path("list.txt"), &entries), ListFileResult::kOk);
  EXPECT_EQ(entries, std::vector<std::string>{"01 03"});
}
