#include "master/core/value_list_engine.h"

#include <bit>
#include <cstring>

#include "common/value_format.h"
#include "common/word_order.h"

#include "master/engine/comm_interface.h"

namespace me = masterengine;

namespace zelmor {

std::uint16_t CopyReadBackValues(int displayFormat, RegisterValues* values) {
  // The read-outs may copy up to the whole 2000-byte value table.
  std::uint16_t code = 0;
  if (displayFormat >= valuefmt::kFormatCount) {
    // The other orders: registers as they came, each value into native order.
    std::uint16_t words[me::kRequestDataBytes / 2] = {};
    code = me::ReadResultRegisters(0, words);
    const int n = RegistersPerValue(displayFormat);
    for (int k = 0; k + n <= kRegisterListWords; k += n) {
      const std::uint64_t bits = wordorder::Join(words + k, n, valuefmt::OrderOf(displayFormat));
      if (n == 2)
        values->setLong(k / 2, static_cast<std::int32_t>(bits));
      else
        values->setDouble(k / 4, std::bit_cast<double>(bits));
    }
    return code;
  }
  switch (RegistersPerValue(displayFormat)) {
    case 2: {
      std::uint32_t longs[me::kRequestDataBytes / 4] = {};
      code = me::ReadResultLongs(0, longs, IsInverseFormat(displayFormat));
      for (int k = 0; k < kRegisterListWords / 2; ++k) values->setLong(k, static_cast<std::int32_t>(longs[k]));
      break;
    }
    case 4: {
      double doubles[me::kRequestDataBytes / 8] = {};
      code = me::ReadResultDoubles(0, doubles, IsInverseFormat(displayFormat));
      for (int k = 0; k < kRegisterListWords / 4; ++k) values->setDouble(k, doubles[k]);
      break;
    }
    default: {
      std::uint16_t words[me::kRequestDataBytes / 2] = {};
      code = me::ReadResultRegisters(0, words);
      for (int k = 0; k < kRegisterListWords; ++k) values->setWord(k, words[k]);
      break;
    }
  }
  return code;
}

}  // namespace zelmor
