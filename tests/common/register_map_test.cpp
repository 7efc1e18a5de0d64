#include "common/register_map.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "common/modbus_protocol.h"

using namespace regmap;

namespace {

bool Parse(const std::string& text, RegisterMap* map, std::string* error) {
  return ParseRegisterMap(text.data(), text.size(), map, error);
}

std::string Error(const std::string& text) {
  RegisterMap map;
  map.entries.resize(1);  // a bad map leaves what was there
  std::string error;
  EXPECT_FALSE(Parse(text, &map, &error)) << text;
  EXPECT_EQ(map.entries.size(), 1u);
  return error;
}

const std::string kHeader = "table,address,type,order,name,unit,scale,value\n";

}  // namespace

TEST(RegisterMap, ReadsBothAddressFormsTypesOrdersAndQuotedTexts) {
  RegisterMap map;
  std::string error;
  ASSERT_TRUE(Parse(kHeader +
                        "holding registers,40001,float32,CDAB,\"Tank, level\",m,1,2.5\r\n"
                        "# a comment\n"
                        "\n"
                        "Holding Registers,400010,uint32,dcba,Counter,,1,4294967295\n"
                        "input registers,7,int16,,\"Temp \"\"A\"\"\",degC,0.1,-12.5\n"
                        "coils,00001,bit,,Pump,,,1\n"
                        "discrete inputs,65535,bit,,Alarm,,,\n"
                        "holding registers,2,float64,BADC,,,,\n",
                    &map, &error))
      << error;
  ASSERT_EQ(map.entries.size(), 6u);
  const Entry& tank = map.entries[0];
  EXPECT_EQ(tank.table, modbus::FC_READ_HOLDING_REGISTERS);
  EXPECT_EQ(tank.address, 0);
  EXPECT_EQ(tank.order, wordorder::Order::kCDAB);
  EXPECT_EQ(tank.name, "Tank, level");
  EXPECT_EQ(tank.line, 2);
  EXPECT_EQ(map.entries[1].address, 9);
  EXPECT_EQ(map.entries[1].order, wordorder::Order::kDCBA);
  EXPECT_EQ(map.entries[2].name, "Temp \"A\"");
  EXPECT_EQ(map.entries[2].address, 7);  // protocol form
  EXPECT_EQ(map.entries[3].table, modbus::FC_READ_COILS);
  EXPECT_EQ(map.entries[3].address, 0);
  EXPECT_EQ(map.entries[4].address, 65535);
  EXPECT_FALSE(map.entries[4].hasValue);
  EXPECT_EQ(map.entries[5].order, wordorder::Order::kBADC);

  // Written and read again: the same map.
  RegisterMap again;
  ASSERT_TRUE(Parse(FormatRegisterMap(map), &again, &error)) << error << FormatRegisterMap(map);
  ASSERT_EQ(again.entries.size(), map.entries.size());
  for (std::size_t k = 0; k < map.entries.size(); ++k) EXPECT_EQ(again.entries[k], map.entries[k]) << k;
}

TEST(RegisterMap, ValuesBecomeRegistersInEveryOrderAndBack) {
  Entry e;
  e.type = Type::kFloat32;
  std::uint16_t r[4];
  std::string why;
  const struct {
    wordorder::Order order;
    std::uint16_t first, second;
  } floats[] = {{wordorder::Order::kABCD, 0x3FC0, 0x0000},
                {wordorder::Order::kCDAB, 0x0000, 0x3FC0},
                {wordorder::Order::kBADC, 0xC03F, 0x0000},
                {wordorder::Order::kDCBA, 0x0000, 0xC03F}};
  for (const auto& f : floats) {
    e.order = f.order;
    ASSERT_TRUE(EncodeValue(e, 1.5, r, &why));
    EXPECT_EQ(r[0], f.first);
    EXPECT_EQ(r[1], f.second);
    EXPECT_EQ(DecodeValue(e, r), 1.5);
  }
  e.type = Type::kInt16;
  e.order = wordorder::Order::kABCD;
  e.scale = 0.1;
  ASSERT_TRUE(EncodeValue(e, -12.5, r, &why));
  EXPECT_EQ(r[0], static_cast<std::uint16_t>(-125));
  EXPECT_DOUBLE_EQ(DecodeValue(e, r), -12.5);
  e.scale = 1;
  e.type = Type::kUInt16;
  EXPECT_FALSE(EncodeValue(e, 65536, r, &why));
  EXPECT_EQ(why, "65536 is outside uint16 (0..65535)");
}

