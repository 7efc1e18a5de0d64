#include "common/recording.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string_view>
#include <sys/stat.h>

#include "common/archive.h"
#include "common/modbus_protocol.h"
#include "common/register_map.h"

namespace recording {

namespace {

constexpr int kColumnCount = 7;
constexpr const char* kColumns[kColumnCount] = {"time", "elapsed ms", "unit", "table", "address", "count", "values"};
enum Column { kTime, kElapsed, kUnit, kTable, kAddress, kCount, kValues };

// "line 4, column 5 (address): what"
std::string Fault(int line, int column, const std::string& what) {
  return "line " + std::to_string(line) + ", column " + std::to_string(column + 1) + " (" + kColumns[column] +
         "): " + what;
}

bool ParseWhole(std::string_view text, std::uint64_t* value) {
  if (text.empty() || text.size() > 20 || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return false;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return error == std::errc() && end == text.data() + text.size();
}

// A field quoted for a message: at most 24 characters, control characters as '?'.
std::string Quoted(std::string_view text) {
  std::string out = "\"";
  for (char c : text.substr(0, 24)) out += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c;
  return out + (text.size() > 24 ? "...\"" : "\"");
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The values column: `count` registers (four hex digits) or bits (0 or 1),
// separated by single spaces.
bool ParseValues(std::string_view text, bool bits, std::size_t count, std::vector<std::uint16_t>* values,
                 std::string* why) {
  values->clear();
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(' ', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view item = text.substr(start, end - start);
    if (values->size() == count)
      return *why = std::to_string(count) + " values expected, the row has more", false;
    if (bits) {
      if (item != "0" && item != "1") return *why = Quoted(item) + " is not a bit (0 or 1)", false;
      values->push_back(item == "1" ? 1 : 0);
    } else {
      int word = item.size() == 4 ? 0 : -1;
      for (std::size_t k = 0; k < item.size() && word >= 0; ++k)
        word = HexDigit(item[k]) < 0 ? -1 : word * 16 + HexDigit(item[k]);
      if (word < 0) return *why = Quoted(item) + " is not a register (four hex digits)", false;
      values->push_back(static_cast<std::uint16_t>(word));
    }
    start = end + 1;
  }
  if (values->size() != count)
    return *why = std::to_string(count) + " values expected, the row has " + std::to_string(values->size()), false;
  return true;
}

// The fields of one row into a sample; false with the column and the reason.
bool ReadSample(const std::vector<std::string_view>& f, std::uint64_t previousMs, Sample* s, int* column,
                std::string* why) {
  *column = kElapsed;
  if (!ParseWhole(f[kElapsed], &s->elapsedMs) || s->elapsedMs > kMaxElapsedMs)
    return *why = Quoted(f[kElapsed]) + " is not a time in milliseconds", false;
  if (s->elapsedMs < previousMs)
    return *why = "the time goes back (" + std::to_string(previousMs) + " ms on the row before)", false;
  *column = kUnit;
  std::uint64_t unit = 0;
  if (!ParseWhole(f[kUnit], &unit) || unit > static_cast<std::uint64_t>(modbus::MAX_UNIT_ID))
    return *why = Quoted(f[kUnit]) + " is not a unit (0..255)", false;
  s->unit = static_cast<int>(unit);
  *column = kTable;
  s->table = 0;
  for (int t : {modbus::FC_READ_COILS, modbus::FC_READ_DISCRETE_INPUTS, modbus::FC_READ_HOLDING_REGISTERS,
                modbus::FC_READ_INPUT_REGISTERS})
    if (f[kTable] == regmap::TableName(t)) s->table = t;
  if (s->table == 0)
    return *why = "unknown table " + Quoted(f[kTable]) +
                  " (coils, discrete inputs, input registers, holding registers)", false;
  *column = kAddress;
  const std::string_view address = f[kAddress];
  if (address.empty() || !std::all_of(address.begin(), address.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return *why = Quoted(address) + " is not an address", false;
  if (!regmap::ParseAddressText(address, s->table, &s->address, why)) return false;
  *column = kCount;
  const bool bits = modbus::IsBitRead(s->table);
  const int limit = bits ? modbus::MAX_READ_BITS : kMaxRecordedRegisters;
  std::uint64_t count = 0;
  if (!ParseWhole(f[kCount], &count) || count < 1 || count > static_cast<std::uint64_t>(limit))
    return *why = Quoted(f[kCount]) + " is not a count (1.." + std::to_string(limit) + ")", false;
  if (s->address + static_cast<int>(count) > modbus::MAX_ADDRESS + 1)
    return *why = std::to_string(count) + " items from " + std::string(f[kAddress]) + " end outside the " +
                  regmap::TableName(s->table), false;
  *column = kValues;
  return ParseValues(f[kValues], bits, static_cast<std::size_t>(count), &s->values, why);
}

void SplitRow(std::string_view row, std::vector<std::string_view>* fields) {
  fields->clear();
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = row.find(',', start);
    fields->push_back(row.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
    if (comma == std::string_view::npos) return;
    start = comma + 1;
  }
}

std::string TooLarge(std::size_t size) {
  return Fault(1, 0, "the recording has " + std::to_string(size) + " bytes, more than the " +
                         std::to_string(kMaxRecordingBytes) + " a recording may have");
}

}  // namespace

bool ParseRecording(const char* data, std::size_t size, Recording* recording, std::string* error) {
  if (size > kMaxRecordingBytes) return *error = TooLarge(size), false;
  const std::string_view text(data, size);
  Recording parsed;
  bool headerSeen = false;
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  for (int line = 1; start < text.size(); ++line) {
    std::string_view row = regmap::NextCsvLine(text, &start, line);
    if (row.empty() || row.front() == '#') continue;
    if (!headerSeen) {
      if (row != kHeader) return *error = Fault(line, 0, std::string("the first row must be the header ") + kHeader), false;
      headerSeen = true;
      continue;
    }
    SplitRow(row, &fields);
    if (fields.size() != kColumnCount) {
      const int at = static_cast<int>(std::min<std::size_t>(fields.size(), kColumnCount - 1));
      return *error = Fault(line, at, std::to_string(fields.size()) + " columns, a row has " +
                                          std::to_string(kColumnCount)), false;
    }
    Sample sample;
    int column = 0;
    std::string why;
    const std::uint64_t previous = parsed.samples.empty() ? 0 : parsed.samples.back().elapsedMs;
    if (!ReadSample(fields, previous, &sample, &column, &why)) return *error = Fault(line, column, why), false;
    parsed.samples.push_back(std::move(sample));
  }
  if (!headerSeen) return *error = Fault(1, 0, "the recording has no header row"), false;
  *recording = std::move(parsed);
  return true;
}

bool LoadRecording(const std::string& path, Recording* recording, std::string* error) {
  // A file too large is refused by its size, unread.
  struct stat status {};
  if (::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
      static_cast<std::uint64_t>(status.st_size) > kMaxRecordingBytes)
    return *error = TooLarge(static_cast<std::size_t>(status.st_size)), false;
  std::vector<std::uint8_t> bytes;
  if (!archive::ReadFile(path, &bytes, error, kMaxRecordingBytes)) return false;
  return ParseRecording(reinterpret_cast<const char*>(bytes.data()), bytes.size(), recording, error);
}

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
