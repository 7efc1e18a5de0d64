#pragma once
// Result codes of the master's transactions and links, and their user-visible
// texts. Every transaction returns one of these; every slot keeps the last one.
#include <cstdint>

namespace masterengine {

constexpr std::uint16_t RESULT_OK = 0;
constexpr std::uint16_t RESULT_TIMEOUT = 1;
constexpr std::uint16_t RESULT_CRC = 2;
constexpr std::uint16_t RESULT_RESPONSE = 3;
constexpr std::uint16_t RESULT_WRITE = 4;
constexpr std::uint16_t RESULT_READ = 5;
constexpr std::uint16_t RESULT_NO_CONNECTION = 6;
constexpr std::uint16_t RESULT_THREAD = 7;
constexpr std::uint16_t RESULT_BAD_SLOT = 8;
constexpr std::uint16_t RESULT_NO_VALUES = 9;
constexpr std::uint16_t RESULT_PENDING = 10;
constexpr std::uint16_t RESULT_BYTES_MISSING = 11;
constexpr std::uint16_t RESULT_WSA_STARTUP = 12;
constexpr std::uint16_t RESULT_BAD_IP = 13;
constexpr std::uint16_t RESULT_CONNECT_FAILED = 14;
// A connect only: the host name did not resolve (its text is the program's).
constexpr std::uint16_t RESULT_HOST_NOT_FOUND = 15;
constexpr std::uint16_t RESULT_EXCEPTION_BASE = 128;  // + the slave's exception code

// The result of exception n.
constexpr std::uint16_t ExceptionResult(int exception) {
  return static_cast<std::uint16_t>(RESULT_EXCEPTION_BASE + exception);
}

// True for 128 + n (n = 1..127): the slave answered with exception n.
constexpr bool IsExceptionResult(std::uint16_t code) { return code > RESULT_EXCEPTION_BASE && code < 256; }

// The fixed text of a result code: codes 0..14 and the exceptions 128 + 1..7 have
// their own texts; 128 + any other n gives "" (the poll view shows "Exception
// Error %i" instead); every other code gives "Unknown Error".
const char* ResultText(std::uint16_t code);

}  // namespace masterengine
