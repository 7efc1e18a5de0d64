#include "master/core/poll_results.h"

#include <cstdio>

#include "common/value_format.h"
#include "resources/zelmor_resources.h"

namespace zelmor {

namespace text = res::text;

std::uint16_t NormalizeResult(std::uint16_t result) {
  if (result >= 128) return static_cast<std::uint16_t>(128 + (result & 0x7F));
  return result;
}

namespace {

struct ResultEntry {
  std::uint16_t result;
  const char* text;
  int counter;
};

constexpr ResultEntry kResultTable[] = {
    {1, text::kTimeoutError, 0},      {2, text::kCrcError, 1},          {3, text::kResponseError, 2},
    {4, text::kWriteError, 3},        {5, text::kReadError, 4},         {6, text::kNoConnection, 5},
    {7, text::kThreadError, 6},       {11, text::kBytesMissing, 7},     {129, text::kIllegalFunction, 8},
    {130, text::kIllegalAddress, 9},  {131, text::kIllegalValue, 10},   {132, text::kDeviceFailure, 11},
    {133, text::kAcknowledge, 12},    {134, text::kDeviceBusy, 13},     {135, text::kNak, 14},
};
constexpr int kOtherExceptionCounter = 15;
constexpr int kUnknownCounter = 16;

const ResultEntry* Find(std::uint16_t result) {
  for (const ResultEntry& entry : kResultTable)
    if (entry.result == result) return &entry;
  return nullptr;
}

}  // namespace

std::string ErrorTextForResult(std::uint16_t result) {
  result = NormalizeResult(result);
  if (result == 0) return {};
  if (const ResultEntry* entry = Find(result)) return entry->text;
  if (result >= 128) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, text::kExceptionFormat, result - 128);
    return buffer;
  }
  return text::kUnknownError;
}

std::string WriteResultText(std::uint16_t result) {
  if (result == 0) return text::kResponseOk;
  if (result < 128) {
    const ResultEntry* entry = result <= 7 ? Find(result) : nullptr;
    return entry != nullptr ? entry->text : text::kUnknownError;
  }
  int exception = result & 0x7F;
  if (const ResultEntry* entry = exception >= 1 && exception <= 7 ? Find(static_cast<std::uint16_t>(128 + exception)) : nullptr)
    return entry->text;
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, text::kExceptionFormat, exception);
  return buffer;
}

int ErrorCounterForResult(std::uint16_t result) {
  result = NormalizeResult(result);
  if (result == 0) return kNoCounter;
  if (const ResultEntry* entry = Find(result)) return entry->counter;
  return result >= 128 ? kOtherExceptionCounter : kUnknownCounter;
}

std::vector<std::string> ErrorCounterLines(const std::array<std::uint32_t, kErrorCounterCount>& counters) {
  std::vector<std::string> lines;
  for (int k = 0; k < text::kShownErrorCounters; ++k) {
    if (counters[k] == 0) continue;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, text::kErrorCounterFormats[k], static_cast<int>(counters[k]));
    lines.emplace_back(buffer);
  }
  if (lines.empty()) lines.emplace_back(text::kNoErrors);
  return lines;
}

std::string LogTimeText(std::time_t time) {
  std::tm local{};
  localtime_r(&time, &local);
  char buffer[16];
  std::strftime(buffer, sizeof buffer, "%H:%M:%S", &local);
  return buffer;
}

std::string ComposeLogLine(const std::string& timeText, const LogPoll& poll, std::uint16_t result, int delimiter) {
  const char* d = delimiter == kLogComma ? "," : delimiter == kLogTab ? "\t" : " ";
  std::string line = timeText + d;
  line += "<" + valuefmt::FirstAddressText(poll.function, poll.oneBased, poll.address, poll.length) + ">" + d;
  if (result != 0) return line + ErrorTextForResult(result);
  for (int i = 0; i < poll.length; ++i) {
    if (delimiter == kLogFixed) {
      // Fixed width keeps every column, empty cells included, so columns line up.
      line += valuefmt::CellValueText(poll.values, poll.valuesSize, poll.function, poll.displayFormat, i,
                                      poll.length, valuefmt::TextForm::kMasterScreen, false);
      line += ' ';
    } else {
      std::string value = valuefmt::CellValueText(poll.values, poll.valuesSize, poll.function, poll.displayFormat,
                                                  i, poll.length, valuefmt::TextForm::kMasterLog, false);
      if (value.empty()) continue;
      line += value + d;
    }
  }
  line.pop_back();  // the last delimiter or blank
  return line;
}

}  // namespace zelmor
