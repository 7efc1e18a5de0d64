#pragma once
// Identity objects as text: the "ID:OBJECT=TEXT" entries of vantor's
// --identity option, and all entries in one profile value (section
// "Identity", key "Objects": "ID:0xOB=TEXT" joined by ';', with '%', ';' and
// bytes outside printable ASCII in TEXT written as %XX). Older versions of
// the program never read that section. OBJECT is a number (decimal or 0x hex, 0..255)
// or an object name (VendorName, ProductCode, ...). Qt-free.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace identityentries {

constexpr const char* kSection = "Identity";
constexpr const char* kObjectsKey = "Objects";

struct IdentityEntry {
  std::uint8_t slaveId = 0;
  std::uint8_t objectId = 0;
  std::string text;
};

// "ID:OBJECT=TEXT"; false with *error set when it is not one.
bool ParseEntry(std::string_view entry, IdentityEntry* out, std::string* error);
// "ID:OBJECT" (OBJECT as a number or a name); false when it is not one.
bool ParseKey(std::string_view key, std::uint8_t* slaveId, std::uint8_t* objectId);
// The profile value of a list of entries, and back; Decode skips nothing: it
// returns false (and fills entries up to the fault) for a value it did not write.
std::string EncodeEntries(const std::vector<IdentityEntry>& entries);
bool DecodeEntries(std::string_view value, std::vector<IdentityEntry>* entries);

}  // namespace identityentries
