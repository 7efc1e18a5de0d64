// kestrin's send rules: the hexadecimal send text (any text gives bytes, one
// per token, never more than the text has characters), the Modbus request
// built from the four fields (a built frame carries its CRC and the fields
// asked), and the receive view's texts. Input: a selector byte, four fields of
// four bytes each (signed), then the text.
#include <array>
#include <cstring>

#include "fuzz/fuzz_support.h"
#include "link/checksums.h"
#include "terminal/send_data.h"

namespace {

long Field(fuzzsupport::InputReader* in) {
  const std::uint32_t raw = static_cast<std::uint32_t>(in->word()) << 16 | in->word();
  return static_cast<std::int32_t>(raw);
}

void CheckRequest(fuzzsupport::InputReader* in) {
  kestrin::ModbusRequestFields fields;
  fields.station = Field(in);
  fields.function = Field(in);
  fields.registerAddress = Field(in);
  fields.quantityOrValue = Field(in);
  std::array<std::uint8_t, 8> frame{};
  frame.fill(0xEE);
  const std::array<std::uint8_t, 8> untouched = frame;
  if (kestrin::BuildRequestFrame(fields, &frame) != kestrin::FrameResult::Ok) {
    fuzzsupport::Require(frame == untouched, "a refused request leaves the frame untouched");
    return;
  }
  fuzzsupport::Require(linklayer::ComputeCrc16(frame.data(), frame.size()) == 0, "the request's CRC checks");
  fuzzsupport::Require(frame[1] == fields.function, "the request carries its function");
  fuzzsupport::Require((frame[2] << 8 | frame[3]) == fields.registerAddress, "the request carries its address");
  fuzzsupport::Require(kestrin::FormatFrameText(frame.data(), 8).size() == 8 * 5, "five characters a byte");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzsupport::InputReader in(data, size);
  const std::uint8_t selector = in.byte();
  CheckRequest(&in);
  const fuzzsupport::Bytes rest = in.rest();
  const std::string text(rest.begin(), rest.end());
  const std::vector<std::uint8_t> bytes = kestrin::ParseHexText(text);
  fuzzsupport::Require(bytes.size() <= text.size(), "at most a byte per character");
  const int perLine = 1 + selector % 32;
  const std::string lines =
      kestrin::FormatSentLines(bytes.data(), static_cast<int>(bytes.size()), ">", perLine);
  fuzzsupport::Require(lines.size() == bytes.size() * 4 + (bytes.size() + perLine - 1) / perLine * 2 -
                                           (bytes.empty() ? 0 : 1),
                       "four characters a byte, a mark and a line break a line");
  const std::string stripped = kestrin::RemoveTimingGroups(text);
  fuzzsupport::Require(stripped.size() <= text.size(), "removing groups never adds text");
  fuzzsupport::Require(kestrin::RemoveTimingGroups(stripped + kestrin::FormatElapsed(selector)) == stripped ||
                           stripped.find('[') != std::string::npos,
                       "a timing group is removed");
  return 0;
}
