#pragma once
// The vocabulary of device identification (function 43, MEI type 14), of
// report slave id (function 17) and of diagnostics (08) that both programs use: read device id codes,
// conformity levels, object ids and their names, diagnostic sub-functions. One table of names for the
// slave's identity settings and the master's display.
#include <array>
#include <cstdint>
#include <string_view>

namespace modbus {

// Read device id codes of a 43/14 request.
constexpr std::uint8_t READ_DEVICE_ID_BASIC = 0x01;
constexpr std::uint8_t READ_DEVICE_ID_REGULAR = 0x02;
constexpr std::uint8_t READ_DEVICE_ID_EXTENDED = 0x03;
constexpr std::uint8_t READ_DEVICE_ID_INDIVIDUAL = 0x04;

// Conformity levels: the highest category served, 0x80 added when individual
// access is served too.
constexpr std::uint8_t DEVICE_ID_CONFORMITY_INDIVIDUAL = 0x80;

// The "more follows" byte of a 43/14 reply.
constexpr std::uint8_t DEVICE_ID_MORE_FOLLOWS = 0xFF;
constexpr std::uint8_t DEVICE_ID_LAST = 0x00;

// Object ids: 0..2 basic, 3..0x7F regular (3..6 named), 0x80..0xFF extended (private).
constexpr std::uint8_t DEVICE_OBJECT_VENDOR_NAME = 0x00;
constexpr std::uint8_t DEVICE_OBJECT_PRODUCT_CODE = 0x01;
constexpr std::uint8_t DEVICE_OBJECT_REVISION = 0x02;
constexpr std::uint8_t DEVICE_OBJECT_LAST_BASIC = 0x02;
constexpr std::uint8_t DEVICE_OBJECT_LAST_REGULAR = 0x7F;
constexpr std::uint8_t DEVICE_OBJECT_FIRST_PRIVATE = 0x80;
constexpr int DEVICE_OBJECT_COUNT = 256;

inline constexpr std::array<std::string_view, 7> kDeviceObjectNames = {
    "VendorName", "ProductCode", "MajorMinorRevision", "VendorUrl",
    "ProductName", "ModelName", "UserApplicationName"};

// The last object id of a stream category (basic, regular, extended).
constexpr std::uint8_t LastObjectOf(std::uint8_t readCode) {
  return readCode == READ_DEVICE_ID_BASIC     ? DEVICE_OBJECT_LAST_BASIC
         : readCode == READ_DEVICE_ID_REGULAR ? DEVICE_OBJECT_LAST_REGULAR
                                              : 0xFF;
}

// The id of a named object (exact name, case-insensitive), or -1.
constexpr int DeviceObjectIdFromName(std::string_view name) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  for (std::size_t id = 0; id < kDeviceObjectNames.size(); ++id) {
    const std::string_view known = kDeviceObjectNames[id];
    if (known.size() != name.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < name.size() && same; ++i) same = lower(known[i]) == lower(name[i]);
    if (same) return static_cast<int>(id);
  }
  return -1;
}

// Diagnostics (08) sub-functions.
constexpr std::uint16_t DIAG_RETURN_QUERY_DATA = 0x00;
constexpr std::uint16_t DIAG_RESTART_COMMUNICATIONS = 0x01;
constexpr std::uint16_t DIAG_CLEAR_COUNTERS = 0x0A;
// 0x0B..0x12 return one counter each: bus messages, bus communication errors,
// exception errors, server messages, server no response, NAKs, busy replies,
// character overruns.
constexpr std::uint16_t DIAG_FIRST_COUNTER = 0x0B;
constexpr std::uint16_t DIAG_LAST_COUNTER = 0x12;

// Report slave id: the run indicator byte of a device that runs.
constexpr std::uint8_t RUN_INDICATOR_ON = 0xFF;
constexpr std::uint8_t RUN_INDICATOR_OFF = 0x00;

}  // namespace modbus
