#pragma once

// The Win32 serial backend's settings, built in one place so that they can be checked without a
// port. A private header of the backend: it may show the Windows types.
#include <windows.h>

#include <chrono>
#include <cstdint>

namespace panelgrab {

// `current` (as GetCommState gave it) turned into a raw 8N1 line at `baudRate`: binary, no parity
// check, no flow control of either kind (many phone cables lack CTS and DSR), no character
// replacement, DTR and RTS raised, and errors that do not abort later transfers.
DCB RawLineSettings(const DCB& current, int32_t baudRate);

// Time-outs under which a read waits up to `wait` for its first byte and returns what has arrived
// shortly after the data pauses. The Windows idiom for that (interval and multiplier MAXDWORD) does
// not work under Wine, which waits the whole constant; an interval of 1 ms does, on both.
// A zero wait returns at once with what is there. Writes have no time-out of their own: the backend
// bounds them itself.
COMMTIMEOUTS ReadWaitTimeouts(std::chrono::milliseconds wait);

} // namespace panelgrab
