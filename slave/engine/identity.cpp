#include "slave/engine/identity.h"

#include <map>
#include <mutex>

#include "common/device_objects.h"

namespace slaveidentity {
namespace {

const std::string defaults[modbus::DEVICE_OBJECT_LAST_BASIC + 1] = {"vantor", "vantor", SUITE_VERSION_TEXT};
std::mutex identityLock;  // guards userObjects
std::map<std::uint16_t, std::string> userObjects;  // key: slave id * 256 + object id

std::uint16_t Key(std::uint8_t unit, std::uint8_t objectId) {
  return static_cast<std::uint16_t>(unit << 8 | objectId);
}

}  // namespace

bool SetObject(std::uint8_t unit, std::uint8_t objectId, std::string_view value) {
  if (value.size() > static_cast<std::size_t>(kMaxObjectLength)) return false;
  std::lock_guard<std::mutex> guard(identityLock);
  if (value.empty())
    userObjects.erase(Key(unit, objectId));
  else
    userObjects[Key(unit, objectId)] = std::string(value);
  return true;
}

void ClearObjects(std::uint8_t unit) {
  std::lock_guard<std::mutex> guard(identityLock);
  userObjects.erase(userObjects.lower_bound(Key(unit, 0)), userObjects.upper_bound(Key(unit, 0xFF)));
}

void ClearAllObjects() {
  std::lock_guard<std::mutex> guard(identityLock);
  userObjects.clear();
}

Objects ServedObjects(std::uint8_t unit) {
  Objects served;
  std::lock_guard<std::mutex> guard(identityLock);
  auto user = userObjects.lower_bound(Key(unit, 0));
  const auto end = userObjects.upper_bound(Key(unit, 0xFF));
  for (int id = 0; id <= modbus::DEVICE_OBJECT_LAST_BASIC; ++id) {
    if (user != end && (user->first & 0xFF) == id) {
      served.emplace_back(static_cast<std::uint8_t>(id), user->second);
      ++user;
    } else if (!defaults[id].empty()) {
      served.emplace_back(static_cast<std::uint8_t>(id), defaults[id]);
    }
  }
  for (; user != end; ++user) served.emplace_back(static_cast<std::uint8_t>(user->first & 0xFF), user->second);
  return served;
}

Objects UserObjects(std::uint8_t unit) {
  Objects objects;
  std::lock_guard<std::mutex> guard(identityLock);
  const auto end = userObjects.upper_bound(Key(unit, 0xFF));
  for (auto it = userObjects.lower_bound(Key(unit, 0)); it != end; ++it)
    objects.emplace_back(static_cast<std::uint8_t>(it->first & 0xFF), it->second);
  return objects;
}

std::vector<std::uint8_t> UnitsWithUserObjects() {
  std::vector<std::uint8_t> units;
  std::lock_guard<std::mutex> guard(identityLock);
  for (const auto& [key, value] : userObjects) {
    const auto unit = static_cast<std::uint8_t>(key >> 8);
    if (units.empty() || units.back() != unit) units.push_back(unit);
  }
  return units;
}

}  // namespace slaveidentity
