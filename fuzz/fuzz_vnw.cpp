// vantor's workspace (.vnw): any bytes decode without fault, and a decoded
// workspace written again reads back to the same bytes.
#include "fuzz/fuzz_support.h"
#include "slave/core/vnw_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vnw::Workspace workspace;
  if (vnw::Decode(data, size, &workspace) != vnw::DecodeResult::Ok) return 0;
  const std::vector<std::uint8_t> written = vnw::Encode(workspace);
  vnw::Workspace again;
  fuzzsupport::Require(vnw::Decode(written, &again) == vnw::DecodeResult::Ok, "a written workspace reads back");
  fuzzsupport::Require(vnw::Encode(again) == written, "a workspace keeps its bytes");
  return 0;
}
