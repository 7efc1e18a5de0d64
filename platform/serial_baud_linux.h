#pragma once
#include <cstdint>

namespace platform::detail {

// Sets input and output speed to any rate via termios2/BOTHER; false when the
// driver refuses or cannot come within 2 % of it.
bool SetArbitraryBaud(int fd, std::uint32_t baudRate);

}  // namespace platform::detail
