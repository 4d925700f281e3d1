#include "transport/bytes/win32_line_settings.h"

#include <algorithm>

namespace panelgrab {

DCB RawLineSettings(const DCB& current, int32_t baudRate) {
    DCB dcb = current;
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = static_cast<DWORD>(baudRate);
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fTXContinueOnXoff = TRUE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    // With it set, one framing error would fail every transfer until ClearCommError.
    dcb.fAbortOnError = FALSE;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    return dcb;
}

COMMTIMEOUTS ReadWaitTimeouts(std::chrono::milliseconds wait) {
    COMMTIMEOUTS timeouts{};
    if (wait.count() <= 0) {
        timeouts.ReadIntervalTimeout = MAXDWORD; // return at once with what is there
        return timeouts;
    }
    const auto constant = std::min<long long>(wait.count(), MAXDWORD); // about 49 days
    timeouts.ReadIntervalTimeout = 1;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = static_cast<DWORD>(constant);
    return timeouts;
}

} // namespace panelgrab
