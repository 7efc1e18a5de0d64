#pragma once
// The identity objects vantor serves per slave id: read device identification
// (43/14) and report slave id (17) answer from them. Defaults (VendorName
// "vantor", ProductCode "vantor", MajorMinorRevision the program's version)
// hold for every slave id; the user's objects
// per slave id come on top. One lock guards the table; every call copies.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/modbus_protocol.h"

namespace slaveidentity {

// The longest object value: one object fills a whole 43/14 reply (the reply
// header of 7 bytes and the object's id and length come on top).
constexpr int kMaxObjectLength = modbus::MAX_PDU_LENGTH - 9;

using Objects = std::vector<std::pair<std::uint8_t, std::string>>;  // by rising id

// Sets one object of a slave id; an empty value removes it (a default shows
// again). False for a value over kMaxObjectLength bytes (nothing is set).
bool SetObject(std::uint8_t unit, std::uint8_t objectId, std::string_view value);
// Removes every object the user set, for one slave id or all.
void ClearObjects(std::uint8_t unit);
void ClearAllObjects();

// What a slave id serves: the defaults with the user's objects on top.
Objects ServedObjects(std::uint8_t unit);
// Only the user's objects of a slave id, and the slave ids that have any.
Objects UserObjects(std::uint8_t unit);
std::vector<std::uint8_t> UnitsWithUserObjects();

}  // namespace slaveidentity
