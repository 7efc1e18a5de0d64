#include "slave/engine/faults.h"

namespace slavefaults {
namespace {

bool ParseUnsigned(const std::string& text, std::uint32_t max, std::uint32_t* out) {
  if (text.empty() || text.size() > 10) return false;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (value > max) return false;
  *out = static_cast<std::uint32_t>(value);
  return true;
}

bool ParsePercent(const std::string& text, std::uint8_t* out) {
  std::uint32_t value = 0;
  if (!ParseUnsigned(text, 100, &value)) return false;
  *out = static_cast<std::uint8_t>(value);
  return true;
}

}  // namespace

std::string FaultMarkText(std::uint8_t marks, std::uint32_t delayMs) {
  if (marks == 0) return {};
  std::string text;
  auto add = [&](const std::string& part) { text += (text.empty() ? "" : ", ") + part; };
  if (marks & kMarkDropped) add("dropped");
  if (marks & kMarkBusy) add("busy");
  if (marks & kMarkException) add("exception");
  if (marks & kMarkCorrupted) add("corrupted");
  if (marks & kMarkDelayed) add("delayed " + std::to_string(delayMs) + " ms");
  return "[fault: " + text + "]";
}

bool ParseDelay(const std::string& text, FaultSettings* settings, std::string* error) {
  const std::size_t colon = text.find(':');
  std::uint32_t low = 0, high = 0;
  const bool ok = colon == std::string::npos
                      ? ParseUnsigned(text, kMaxDelayMs, &low) && (high = low, true)
                      : ParseUnsigned(text.substr(0, colon), kMaxDelayMs, &low) &&
                            ParseUnsigned(text.substr(colon + 1), kMaxDelayMs, &high) && low <= high;
  if (!ok) {
    *error = "bad delay '" + text + "' (expected MS or MIN:MAX, 0-" + std::to_string(kMaxDelayMs) +
             " ms, MIN not above MAX)";
    return false;
  }
  settings->delayMinMs = low;
  settings->delayMaxMs = high;
  return true;
}

bool ParseException(const std::string& text, FaultSettings* settings, std::string* error) {
  const std::size_t at = text.find('@');
  std::uint32_t code = 0, first = 0, last = 0;
  bool ok = ParseUnsigned(text.substr(0, at), modbus::EXCEPTION_GATEWAY_TARGET, &code) && code >= 1;
  if (ok && at != std::string::npos) {
    const std::string range = text.substr(at + 1);
    const std::size_t dash = range.find('-');
    ok = dash != std::string::npos && ParseUnsigned(range.substr(0, dash), 65535, &first) &&
         ParseUnsigned(range.substr(dash + 1), 65535, &last) && first <= last;
  }
  if (!ok) {
    *error = "bad exception '" + text + "' (expected CODE or CODE@FIRST-LAST, CODE 1-11, addresses 0-65535)";
    return false;
  }
  settings->exceptionCode = static_cast<std::uint8_t>(code);
  settings->exceptionRange = at != std::string::npos;
  settings->exceptionFirst = static_cast<std::uint16_t>(first);
  settings->exceptionLast = static_cast<std::uint16_t>(last);
  return true;
}

bool ParseDrop(const std::string& text, FaultSettings* settings, std::string* error) {
  if (!ParsePercent(text, &settings->dropPercent)) {
    *error = "bad drop rate '" + text + "' (expected a percentage 0-100)";
    return false;
  }
  return true;
}

bool ParseCorrupt(const std::string& text, FaultSettings* settings, std::string* error) {
  if (!ParsePercent(text, &settings->corruptPercent)) {
    *error = "bad corruption rate '" + text + "' (expected a percentage 0-100)";
    return false;
  }
  return true;
}

bool ParseBusy(const std::string& text, FaultSettings* settings, std::string* error) {
  const std::size_t colon = text.find(':');
  std::uint32_t busy = 0, period = 0;
  const bool ok = colon != std::string::npos && ParseUnsigned(text.substr(0, colon), kMaxBusySeconds, &busy) &&
                  ParseUnsigned(text.substr(colon + 1), kMaxBusySeconds, &period) &&
                  (busy == 0 || busy < period);
  if (!ok) {
    *error = "bad busy burst '" + text + "' (expected N:M seconds, busy for N every M, N below M)";
    return false;
  }
  settings->busySeconds = busy;
  settings->busyPeriodSeconds = busy == 0 ? 0 : period;
  return true;
}

std::string DelayText(const FaultSettings& s) {
  if (s.delayMaxMs == 0) return {};
  if (s.delayMinMs == s.delayMaxMs) return std::to_string(s.delayMinMs);
  return std::to_string(s.delayMinMs) + ":" + std::to_string(s.delayMaxMs);
}

std::string ExceptionText(const FaultSettings& s) {
  if (s.exceptionCode == 0) return {};
  std::string text = std::to_string(s.exceptionCode);
  if (s.exceptionRange) text += "@" + std::to_string(s.exceptionFirst) + "-" + std::to_string(s.exceptionLast);
  return text;
}

std::string BusyText(const FaultSettings& s) {
  if (s.busySeconds == 0) return {};
  return std::to_string(s.busySeconds) + ":" + std::to_string(s.busyPeriodSeconds);
}

std::string Summary(const FaultSettings& s) {
  std::string text;
  auto add = [&](const std::string& part) { text += (text.empty() ? "" : ", ") + part; };
  if (s.delayMaxMs > 0) {
    if (s.delayMinMs == s.delayMaxMs) add("delay " + std::to_string(s.delayMinMs) + " ms");
    else add("delay " + std::to_string(s.delayMinMs) + "-" + std::to_string(s.delayMaxMs) + " ms");
  }
  if (s.exceptionCode != 0) add("exception " + ExceptionText(s));
  if (s.dropPercent > 0) add("drop " + std::to_string(s.dropPercent) + " %");
  if (s.corruptPercent > 0) add("corrupt " + std::to_string(s.corruptPercent) + " %");
  if (s.busySeconds > 0) add("busy " + std::to_string(s.busySeconds) + " s every " +
                             std::to_string(s.busyPeriodSeconds) + " s");
  return text;
}

}  // namespace slavefaults
