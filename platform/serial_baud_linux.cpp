// Baud rates without a Bxxx constant (14400, 56000, ...) go through termios2
// with BOTHER. Kept in its own file: the kernel's termios2 header cannot be
// mixed with the C library's <termios.h>.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cstdint>

#include "platform/serial_baud_linux.h"

namespace platform::detail {

bool SetArbitraryBaud(int fd, std::uint32_t baudRate) {
  struct termios2 settings {};
  if (ioctl(fd, TCGETS2, &settings) != 0) return false;
  settings.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
  settings.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  settings.c_ispeed = baudRate;
  settings.c_ospeed = baudRate;
  if (ioctl(fd, TCSETS2, &settings) != 0) return false;
  // A driver may round to what its clock can make; refuse more than 2 % off.
  struct termios2 applied {};
  if (ioctl(fd, TCGETS2, &applied) != 0) return false;
  const std::uint32_t got = applied.c_ospeed;
  const std::uint32_t tolerance = baudRate / 50;
  return got + tolerance >= baudRate && got <= baudRate + tolerance;
}

}  // namespace platform::detail
