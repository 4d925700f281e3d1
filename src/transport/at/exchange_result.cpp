#include "transport/at/exchange_result.h"

namespace panelgrab {

const char* const kTextPortInUse = "Unable to open com port. Some other application may be using it.";
const char* const kTextBadSettings =
    "Unable to open com port. Your baudrate and/or com settings are not working.";
const char* const kTextPhoneNotResponding = "Phone is not responding";
const char* const kTextAnswerOutOfStep =
    "Communications with the phone have failed. The phone answered another command than the one sent.";

const char* ExchangeResultText(int32_t result) {
    switch (result) {
    case SendFailed:
        return "Communications with the phone have failed. Unable to send data to phone.";
    case ReceiveFailed:
        return "Communications with the phone have failed. Unable to receive data from phone.";
    case TimedOut:
        return "Communications with the phone have failed. Timeout occurred while waiting for data from "
               "phone.";
    case ErrorAnswer:
        return "Communications with the phone have failed. The phone responded with error to the last "
               "AT-command.";
    default:
        return "Communication error";
    }
}

} // namespace panelgrab
