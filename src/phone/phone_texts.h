#pragma once

namespace panelgrab {

// The phone object's own fixed texts (FailureText()) for an operation it refuses without asking the
// phone: the port is taken by work still running on it.
extern const char* const kTextTransferHoldsPort; // a picture transfer, also one that was stopped
extern const char* const kTextLiveViewHoldsPort;

} // namespace panelgrab
