#pragma once
// How line settings become termios flags; separate so tests can check the
// flags that a pseudo-terminal would not keep (it forces 8 bits, no parity).
#include <termios.h>

#include "platform/serial_device.h"

namespace platform::detail {

// True for the device side of a pseudo-terminal, which keeps its own framing.
bool IsPseudoTerminal(int fd);
// Raw 8-bit mode with line-error marking (INPCK, PARMRK) and reads that never block.
void MakeRaw(termios* settings);
// Raw mode plus the framing, flow control and speed of `settings`. Rates without a
// Bxxx constant get B38400 here and *standardRate false: the caller sets them with
// SetArbitraryBaud. Returns false for data bits outside 5..8, a bad parity or rate 0.
bool BuildTermios(const SerialLineSettings& settings, termios* result, bool* standardRate);

}  // namespace platform::detail
