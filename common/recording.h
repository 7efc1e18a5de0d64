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

// The most registers one row holds: what one zelmor poll reads, two past the
// protocol's 125.
constexpr int kMaxRecordedRegisters = 127;

struct Sample {
  std::uint64_t elapsedMs = 0;  // since the recording started
  int unit = 1;                 // 0..255 (0 for a TCP device that ignores it)
  int table = 3;                // the read function of its table: modbus::FC_READ_COILS .. FC_READ_INPUT_REGISTERS
  int address = 0;              // protocol (0-based) address of the first item
  std::vector<std::uint16_t> values;  // registers, or bits as 0/1
  bool operator==(const Sample& other) const = default;
};

// The largest recording the reader takes (about two million rows of 125 registers).
constexpr std::size_t kMaxRecordingBytes = 256u * 1024 * 1024;
// The latest elapsed time a row may carry (about 31 years), so that sums of
// times never overflow.
constexpr std::uint64_t kMaxElapsedMs = 1000000000000ull;

struct Recording {
  std::vector<Sample> samples;  // in file order, elapsedMs never decreasing
  bool operator==(const Recording& other) const = default;
};

// One row (without its line break): `timeText` (the data log's long form,
// "YYYY-MM-DD HH:MM:SS.mmm"), then the sample. Registers are four hex digits,
// bits 0 or 1, separated by single spaces. "" for a table that is not one of the four.
std::string FormatSample(const std::string& timeText, const Sample& sample);

// Parses a whole recording. The header must be kHeader exactly (a byte order mark
// and CR line ends are taken); empty rows and rows starting with '#' are skipped.
// False with *error "line L, column C (NAME): what" and *recording untouched on
// the first fault: an elapsed time that goes back, a unit outside 0..255, an
// unknown table, an address or count outside the table or the read limits, a
// count that differs from the number of values, a value that is not four hex
// digits (registers) or 0/1 (bits).
bool ParseRecording(const char* data, std::size_t size, Recording* recording, std::string* error);
// Reads and parses a regular file of at most kMaxRecordingBytes (larger files,
// devices and FIFOs are refused unread).
bool LoadRecording(const std::string& path, Recording* recording, std::string* error);

}  // namespace recording
