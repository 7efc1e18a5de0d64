#include "common/options.h"

namespace cmdline {

bool ArgWalker::Next() {
  if (started_) ++at_;
  started_ = true;
  return at_ < args_.size();
}

bool ArgWalker::Value(std::string* out, std::string* error) {
  if (at_ + 1 >= args_.size()) {
    *error = missingPrefix_ + args_[at_] + " needs a value";
    return false;
  }
  *out = args_[++at_];
  return true;
}

bool ParseUnsigned(const std::string& text, std::uint64_t max, std::uint64_t* out) {
  if (text.empty()) return false;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    const auto digit = static_cast<std::uint64_t>(c - '0');
    // Stop before the value could pass max (or wrap around).
    if (digit > max || value > (max - digit) / 10) return false;
    value = value * 10 + digit;
  }
  *out = value;
  return true;
}

bool ParseInt(const std::string& text, int min, int max, int* out) {
  std::uint64_t value = 0;
  if (max < 0 || !ParseUnsigned(text, static_cast<std::uint64_t>(max), &value)) return false;
  if (static_cast<std::int64_t>(value) < min) return false;
  *out = static_cast<int>(value);
  return true;
}

std::string RangeText(const std::string& what, long min, long max) {
  return what + " must be an integer between " + std::to_string(min) + " and " + std::to_string(max);
}

std::string CountText(std::size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (true) {
    const std::size_t at = text.find(separator, start);
    parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) break;
    start = at + 1;
  }
  return parts;
}

bool ParseBaud(const std::string& text, std::uint32_t* out) {
  std::uint64_t value = 0;
  if (!ParseUnsigned(text, kMaxBaudRate, &value) || value == 0) return false;
  *out = static_cast<std::uint32_t>(value);
  return true;
}

bool ParseParity(const std::string& text, int* out) {
  struct Name {
    const char* word;
    char letter;
    int parity;
  };
  static constexpr Name kNames[] = {{"none", 'N', kParityNone}, {"odd", 'O', kParityOdd}, {"even", 'E', kParityEven}};
  for (const Name& name : kNames) {
    const bool letter = text.size() == 1 && (text[0] == name.letter || text[0] == name.letter - 'A' + 'a');
    if (letter || text == name.word) {
      *out = name.parity;
      return true;
    }
  }
  return false;
}

bool ParseDataBits(const std::string& text, int* out) {
  if (text != "7" && text != "8") return false;
  *out = text == "7" ? 7 : 8;
  return true;
}

bool ParseStopBits(const std::string& text, int* out) {
  if (text != "1" && text != "2") return false;
  *out = text == "2" ? kStopBitsTwo : kStopBitsOne;
  return true;
}

char ParityLetter(int parity) { return parity == kParityNone ? 'N' : parity == kParityOdd ? 'O' : 'E'; }

}  // namespace cmdline
