// A poll window's register map: names of cells and the window's values as a map.
#include "master/core/poll_register_map.h"

#include <gtest/gtest.h>

#include "common/modbus_protocol.h"
#include "common/value_format.h"
#include "register_image.h"

using namespace zelmor;

namespace {

regmap::RegisterMap Parse(const std::string& text) {
  regmap::RegisterMap map;
  std::string error;
  EXPECT_TRUE(regmap::ParseRegisterMap(text.data(), text.size(), &map, &error)) << error;
  return map;
}

}  // namespace

TEST(PollRegisterMap, NamesOfCellsAndTheWindowsValuesAsAMap) {
  const regmap::RegisterMap map = Parse(
      "table,address,type,order,name,unit,scale,value\n"
      "holding registers,400011,uint32,ABCD,Starts,,1,\n"
      "holding registers,400014,int16,,Temperature,degC,0.5,\n"
      "input registers,300011,int16,,Elsewhere,,1,\n");
  const int fc = modbus::FC_READ_HOLDING_REGISTERS;
  EXPECT_EQ(ItemNameText(map, fc, 10, 0), "Starts");
  EXPECT_EQ(ItemNameText(map, fc, 10, 1), "");  // inside the value, not its start
  EXPECT_EQ(ItemNameText(map, fc, 10, 3), "Temperature [degC]");
  EXPECT_EQ(ItemNameText(map, fc, 10, 4), "");
  EXPECT_EQ(ItemNameText(map, modbus::FC_READ_INPUT_REGISTERS, 10, 3), "");

  // Six registers polled from 10 in Long Inverse: the document holds the longs
  // in native order (low word first); 0x0001E240 = 123456 at 10, 0xFFFFFFB8 = -72 at 14 and 15.
  const auto values = RegisterImage({0xE240, 0x0001, 0x0000, 0x0000, 0xFFB8, 0xFFFF});
  std::uint16_t raw[6];
  RawRegisters(values.data(), valuefmt::kLongInverse, 6, raw);
  EXPECT_EQ(raw[0], 0x0001);  // as the device sent them: high word first
  EXPECT_EQ(raw[1], 0xE240);
  EXPECT_EQ(raw[4], 0xFFFF);
  EXPECT_EQ(raw[5], 0xFFB8);
  const regmap::RegisterMap out = PollValuesAsMap(map, fc, 10, 6, valuefmt::kLongInverse, values.data());
  // Starts (10-11); no long at 12, whose pair would hold Temperature's 13;
  // Temperature; an unnamed long at 14 in the format's order.
  ASSERT_EQ(out.entries.size(), 3u);
  EXPECT_EQ(out.entries[0].name, "Starts");
  EXPECT_EQ(out.entries[0].value, 123456.0);
  EXPECT_EQ(out.entries[1].name, "Temperature");
  EXPECT_EQ(out.entries[1].value, 0.0);
  EXPECT_EQ(out.entries[2].address, 14);
  EXPECT_EQ(out.entries[2].type, regmap::Type::kInt32);
  EXPECT_EQ(out.entries[2].order, wordorder::Order::kABCD);
  EXPECT_EQ(out.entries[2].value, -72.0);
  // The map it writes reads back as written.
  const std::string text = regmap::FormatRegisterMap(out);
  const regmap::RegisterMap again = Parse(text);
  ASSERT_EQ(again.entries.size(), out.entries.size());
  for (std::size_t k = 0; k < out.entries.size(); ++k) EXPECT_EQ(again.entries[k], out.entries[k]) << text;
}

// The maps of several windows of one device make one map: an entry that shares
// a register with an earlier window's is left out, the rest join.
TEST(PollRegisterMap, MergedWindowMapsKeepTheFirstEntryOfARegister) {
  regmap::RegisterMap first = Parse("table,address,type,order,name,unit,scale,value\n"
                                    "holding registers,400001,float32,BADC,Flow,,1,\n"
                                    "coils,000001,bit,,Pump,,,\n");
  const regmap::RegisterMap second = Parse("table,address,type,order,name,unit,scale,value\n"
                                           "holding registers,400002,uint16,,Inside Flow,,1,\n"
                                           "holding registers,400003,uint16,,Setpoint,,1,\n"
                                           "input registers,300001,uint16,,Level,,1,\n"
                                           "coils,000002,bit,,Valve,,,\n");
  MergeRegisterMap(&first, second);
  std::vector<std::string> names;
  for (const regmap::Entry& e : first.entries) names.push_back(e.name);
  EXPECT_EQ(names, (std::vector<std::string>{"Flow", "Pump", "Setpoint", "Level", "Valve"}));
  // The result is a map the reader takes: no two entries share a register.
  EXPECT_EQ(Parse(regmap::FormatRegisterMap(first)).entries.size(), 5u);
}
