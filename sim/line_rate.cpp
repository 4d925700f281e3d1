#include "sim/line_rate.h"

#include <termios.h>

namespace panelgrab::sim {

int ClientLineRate(int fd) {
    struct Rate {
        speed_t code;
        int baud;
    };
    static constexpr Rate kRates[] = {
        {B1200, 1200},     {B2400, 2400},     {B4800, 4800},     {B9600, 9600},
        {B19200, 19200},   {B38400, 38400},   {B57600, 57600},   {B115200, 115200},
        {B230400, 230400}, {B460800, 460800}, {B921600, 921600},
    };
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) {
        return 0;
    }
    const speed_t code = cfgetospeed(&settings);
    for (const Rate& rate : kRates) {
        if (rate.code == code) {
            return rate.baud;
        }
    }
    return 0;
}

} // namespace panelgrab::sim
