// The line settings and time-outs the Win32 backend gives a port.
#include <gtest/gtest.h>

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

    const DCB dcb = RawLineSettings(previous, 921600);
    EXPECT_EQ(dcb.DCBlength, sizeof(DCB));
    EXPECT_EQ(dcb.BaudRate, 921600u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    EXPECT_TRUE(dcb.fBinary);
    EXPECT_FALSE(dcb.fParity);
    EXPECT_FALSE(dcb.fOutxCtsFlow);
    EXPECT_FALSE(dcb.fOutxDsrFlow);
    EXPECT_FALSE(dcb.fDsrSensitivity);
    EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));
    EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));
    EXPECT_FALSE(dcb.fOutX);
    EXPECT_FALSE(dcb.fInX);
    EXPECT_FALSE(dcb.fErrorChar);
    EXPECT_FALSE(dcb.fNull);
    EXPECT_FALSE(dcb.fAbortOnError);
    EXPECT_EQ(dcb.XonChar, 0x11); // what the line does not use is left alone
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
        EXPECT_EQ(timeouts.ReadIntervalTimeout, c.interval) << c.waitMs;
        EXPECT_EQ(timeouts.ReadTotalTimeoutMultiplier, 0u) << c.waitMs;
        EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, c.constant) << c.waitMs;
        EXPECT_EQ(timeouts.WriteTotalTimeoutMultiplier, 0u) << c.waitMs;
        EXPECT_EQ(timeouts.WriteTotalTimeoutConstant, 0u) << c.waitMs;
    }
}

} // namespace
} // namespace panelgrab
