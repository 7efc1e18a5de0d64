// Register maps into vantor's definitions and back, and the .vnd block that
// carries the other orders past older versions.
#include "slave/core/register_map_definitions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "common/modbus_protocol.h"
#include "common/value_format.h"

namespace {

regmap::RegisterMap Parse(const std::string& text) {
  regmap::RegisterMap map;
  std::string error;
  EXPECT_TRUE(regmap::ParseRegisterMap(text.data(), text.size(), &map, &error)) << error;
  return map;
}

std::uint16_t Word(const vnd::VndDocument& d, int offset) {
  return static_cast<std::uint16_t>(d.valueImage[2 * offset] | d.valueImage[2 * offset + 1] << 8);
}

const char* kMap =
    "table,address,type,order,name,unit,scale,value\n"
    "holding registers,400001,float32,ABCD,Level,m,1,2.5\n"
    "holding registers,400003,float32,ABCD,Flow,m3/h,1,-0.75\n"
    "holding registers,400101,uint32,DCBA,Starts,,1,4000000000\n"
    "input registers,300011,int16,,Temperature,degC,0.5,-20.5\n"
    "coils,000008,bit,,Pump,,,1\n";

}  // namespace

TEST(RegisterMapDefinitions, ImportMakesDefinitionsAndExportGivesTheSameMap) {
  std::vector<vnd::VndDocument> definitions;
  std::string error;
  const regmap::RegisterMap map = Parse(kMap);
  ASSERT_TRUE(vantormap::ApplyRegisterMap(map, 7, &definitions, &error)) << error;
  ASSERT_EQ(definitions.size(), 3u);  // by table number: coils, holding registers, input registers
  const vnd::VndDocument& holding = definitions[1];
  EXPECT_EQ(holding.slaveId, 7);
  EXPECT_EQ(holding.table, modbus::FC_READ_HOLDING_REGISTERS);
  EXPECT_EQ(holding.address, 0);
  EXPECT_EQ(holding.length, 102);
  EXPECT_EQ(holding.displayFormat, valuefmt::kSigned);  // float32 and uint32 share no format
  EXPECT_EQ(Word(holding, 0), 0x4020);                   // 2.5f = 0x40200000, ABCD
  EXPECT_EQ(Word(holding, 1), 0x0000);
  EXPECT_EQ(Word(holding, 100), 0x0028);                 // 4000000000 = 0xEE6B2800, DCBA
  EXPECT_EQ(Word(holding, 101), 0x6BEE);
  EXPECT_EQ(definitions[0].table, modbus::FC_READ_COILS);
  EXPECT_EQ(definitions[0].valueImage[0], 1);
  EXPECT_EQ(definitions[2].table, modbus::FC_READ_INPUT_REGISTERS);
  EXPECT_EQ(Word(definitions[2], 0), static_cast<std::uint16_t>(-41));

  const regmap::RegisterMap back = vantormap::ExportRegisterMap(definitions);
  const regmap::RegisterMap again = Parse(regmap::FormatRegisterMap(back));
  ASSERT_EQ(again.entries.size(), map.entries.size());
  for (const regmap::Entry& e : map.entries)
    EXPECT_NE(std::find(again.entries.begin(), again.entries.end(), e), again.entries.end()) << e.name;
}

TEST(RegisterMapDefinitions, ValuesGoIntoCoveringDefinitionsAndABadValueChangesNothing) {
  vnd::VndDocument existing;
  existing.slaveId = 1;
  existing.table = modbus::FC_READ_HOLDING_REGISTERS;
  existing.address = 0;
  existing.length = 10;
  existing.displayFormat = valuefmt::kFloatBadc;
  std::vector<vnd::VndDocument> definitions{existing};
  std::string error;
  ASSERT_TRUE(vantormap::ApplyRegisterMap(Parse("table,address,type,order,name,unit,scale,value\n"
                                                "holding registers,4,float32,BADC,x,,,1\n"),
                                          1, &definitions, &error));
  ASSERT_EQ(definitions.size(), 1u);
  EXPECT_EQ(Word(definitions[0], 4), 0x803F);  // 1.0f = 0x3F800000, BADC
  // Unsigned long DCBA exported from a definition without entries: its format's rows.
  definitions[0].mapEntries.clear();
  definitions[0].length = 2;
  definitions[0].displayFormat = valuefmt::kUnsignedLongDcba;
  definitions[0].valueImage[0] = 0x34; definitions[0].valueImage[1] = 0x12;
  definitions[0].valueImage[2] = 0x78; definitions[0].valueImage[3] = 0x56;
  const regmap::RegisterMap rows = vantormap::ExportRegisterMap(definitions);
  ASSERT_EQ(rows.entries.size(), 1u);
  EXPECT_EQ(rows.entries[0].type, regmap::Type::kUInt32);
  std::uint16_t words[2] = {0x1234, 0x5678};
  EXPECT_EQ(rows.entries[0].value, double(wordorder::Join32(words, wordorder::Order::kDCBA)));

  // A value that fits no register is refused whole (the parser would refuse it too,
  // so the entry is made here), and the definitions stay as they were.
  regmap::RegisterMap bad = Parse("table,address,type,order,name,unit,scale,value\n"
                                  "holding registers,500,int16,,a,,,1\n");
  bad.entries[0].value = 1e6;
  const auto before = definitions;
  EXPECT_FALSE(vantormap::ApplyRegisterMap(bad, 1, &definitions, &error));
  EXPECT_EQ(error, "line 2, column 8 (value): 1000000 is outside int16 (-32768..32767)");
  EXPECT_EQ(definitions, before);
}

TEST(VndFile, OtherOrdersLiveInABlockOlderVersionsNeverRead) {
  vnd::VndDocument d;
  d.displayFormat = valuefmt::kDoubleDcba;
  vnd::VndDocument classic = d;
  classic.displayFormat = valuefmt::kDouble;  // low word first, as DCBA
  const auto bytes = vnd::EncodeVnd(d);
  const auto older = vnd::EncodeVnd(classic);
  ASSERT_EQ(bytes.size(), older.size() + 8);
  EXPECT_TRUE(std::equal(older.begin(), older.end(), bytes.begin()));
  vnd::VndDocument back;
  ASSERT_EQ(vnd::DecodeVnd(bytes, &back), vnd::VndResult::Ok);
  EXPECT_EQ(back.displayFormat, valuefmt::kDoubleDcba);
  ASSERT_EQ(vnd::DecodeVnd(older, &back), vnd::VndResult::Ok);
  EXPECT_EQ(back.displayFormat, valuefmt::kDouble);
}
