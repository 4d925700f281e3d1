#pragma once

#include <cstdint>

namespace panelgrab {

// Result of every exchange with the phone.
enum ExchangeResult : int32_t {
    Ok = 0,
    SendFailed = 1,
    ReceiveFailed = 2,
    TimedOut = 3,
    ErrorAnswer = 4,
};

// The fixed text for a result; any value outside 1..4 gives "Communication error".
const char* ExchangeResultText(int32_t result);

// Fixed texts of the open sequences:
// "Unable to open com port. Some other application may be using it."
extern const char* const kTextPortInUse;
// "Unable to open com port. Your baudrate and/or com settings are not working."
extern const char* const kTextBadSettings;
// "Phone is not responding"
extern const char* const kTextPhoneNotResponding;
// An answer whose echo named another command: the line was brought back in step.
extern const char* const kTextAnswerOutOfStep;

} // namespace panelgrab
