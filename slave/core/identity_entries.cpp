#include "slave/core/identity_entries.h"

#include <cstdio>

#include "common/device_objects.h"
#include "common/modbus_protocol.h"
#include "common/options.h"

namespace identityentries {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool ParseObject(const std::string& text, std::uint8_t* objectId) {
  const int named = modbus::DeviceObjectIdFromName(text);
  if (named >= 0) {
    *objectId = static_cast<std::uint8_t>(named);
    return true;
  }
  int number = 0;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    unsigned value = 0;
    for (std::size_t i = 2; i < text.size(); ++i) {
      const int digit = HexDigit(text[i]);
      if (digit < 0 || i > 3) return false;  // at most two hex digits
      value = value * 16 + static_cast<unsigned>(digit);
    }
    *objectId = static_cast<std::uint8_t>(value);
    return true;
  }
  if (!cmdline::ParseInt(text, 0, modbus::DEVICE_OBJECT_COUNT - 1, &number)) return false;
  *objectId = static_cast<std::uint8_t>(number);
  return true;
}

}  // namespace

bool ParseKey(std::string_view key, std::uint8_t* slaveId, std::uint8_t* objectId) {
  const std::size_t colon = key.find(':');
  if (colon == std::string_view::npos) return false;
  int id = 0;
  if (!cmdline::ParseInt(std::string(key.substr(0, colon)), 0, modbus::MAX_UNIT_ID, &id)) return false;
  if (!ParseObject(std::string(key.substr(colon + 1)), objectId)) return false;
  *slaveId = static_cast<std::uint8_t>(id);
  return true;
}

bool ParseEntry(std::string_view entry, IdentityEntry* out, std::string* error) {
  const std::size_t equals = entry.find('=');
  if (equals == std::string_view::npos || !ParseKey(entry.substr(0, equals), &out->slaveId, &out->objectId)) {
    *error = "expected ID:OBJECT=TEXT with ID 0-255 and OBJECT 0-255 or a name such as VendorName";
    return false;
  }
  out->text = std::string(entry.substr(equals + 1));
  return true;
}

std::string EncodeEntries(const std::vector<IdentityEntry>& entries) {
  std::string value;
  for (const IdentityEntry& e : entries) {
    char head[16];
    std::snprintf(head, sizeof head, "%u:0x%02X=", e.slaveId, e.objectId);
    if (!value.empty()) value += ';';
    value += head;
    for (unsigned char c : e.text) {
      if (c < 0x20 || c >= 0x7F || c == '%' || c == ';') {
        char escaped[4];
        std::snprintf(escaped, sizeof escaped, "%%%02X", c);
        value += escaped;
      } else {
        value += static_cast<char>(c);
      }
    }
  }
  return value;
}

bool DecodeEntries(std::string_view value, std::vector<IdentityEntry>* entries) {
  entries->clear();
  std::size_t at = 0;
  while (at < value.size()) {
    std::size_t end = value.find(';', at);
    if (end == std::string_view::npos) end = value.size();
    std::string raw;
    const std::string_view part = value.substr(at, end - at);
    for (std::size_t i = 0; i < part.size(); ++i) {
      if (part[i] != '%') {
        raw += part[i];
        continue;
      }
      const int high = i + 2 < part.size() ? HexDigit(part[i + 1]) : -1;
      const int low = i + 2 < part.size() ? HexDigit(part[i + 2]) : -1;
      if (high < 0 || low < 0) return false;
      raw += static_cast<char>(high * 16 + low);
      i += 2;
    }
    IdentityEntry entry;
    std::string ignored;
    if (!ParseEntry(raw, &entry, &ignored)) return false;
    entries->push_back(entry);
    at = end + 1;
  }
  return true;
}

}  // namespace identityentries
