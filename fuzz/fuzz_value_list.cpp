// Value-list files (.mod): the first input byte picks the list the dialog asks
// for (coils, or registers in a display format), the rest is the file. Whatever
// the file holds, the decoder writes only inside the payload and every list line
// of the loaded values can be shown.
#include <array>

#include "fuzz/fuzz_support.h"
#include "master/core/value_list.h"

namespace {
constexpr int kDisplayFormats = 10;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzsupport::InputReader in(data, size);
  const int choice = in.byte() % (kDisplayFormats + 1);  // the last: the coil list
  const std::vector<std::uint8_t> file = in.rest();
  if (choice == kDisplayFormats) {
    // Heap payload of the exact size: a write past it is caught.
    std::vector<std::uint8_t> coils(zelmor::kCoilListSize);
    zelmor::DecodeValueList(file, zelmor::kCoilListTag, coils.data(), zelmor::kCoilListSize);
    return 0;
  }
  zelmor::RegisterValues values;
  std::vector<std::uint8_t> payload(zelmor::kRegisterListBytes);
  const auto result =
      zelmor::DecodeValueList(file, zelmor::DataTypeTagForFormat(choice), payload.data(), zelmor::kRegisterListBytes);
  std::copy(payload.begin(), payload.end(), values.data());
  if (result != zelmor::ValueFileResult::kOk) return 0;
  const auto lines = zelmor::ValueListLines(values, choice, 0, zelmor::kMaxWriteListRegisters);
  fuzzsupport::Require(lines.size() * zelmor::RegistersPerValue(choice) <= zelmor::kMaxWriteListRegisters,
                       "one line per whole value");
  return 0;
}
