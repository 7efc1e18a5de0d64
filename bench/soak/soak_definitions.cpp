// Writes the soak's slave definitions through vantor's own .vnd encoder: for unit
// u (1..UNITS) LENGTH registers, register k = u * 1000 + STEP * k, each flagged
// "Auto increment"; odd units hold holding registers, even units input registers.
//   soak_definitions DIR UNITS LENGTH STEP
#include <cstdio>
#include <cstdlib>
#include <string>

#include "slave/core/vnd_file.h"

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: soak_definitions DIR UNITS LENGTH STEP\n");
    return 2;
  }
  const std::string dir = argv[1];
  const int units = std::atoi(argv[2]), length = std::atoi(argv[3]), step = std::atoi(argv[4]);
  static vnd::VndDocument document;
  for (int unit = 1; unit <= units; ++unit) {
    document = vnd::VndDocument{};
    document.slaveId = unit;
    document.table = unit % 2 ? 3 : 4;
    document.length = length;
    document.displayFormat = 1;  // unsigned
    for (int k = 0; k < length; ++k) {
      document.autoChangeFlags[k] = 1;
      const auto value = static_cast<std::uint16_t>(unit * 1000 + step * k);
      document.valueImage[2 * k] = static_cast<std::uint8_t>(value);  // one host-order word per register
      document.valueImage[2 * k + 1] = static_cast<std::uint8_t>(value >> 8);
    }
    std::string error;
    const std::string path = dir + "/unit" + std::to_string(unit) + ".vnd";
    if (!vnd::SaveVndFile(path, document, &error)) {
      std::fprintf(stderr, "%s: %s\n", path.c_str(), error.c_str());
      return 1;
    }
  }
  return 0;
}
