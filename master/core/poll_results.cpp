#include "master/core/poll_results.h"

#include <cstdio>

#include "common/modbus_protocol.h"
#include "common/value_format.h"
#include "master/engine/result_codes.h"
#include "resources/zelmor_resources.h"

namespace zelmor {

namespace text = res::text;
namespace me = masterengine;

namespace {

// The exception code of a result at or above RESULT_EXCEPTION_BASE: the bits below the exception flag.
int ExceptionCode(std::uint16_t result) { return result & (modbus::EXCEPTION_FLAG - 1); }

// The exceptions with a text of their own.
bool NamedException(int exception) {
  return exception >= modbus::EXCEPTION_ILLEGAL_FUNCTION && exception <= modbus::EXCEPTION_NEGATIVE_ACKNOWLEDGE;
}

}  // namespace

std::uint16_t NormalizeResult(std::uint16_t result) {
  if (result >= me::RESULT_EXCEPTION_BASE) return me::ExceptionResult(ExceptionCode(result));
  return result;
}

namespace {

struct ResultEntry {
  std::uint16_t result;
  const char* text;
  int counter;
};

constexpr ResultEntry kResultTable[] = {
    {me::RESULT_TIMEOUT, text::kTimeoutError, 0},
    {me::RESULT_CRC, text::kCrcError, 1},
    {me::RESULT_RESPONSE, text::kResponseError, 2},
    {me::RESULT_WRITE, text::kWriteError, 3},
    {me::RESULT_READ, text::kReadError, 4},
    {me::RESULT_NO_CONNECTION, text::kNoConnection, 5},
    {me::RESULT_THREAD, text::kThreadError, 6},
    {me::RESULT_BYTES_MISSING, text::kBytesMissing, 7},
    {me::ExceptionResult(modbus::EXCEPTION_ILLEGAL_FUNCTION), text::kIllegalFunction, 8},
    {me::ExceptionResult(modbus::EXCEPTION_ILLEGAL_DATA_ADDRESS), text::kIllegalAddress, 9},
    {me::ExceptionResult(modbus::EXCEPTION_ILLEGAL_DATA_VALUE), text::kIllegalValue, 10},
    {me::ExceptionResult(modbus::EXCEPTION_SLAVE_OR_SERVER_FAILURE), text::kDeviceFailure, 11},
    {me::ExceptionResult(modbus::EXCEPTION_ACKNOWLEDGE), text::kAcknowledge, 12},
    {me::ExceptionResult(modbus::EXCEPTION_SLAVE_OR_SERVER_BUSY), text::kDeviceBusy, 13},
    {me::ExceptionResult(modbus::EXCEPTION_NEGATIVE_ACKNOWLEDGE), text::kNak, 14},
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
  if (result == me::RESULT_OK) return {};
  if (const ResultEntry* entry = Find(result)) return entry->text;
  if (result >= me::RESULT_EXCEPTION_BASE) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, text::kExceptionFormat, result - me::RESULT_EXCEPTION_BASE);
    return buffer;
  }
  return text::kUnknownError;
}

std::string WriteResultText(std::uint16_t result) {
  if (result == me::RESULT_OK) return text::kResponseOk;
  if (result < me::RESULT_EXCEPTION_BASE) {
    // Codes past the thread error (Bytes Missing included) read "Unknown Error" here.
    const ResultEntry* entry = result <= me::RESULT_THREAD ? Find(result) : nullptr;
    return entry != nullptr ? entry->text : text::kUnknownError;
  }
  const int exception = ExceptionCode(result);
  if (const ResultEntry* entry = NamedException(exception) ? Find(me::ExceptionResult(exception)) : nullptr)
    return entry->text;
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, text::kExceptionFormat, exception);
  return buffer;
}

int ErrorCounterForResult(std::uint16_t result) {
  result = NormalizeResult(result);
  if (result == me::RESULT_OK) return kNoCounter;
  if (const ResultEntry* entry = Find(result)) return entry->counter;
  return result >= me::RESULT_EXCEPTION_BASE ? kOtherExceptionCounter : kUnknownCounter;
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
