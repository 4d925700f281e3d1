// The line settings and time-outs the Win32 backend gives a port.
#include <gtest/gtest.h>

#include <cstring>

#include "transport/bytes/win32_line_settings.h"

namespace panelgrab {
namespace {

TEST(Win32LineSettings, RawEightNOneWithoutFlowControlAndLinesRaised) {
    // Start from what another program may have left: handshakes, parity, XON/XOFF, 7E2.
    DCB previous{};
    previous.BaudRate = 9600;
    previous.fOutxCtsFlow = TRUE;
    previous.fOutxDsrFlow = TRUE;
    previous.fDsrSensitivity = TRUE;
    previous.fDtrControl = DTR_CONTROL_HANDSHAKE;
    previous.fRtsControl = RTS_CONTROL_HANDSHAKE;
    previous.fOutX = TRUE;
    previous.fInX = TRUE;
    previous.fParity = TRUE;
    previous.fErrorChar = TRUE;
    previous.fNull = TRUE;
    previous.fAbortOnError = TRUE;
    previous.ByteSize = 7;
    previous.Parity = EVENPARITY;
    previous.StopBits = TWOSTOPBITS;
    previous.XonChar = 0x11;

    // What the line does not use (XonChar) is left alone.
    DCB expected = previous;
    expected.DCBlength = sizeof(DCB);
    expected.BaudRate = 921600;
    expected.ByteSize = 8;
    expected.Parity = NOPARITY;
    expected.StopBits = ONESTOPBIT;
    expected.fBinary = expected.fTXContinueOnXoff = TRUE;
    expected.fParity = expected.fOutxCtsFlow = expected.fOutxDsrFlow = expected.fDsrSensitivity = FALSE;
    expected.fOutX = expected.fInX = expected.fErrorChar = expected.fNull = expected.fAbortOnError = FALSE;
    expected.fDtrControl = DTR_CONTROL_ENABLE;
    expected.fRtsControl = RTS_CONTROL_ENABLE;
    const DCB dcb = RawLineSettings(previous, 921600);
    EXPECT_EQ(std::memcmp(&dcb, &expected, sizeof(DCB)), 0) << ::testing::PrintToString(dcb);
}

TEST(Win32LineSettings, ReadsWaitForTheFirstByteAndReturnSoonAfterTheDataPauses) {
    const struct {
        long long waitMs;
        DWORD interval;
        DWORD constant;
    } cases[] = {
        {500, 1, 500},     {5, 1, 5},
        {0, MAXDWORD, 0}, // at once, with what is there
        {-3, MAXDWORD, 0}, {10'000'000'000LL, 1, MAXDWORD},
    };
    for (const auto& c : cases) {
        const COMMTIMEOUTS timeouts = ReadWaitTimeouts(std::chrono::milliseconds(c.waitMs));
        const COMMTIMEOUTS expected{c.interval, 0, c.constant, 0, 0}; // writes wait as long as they take
        EXPECT_EQ(std::memcmp(&timeouts, &expected, sizeof expected), 0) << c.waitMs;
    }
}

} // namespace
} // namespace panelgrab
