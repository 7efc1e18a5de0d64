#pragma once
// Device recordings: what a master read from a device over time, so that a
// simulator can give the same values back at the same moments. A recording is a
// CSV text file (docs/recording.md): a header row, then one row per successful
// read with its wall-clock time, the milliseconds since the recording started,
// the unit, the table, the first address and the raw registers (or bits) as the
// device sent them. Raw words keep every byte and word order as it was on the
// wire; a register map gives them names and types. Qt-free.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace recording {

// The header row, without its line break.
constexpr const char* kHeader = "time,elapsed ms,unit,table,address,count,values";

struct Sample {
  std::uint64_t elapsedMs = 0;  // since the recording started
  int unit = 1;                 // 0..255 (0 for a TCP device that ignores it)
  int table = 3;                // the read function of its table: modbus::FC_READ_COILS .. FC_READ_INPUT_REGISTERS
  int address = 0;              // protocol (0-based) address of the first item
  std::vector<std::uint16_t> values;  // registers, or bits as 0/1
  bool operator==(const Sample& other) const = default;
};

// One row (without its line break): `timeText` (the data log's long form,
// "YYYY-MM-DD HH:MM:SS.mmm"), then the sample. Registers are four hex digits,
// bits 0 or 1, separated by single spaces. "" for a table that is not one of the four.
std::string FormatSample(const std::string& timeText, const Sample& sample);

}  // namespace recording
