#include "slave/core/identity_entries.h"

#include <cstdio>

#include "common/device_objects.h"
#include "common/modbus_protocol.h"
#include "common/options.h"

namespace identityentries {
namespace {

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
      const char c = text[i];
      const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10
                        : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
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

std::string Key(std::uint8_t slaveId, std::uint8_t objectId) {
  char text[16];
  std::snprintf(text, sizeof text, "%u:0x%02X", slaveId, objectId);
  return text;
}

}  // namespace identityentries
