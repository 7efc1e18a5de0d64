// Test-center frame lists: any text parses without fault, at most 100 entries
// are taken, and a parsed list written again parses to the same entries.
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "master/core/test_center.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> entries;
  if (!zelmor::ParseTestCenterText(text, &entries)) return 0;
  fuzzsupport::Require(entries.size() <= static_cast<std::size_t>(zelmor::kMaxTestCenterEntries), "entry limit");
  for (const std::string& entry : entries)
    fuzzsupport::Require(entry.find('\n') == std::string::npos, "an entry is one line");
  if (entries.empty()) return 0;
  std::vector<std::string> again;
  fuzzsupport::Require(zelmor::ParseTestCenterText(zelmor::ComposeTestCenterText(entries), &again),
                       "a written list parses");
  fuzzsupport::Require(again == entries, "a list keeps its entries");
  return 0;
}
