#include "master/engine/result_codes.h"

namespace masterengine {
namespace {

constexpr const char* kResultTexts[] = {
    "Response ok",
    "Timeout Error",
    "CRC Error",
    "Response Error",
    "Write Error",
    "Read Error",
    "No Connection",
    "Not possible to start communication thread",
    "Unknown Error",
    "Unknown Error",
    "Unknown Error",
    "Bytes Missing Error",
    "Modbus/TCP Connection Failed. WSA Startup Error",
    "Modbus/TCP Connection Failed. Invalid IP Address",
    "Modbus/TCP Connection Failed",
};

// Exceptions 1..7.
constexpr const char* kExceptionTexts[] = {
    "Illigal Function",
    "Illigal Data Address",
    "Illegal Data Value",
    "Slave Device Failure",
    "ACKNOWLEDGE",
    "SLAVE DEVICE BUSY",
    "NAK-NEGATIVE ACKNOWLEDGMENT",
};

constexpr unsigned kResultTextCount = sizeof kResultTexts / sizeof kResultTexts[0];
constexpr unsigned kExceptionTextCount = sizeof kExceptionTexts / sizeof kExceptionTexts[0];

}  // namespace

const char* ResultText(std::uint16_t code) {
  if (code < kResultTextCount) return kResultTexts[code];
  if (IsExceptionResult(code)) {
    const unsigned exception = code - RESULT_EXCEPTION_BASE;
    return exception <= kExceptionTextCount ? kExceptionTexts[exception - 1] : "";
  }
  return "Unknown Error";
}

}  // namespace masterengine
