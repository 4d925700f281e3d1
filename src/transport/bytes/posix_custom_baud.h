#pragma once

#include <cstdint>

namespace panelgrab {

// Sets a rate that has no Bnnn constant (Linux termios2 with BOTHER) on an open tty. Returns 0 or
// the errno; EINVAL where the platform cannot do it.
int SetCustomBaudRate(int fd, int32_t baudRate);

} // namespace panelgrab
