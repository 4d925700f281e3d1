#include "transport/bytes/baud_rate.h"

namespace panelgrab {

bool IsSettableBaudRate(int32_t rate, std::string& why) {
    if (rate < kSlowestBaudRate) {
        why = "a serial port cannot run slower than " + std::to_string(kSlowestBaudRate) + " baud";
        return false;
    }
    if (rate > kFastestBaudRate) {
        why = "a serial port cannot run faster than " + std::to_string(kFastestBaudRate) + " baud";
        return false;
    }
    return true;
}

} // namespace panelgrab
