#include "common/recording.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>

#include "common/modbus_protocol.h"

using namespace recording;

namespace {

const std::string kHead = std::string(kHeader) + "\n";

bool Parse(const std::string& text, Recording* out, std::string* error) {
  return ParseRecording(text.data(), text.size(), out, error);
}

}  // namespace

TEST(Recording, FormattedRowsReadBackToEqualSamplesInBothAddressForms) {
  Recording written;
  written.samples = {
      {0, 1, modbus::FC_READ_HOLDING_REGISTERS, 0, {0x0001, 0x00FF, 0x4148, 0x0000}},
      {5, 0, modbus::FC_READ_COILS, 0, {1, 0, 0, 1, 1, 1, 0, 0}},
      {5, 255, modbus::FC_READ_DISCRETE_INPUTS, 65535, {1}},
      {1002, 17, modbus::FC_READ_INPUT_REGISTERS, 9998, {0xABCD, 0xffff}},
      // zelmor reads up to 127 registers in one poll, past the protocol's 125.
      {1003, 1, modbus::FC_READ_HOLDING_REGISTERS, 100, std::vector<std::uint16_t>(kMaxRecordedRegisters, 0x1234)},
  };
  std::string text = "\xEF\xBB\xBF" + kHead + "# comment\r\n\r\n";
  for (const Sample& s : written.samples) text += FormatSample("2026-12-08 11:30:00.125", s) + "\r\n";
  Recording read;
  std::string error;
  ASSERT_TRUE(Parse(text, &read, &error)) << error;
  EXPECT_EQ(read, written);
  // The protocol form of an address and lower-case hex read as the PLC form does.
  ASSERT_TRUE(Parse(kHead + "t,7,1,holding registers,9,2,abcd 0001\nt,7,1,holding registers,40010,1,0002", &read,
                    &error)) << error;
  ASSERT_EQ(read.samples.size(), 2u);
  EXPECT_EQ(read.samples[0].address, 9);
  EXPECT_EQ(read.samples[0].values, (std::vector<std::uint16_t>{0xABCD, 1}));
  EXPECT_EQ(read.samples[1].address, 9);
}

TEST(Recording, RefusesEveryBadRowWithItsLineAndColumnAndKeepsWhatWasThere) {
  const std::string good = "t,0,1,holding registers,400001,2,0001 0002\n";
  const struct {
    std::string text;
    std::string error;
  } cases[] = {
      {"", "line 1, column 1 (time): the recording has no header row"},
      {"time,elapsed ms,unit,table,address,count\n", "line 1, column 1 (time): the first row must be the header"},
      {kHead + good + "t,5,1,coils,000001,1\n", "line 3, column 7 (values): 6 columns, a row has 7"},
      {kHead + "t,0,1,coils,000001,1,1,1\n", "line 2, column 7 (values): 8 columns"},
      {kHead + "t,10,1,coils,000001,1,1\nt,9,1,coils,000001,1,1\n",
       "line 3, column 2 (elapsed ms): the time goes back (10 ms on the row before)"},
      {kHead + "t,-1,1,coils,000001,1,1\n", "line 2, column 2 (elapsed ms): \"-1\" is not a time"},
      {kHead + "t,99999999999999999999,1,coils,000001,1,1\n", "column 2 (elapsed ms)"},
      {kHead + "t,0,256,coils,000001,1,1\n", "line 2, column 3 (unit): \"256\" is not a unit (0..255)"},
      {kHead + "t,0,1,Coils,000001,1,1\n", "line 2, column 4 (table): unknown table \"Coils\""},
      {kHead + "t,0,1,coils,400001,1,1\n", "line 2, column 5 (address): address 400001 is outside the coils"},
      {kHead + "t,0,1,coils,0x10,1,1\n", "line 2, column 5 (address): \"0x10\" is not an address"},
      {kHead + "t,0,1,holding registers,465537,1,0000\n", "column 5 (address): PLC address 465537 is outside"},
      {kHead + "t,0,1,holding registers,400001,0,\n", "line 2, column 6 (count): \"0\" is not a count (1..127)"},
      {kHead + "t,0,1,holding registers,400001,128,0000\n", "column 6 (count): \"128\" is not a count (1..127)"},
      {kHead + "t,0,1,coils,000001,2001,1\n", "column 6 (count): \"2001\" is not a count (1..2000)"},
      {kHead + "t,0,1,holding registers,465536,2,0000 0000\n", "column 6 (count): 2 items from 465536 end outside"},
      {kHead + "t,0,1,holding registers,400001,2,0001\n", "line 2, column 7 (values): 2 values expected, the row has 1"},
      {kHead + "t,0,1,holding registers,400001,1,0001 0002\n", "column 7 (values): 1 values expected, the row has more"},
      {kHead + "t,0,1,holding registers,400001,2,0001  0002\n", "column 7 (values): \"\" is not a register"},
      {kHead + "t,0,1,holding registers,400001,1,001\n", "column 7 (values): \"001\" is not a register"},
      {kHead + "t,0,1,holding registers,400001,1,00G1\n", "column 7 (values): \"00G1\" is not a register"},
      {kHead + "t,0,1,holding registers,400001,1,44444444444444444444444444444\n",
       "column 7 (values): \"444444444444444444444444...\" is not a register"},
      {kHead + "t,0,1,coils,000001,1,2\n", "line 2, column 7 (values): \"2\" is not a bit (0 or 1)"},
      {kHead + "t,0,1,coils,000001,1,\x01\n", "column 7 (values): \"?\" is not a bit"},
  };
  for (const auto& c : cases) {
    Recording kept;
    kept.samples.resize(1);
    std::string error;
    EXPECT_FALSE(Parse(c.text, &kept, &error)) << c.text;
    EXPECT_NE(error.find(c.error), std::string::npos) << c.text << "\n  gave: " << error;
    EXPECT_EQ(kept.samples.size(), 1u) << c.text;
  }
}

TEST(Recording, LoadsRegularFilesOnlyAndNamesTheLineOfAFault) {
  char dir[] = "/tmp/recording_testXXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/device.csv";
  std::ofstream(path) << kHead << "t,0,3,input registers,300002,1,1234\n";
  Recording read;
  std::string error;
  ASSERT_TRUE(LoadRecording(path, &read, &error)) << error;
  ASSERT_EQ(read.samples.size(), 1u);
  EXPECT_EQ(read.samples[0].address, 1);
  EXPECT_FALSE(LoadRecording(dir, &read, &error));
  EXPECT_EQ(error, "not a regular file");
  std::ofstream(path) << kHead << "t,0,3,input registers,300002,1,12345\n";
  EXPECT_FALSE(LoadRecording(path, &read, &error));
  EXPECT_EQ(error, "line 2, column 7 (values): \"12345\" is not a register (four hex digits)");
  EXPECT_EQ(read.samples.size(), 1u);
  ::unlink(path.c_str());
  ::rmdir(dir);
}
