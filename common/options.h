#pragma once
// The command-line pieces both headless runners share: walking the arguments,
// strict decimal numbers with range checks, "A:B:C" values, the serial line
// options and the exit codes that mean the same in both programs. Qt-free.
// The runners word their own error texts; these only say what was wrong.
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace cmdline {

// ---- Exit codes ---------------------------------------------------------------
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;     // something that could not be opened or served
constexpr int kExitBadOption = 2;  // a bad option or value; nothing was started

// ---- Walking the arguments ----------------------------------------------------
// Options take their value from the next argument ("--name VALUE"); neither
// program accepts "--name=VALUE".
class ArgWalker {
 public:
  // missingPrefix starts the "needs a value" text: "" gives "--tcp needs a value",
  // "option " gives "option --tcp needs a value".
  ArgWalker(const std::vector<std::string>& args, std::string missingPrefix)
      : args_(args), missingPrefix_(std::move(missingPrefix)) {}

  // Steps to the next argument; false after the last.
  bool Next();
  const std::string& Arg() const { return args_[at_]; }
  // Takes the argument after the current option as its value; false with
  // *error set when there is none.
  bool Value(std::string* out, std::string* error);

 private:
  const std::vector<std::string>& args_;
  std::string missingPrefix_;
  std::size_t at_ = 0;
  bool started_ = false;
};

// One row of a runner's option table. `apply` gets the option's name and its
// value ("" for an option without one) and puts what was wrong in *error.
template <typename Options>
struct OptionRow {
  const char* name;
  bool takesValue;
  bool (*apply)(const std::string& name, const std::string& value, Options* options, std::string* error);
};

// Walks the arguments through the table; "--headless" is skipped, and an
// argument no row names goes to `other` (a file, or an unknown option).
template <typename Options, std::size_t N>
bool WalkOptions(const std::vector<std::string>& args, const OptionRow<Options> (&table)[N],
                 const std::string& missingPrefix,
                 bool (*other)(const std::string& arg, Options* options, std::string* error), Options* options,
                 std::string* error) {
  ArgWalker walk(args, missingPrefix);
  while (walk.Next()) {
    const std::string& arg = walk.Arg();
    if (arg == "--headless") continue;
    const OptionRow<Options>* row = nullptr;
    for (const OptionRow<Options>& candidate : table)
      if (row == nullptr && arg == candidate.name) row = &candidate;
    if (row == nullptr) {
      if (!other(arg, options, error)) return false;
      continue;
    }
    std::string value;
    if (row->takesValue && !walk.Value(&value, error)) return false;
    if (!row->apply(arg, value, options, error)) return false;
  }
  return true;
}

// ---- Numbers ------------------------------------------------------------------
// Plain decimal digits only (no sign, blanks or "0x"), at most `max`.
bool ParseUnsigned(const std::string& text, std::uint64_t max, std::uint64_t* out);
// Plain decimal digits within min..max (the options take no negative numbers).
bool ParseInt(const std::string& text, int min, int max, int* out);
// "WHAT must be an integer between MIN and MAX".
std::string RangeText(const std::string& what, long min, long max);
// A count with its noun for the runners' messages: "1 definition", "2 definitions", "0 definitions".
std::string CountText(std::size_t count, const char* one, const char* many);

// "A:B:C" split at every separator; "" gives one empty part.
std::vector<std::string> Split(const std::string& text, char separator);

// ---- Serial line --------------------------------------------------------------
// Stop bits in the encoding the serial links take (link/serial_link.h, the
// master engine's OpenSerialPort, the slave's OpenSlaveSerialPort).
constexpr int kStopBitsOne = 0;
constexpr int kStopBitsTwo = 2;

constexpr int kParityNone = 0;
constexpr int kParityOdd = 1;
constexpr int kParityEven = 2;

constexpr std::uint32_t kMaxBaudRate = 4000000;

// Each false for a value the option does not take, leaving *out alone.
bool ParseBaud(const std::string& text, std::uint32_t* out);  // 1..kMaxBaudRate
bool ParseParity(const std::string& text, int* out);          // none|odd|even, N|O|E, n|o|e
bool ParseDataBits(const std::string& text, int* out);        // 7 or 8
bool ParseStopBits(const std::string& text, int* out);        // "1" or "2", as kStopBitsOne/Two

// 'N', 'O' or 'E'.
char ParityLetter(int parity);

}  // namespace cmdline
