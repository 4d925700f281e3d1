#include "transport/bytes/posix_custom_baud.h"

#include <cerrno>

#if defined(__linux__)
// termios2 lives in the kernel's headers, which clash with <termios.h>; hence this file of its own.
#include <asm/ioctls.h>
#include <asm/termbits.h>

extern "C" int ioctl(int fd, unsigned long request, ...);
#endif

namespace panelgrab {

int SetCustomBaudRate(int fd, int32_t baudRate) {
#if defined(__linux__) && defined(BOTHER)
    struct termios2 settings {};
    if (ioctl(fd, TCGETS2, &settings) != 0) {
        return errno;
    }
    settings.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    settings.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    settings.c_ispeed = static_cast<speed_t>(baudRate);
    settings.c_ospeed = static_cast<speed_t>(baudRate);
    if (ioctl(fd, TCSETS2, &settings) != 0) {
        return errno;
    }
    // A driver may round the rate or ignore the request without failing. A UART copes with a rate
    // off by up to about 2 %, so that much rounding is accepted and anything else is a refusal.
    struct termios2 applied {};
    if (ioctl(fd, TCGETS2, &applied) != 0) {
        return errno;
    }
    const long long wanted = baudRate;
    const long long got = applied.c_ospeed;
    const long long difference = got > wanted ? got - wanted : wanted - got;
    return difference * 50 <= wanted ? 0 : EINVAL;
#else
    (void)fd;
    (void)baudRate;
    return EINVAL;
#endif
}

} // namespace panelgrab
