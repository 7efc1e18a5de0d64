// zelmor's workspace (.zmw): any bytes decode without fault; settings out of
// range are refused; a decoded workspace written again reads back the same.
#include "fuzz/fuzz_support.h"
#include "master/core/zelmor_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> bytes(data, data + size);
  zelmor::WorkspaceData workspace;
  if (zelmor::DecodeWorkspace(bytes, &workspace) != zelmor::WorkspaceReadResult::kOk) return 0;
  fuzzsupport::Require(zelmor::CommSettingsInRange(workspace.settings), "an accepted workspace has settings in range");
  const std::vector<std::uint8_t> written = zelmor::EncodeWorkspace(workspace);
  zelmor::WorkspaceData again;
  fuzzsupport::Require(zelmor::DecodeWorkspace(written, &again) == zelmor::WorkspaceReadResult::kOk,
                       "a written workspace reads back");
  fuzzsupport::Require(zelmor::EncodeWorkspace(again) == written, "a workspace keeps its bytes");
  return 0;
}