TEST(RegisterMap, BadMapsNameLineAndColumnAndLeaveTheMapAlone) {
  EXPECT_EQ(Error(kHeader + "holding registers,1,int16,,a,,,\nholding registers,2,int24,,b,,,\n"),
            "line 3, column 3 (type): unknown type \"int24\" (bit, int16, uint16, int32, uint32, float32, float64)");
  EXPECT_EQ(Error(kHeader + "holding registers,65535,int32,,a,,,\n"),
            "line 2, column 2 (address): a int32 at 65535 ends outside the holding registers");
  EXPECT_EQ(Error(kHeader + "coils,65536,bit,,a,,,\n"),
            "line 2, column 2 (address): address 65536 is outside the coils");
  EXPECT_EQ(Error(kHeader + "holding registers,40000,int16,,a,,,\n"),
            "line 2, column 2 (address): PLC address 40000 is outside the holding registers");
  EXPECT_EQ(Error(kHeader + "holding registers,1,uint16,,a,,,70000\n"),
            "line 2, column 8 (value): 70000 is outside uint16 (0..65535)");
  EXPECT_EQ(Error(kHeader + "holding registers,1,int16,,a,,\n"),
            "line 2, column 8 (value): 7 columns, a row has 8");
  EXPECT_EQ(Error(kHeader + "holding registers,1,int16,,a,,,,\n"),
            "line 2, column 9: 9 columns, a row has 8");
  EXPECT_EQ(Error(kHeader + "coils,1,int16,,a,,,\n"), "line 2, column 3 (type): type int16 does not fit the coils");
  EXPECT_EQ(Error(kHeader + "holding registers,1,int16,ABDC,a,,,\n"),
            "line 2, column 4 (order): unknown order \"ABDC\" (ABCD, CDAB, BADC, DCBA)");
  EXPECT_EQ(Error(kHeader + "holding registers,1,int16,,\"a,,,\n"),
            "line 2, column 5 (name): the quote is not closed on this line");
  EXPECT_EQ(Error(kHeader + "holding registers,0,float32,,a,,,\nholding registers,1,int16,,b,,,\n"),
            "line 3, column 2 (address): overlaps the entry of line 2");
  EXPECT_EQ(Error(kHeader + "holding registers,1,int16,,a,,0,\n"),
            "line 2, column 7 (scale): \"0\" is not a scale (a number other than 0)");
  EXPECT_EQ(Error("address,table,type,order,name,unit,scale,value\n"),
            "line 1, column 1 (table): the first row must be the header table,address,type,order,name,unit,scale,value");
  EXPECT_EQ(Error(""), "line 1, column 1 (table): the map has no header row");
}

// A message quotes what the file holds, but never a terminal's escape sequence.
TEST(RegisterMap, MessagesShowControlCharactersOfAFieldAsQuestionMarks) {
  EXPECT_EQ(Error(kHeader + "holding\x1b[2J,1,int16,,a,,,\n"),
            "line 2, column 1 (table): unknown table \"holding?[2J\" (coils, discrete inputs, input registers, "
            "holding registers)");
  EXPECT_EQ(Error(kHeader + "holding registers,1,int16,,a,,,1\x07\n"),
            "line 2, column 8 (value): \"1?\" is not a number");
  EXPECT_EQ(Error(kHeader + "holding registers,1\x1b,int16,,a,,,\n"),
            "line 2, column 2 (address): \"1?\" is not an address");
}

TEST(RegisterMap, AHundredMegabyteFileIsRefusedUnread) {
  const std::string path = ::testing::TempDir() + "register_map_huge.csv";
  {
    std::ofstream out(path, std::ios::binary);
    out << kHeader;
    out.seekp(100l * 1024 * 1024);
    out << '\n';
  }
  RegisterMap map;
  std::string error;
  EXPECT_FALSE(LoadRegisterMap(path, &map, &error));
  EXPECT_EQ(error, "line 1, column 1 (table): the map has 104857601 bytes, more than the 4194304 a register map may "
                   "have");
  EXPECT_TRUE(map.entries.empty());
  // The parser says the same of a buffer that size without reading it.
  EXPECT_FALSE(ParseRegisterMap("", kMaxMapBytes + 1, &map, &error));
  EXPECT_EQ(error, "line 1, column 1 (table): the map has 4194305 bytes, more than the 4194304 a register map may have");
  std::remove(path.c_str());
}
