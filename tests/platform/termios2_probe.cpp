#include "termios2_probe.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

bool ProbeSettings(int fd, ProbedSettings* settings) {
  struct termios2 t {};
  if (ioctl(fd, TCGETS2, &t) != 0) return false;
  settings->cflag = t.c_cflag;
  settings->iflag = t.c_iflag;
  settings->outputSpeed = t.c_ospeed;
  settings->customRate = (t.c_cflag & CBAUD) == BOTHER;
  return true;
}
