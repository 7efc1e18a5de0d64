#pragma once
// Identity objects as text: the "ID:OBJECT=TEXT" entries of vantor's
// --identity option and of the profile section "Identity" (key "ID:OBJECT",
// OBJECT in hex, value TEXT). OBJECT is a number (decimal or 0x hex, 0..255)
// or an object name (VendorName, ProductCode, ...). Qt-free.
#include <cstdint>
#include <string>
#include <string_view>

namespace identityentries {

constexpr const char* kSection = "Identity";

struct IdentityEntry {
  std::uint8_t slaveId = 0;
  std::uint8_t objectId = 0;
  std::string text;
};

// "ID:OBJECT=TEXT"; false with *error set when it is not one.
bool ParseEntry(std::string_view entry, IdentityEntry* out, std::string* error);
// "ID:OBJECT" (OBJECT as a number or a name); false when it is not one.
bool ParseKey(std::string_view key, std::uint8_t* slaveId, std::uint8_t* objectId);
// The profile key of an object: "5:0x04".
std::string Key(std::uint8_t slaveId, std::uint8_t objectId);

}  // namespace identityentries
