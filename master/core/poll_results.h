#pragma once
// What the poll view makes of a result code: the error text of its header and
// of the data log, the error counter it increments, and the data-log line.
// Qt-free, shared by the window and the headless runner.
#include <array>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace regmap {
struct RegisterMap;
}

namespace zelmor {

constexpr int kErrorCounterCount = 20;  // 17 of them used
constexpr int kNoCounter = -1;

// Result code as the document keeps it: 128 + exception code for exceptions.
std::uint16_t NormalizeResult(std::uint16_t result);
// The header's error text ("" for a good reply).
std::string ErrorTextForResult(std::uint16_t result);
// The text of a write's result box: "Response ok" for 0, the error texts for
// 1..7, "Unknown Error" for every other code below 128 (Bytes Missing included),
// the exception names for 129..135 and "Exception Error %i" for other exceptions.
std::string WriteResultText(std::uint16_t result);
// Index into the error counters, or kNoCounter for a good reply.
int ErrorCounterForResult(std::uint16_t result);
// The error counters window's lines, counter order: one per counter 0..16 that
// is not 0 ("3\tTimeout Error"), or the single line "NO ERRORS!".
std::vector<std::string> ErrorCounterLines(const std::array<std::uint32_t, kErrorCounterCount>& counters);

// Delimiters of the data log: 0 fixed width, 1 comma, 2 tab.
enum LogDelimiter : int { kLogFixed = 0, kLogComma = 1, kLogTab = 2 };

struct LogPoll {
  int function = 3;
  int address = 0;
  int length = 10;
  int displayFormat = 0;
  bool oneBased = true;
  const std::uint8_t* values = nullptr;  // the document's value image, native word order
  std::size_t valuesSize = 0;
  // A register map whose names make a second header row of the data log's long
  // form; nullptr (or no entries): the header row alone, as always.
  const regmap::RegisterMap* names = nullptr;
};

// The local time of a data-log line, "HH:MM:SS".
std::string LogTimeText(std::time_t time);

// One data-log line without its line break: "HH:MM:SS", "<label>", then the
// values (result 0) or the error text, separated by the delimiter.
std::string ComposeLogLine(const std::string& timeText, const LogPoll& poll, std::uint16_t result, int delimiter);

}  // namespace zelmor
