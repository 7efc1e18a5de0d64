// zelmor's poll document (.zmd): any bytes decode without fault, and a decoded
// document written again reads back to the same bytes.
#include "fuzz/fuzz_support.h"
#include "master/core/zelmor_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> bytes(data, data + size);
  zelmor::PollDocumentData document;
  std::string problem;
  if (zelmor::DecodePollDocument(bytes, &document, &problem) != zelmor::DocumentReadResult::kOk) return 0;
  (void)zelmor::PollDocumentProblem(document);
  const std::vector<std::uint8_t> written = zelmor::EncodePollDocument(document);
  zelmor::PollDocumentData again;
  fuzzsupport::Require(zelmor::DecodePollDocument(written, &again) == zelmor::DocumentReadResult::kOk,
                       "a written poll document reads back");
  fuzzsupport::Require(zelmor::EncodePollDocument(again) == written, "a poll document keeps its bytes");
  return 0;
}
