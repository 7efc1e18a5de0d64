// The test center's frame text: any text parses without fault; an accepted
// text gives one byte per token, and the CRC or LRC appended to those bytes
// checks and prints as a traffic line.
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "link/checksums.h"
#include "master/core/test_center.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const zelmor::FrameParse parse = zelmor::ParseFrameText(text);
  if (!parse.ok) {
    fuzzsupport::Require(parse.errorPosition <= text.size(), "the error position lies in the text");
    return 0;
  }
  fuzzsupport::Require(!parse.bytes.empty() && parse.bytes.size() * 2 <= text.size(), "two digits per byte");
  std::vector<std::uint8_t> withCrc = parse.bytes;
  zelmor::AppendCheck(&withCrc, zelmor::kCheckCrc);
  fuzzsupport::Require(linklayer::ComputeCrc16(withCrc.data(), static_cast<std::uint16_t>(withCrc.size())) == 0, "the appended CRC checks");
  std::vector<std::uint8_t> withLrc = parse.bytes;
  zelmor::AppendCheck(&withLrc, zelmor::kCheckLrc);
  (void)zelmor::TestCenterLine(999, true, withLrc.data(), withLrc.size());
  return 0;
}
