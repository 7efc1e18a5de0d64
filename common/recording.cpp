#include "common/recording.h"

#include <cstdio>

#include "common/modbus_protocol.h"
#include "common/register_map.h"

namespace recording {

std::string FormatSample(const std::string& timeText, const Sample& sample) {
  const char* table = regmap::TableName(sample.table);
  if (*table == '\0') return "";
  std::string row = timeText + "," + std::to_string(sample.elapsedMs) + "," + std::to_string(sample.unit) + "," +
                    table + "," + regmap::PlcAddressText(sample.table, sample.address) + "," +
                    std::to_string(sample.values.size()) + ",";
  const bool bits = modbus::IsBitRead(sample.table);
  char word[8];
  for (std::size_t i = 0; i < sample.values.size(); ++i) {
    if (i > 0) row += ' ';
    if (bits) {
      row += sample.values[i] ? '1' : '0';
    } else {
      std::snprintf(word, sizeof word, "%04X", sample.values[i]);
      row += word;
    }
  }
  return row;
}

}  // namespace recording
