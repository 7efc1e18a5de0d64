#pragma once
// Reads a device's settings through termios2, which also reports rates that
// have no Bxxx constant. Own file: the kernel header clashes with <termios.h>.
#include <cstdint>

struct ProbedSettings {
  std::uint32_t cflag = 0;
  std::uint32_t iflag = 0;
  std::uint32_t outputSpeed = 0;
  bool customRate = false;  // BOTHER
};

bool ProbeSettings(int fd, ProbedSettings* settings);
