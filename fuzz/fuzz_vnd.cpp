// vantor's slave definition (.vnd): any bytes decode without fault, an accepted
// definition is one the engine can register, and it writes back to bytes that
// read the same.
#include "fuzz/fuzz_support.h"
#include "slave/core/vnd_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static vnd::VndDocument document;  // 20 KB: kept off the stack
  static vnd::VndDocument again;
  document = vnd::VndDocument{};
  if (vnd::DecodeVnd(data, size, &document) != vnd::VndResult::Ok) return 0;
  fuzzsupport::Require(vnd::DefinitionInRange(document), "an accepted definition is in range");
  const std::vector<std::uint8_t> written = vnd::EncodeVnd(document);
  again = vnd::VndDocument{};
  fuzzsupport::Require(vnd::DecodeVnd(written, &again) == vnd::VndResult::Ok, "a written definition reads back");
  fuzzsupport::Require(vnd::EncodeVnd(again) == written, "a definition keeps its bytes");
  return 0;
}
