#include "python/phone_failure.h"

#include <cstring>

#include "phone/phone_failure_text.h"
#include "transport/exchange_result.h"
#include "transport/port_failure.h"

namespace panelgrab::python {

namespace {

// How the module names its own tools in advice.
const FailureWording kWording{"panelgrab.ports()", "baud=...", "force=True"};

bool Is(const char* text, const char* fixed) {
    return text != nullptr && std::strcmp(text, fixed) == 0;
}

} // namespace

std::string PhoneFailure::Describe(const SerialPort& port) {
    return DescribePortFailure(port, kWording);
}

ErrorKind PhoneFailure::KindOfPortText(const SerialPort& port) {
    const char* text = port.errorText();
    if (Is(text, kTextPhoneNotResponding) || Is(text, ExchangeResultText(TimedOut))) {
        return ErrorKind::NotResponding;
    }
    return Is(text, ExchangeResultText(ErrorAnswer)) ? ErrorKind::Phone : ErrorKind::Port;
}

Failure PhoneFailure::Open(const SerialPort& port, const std::string& label) {
    return {KindOfPortText(port), label + ": " + Describe(port), kPhoneOpenFailed};
}

Failure PhoneFailure::Operation(const PhoneLink& phone, const std::string& label, std::string_view operation,
                                int32_t result) {
    // The phone object's own reason makes it the phone's error; otherwise the port's text tells.
    const bool phoneKnows =
        result == kPhoneBadAnswer || !phone.FailureDetail().empty() || phone.FailureText() != nullptr;
    return {phoneKnows ? ErrorKind::Phone : KindOfPortText(phone.Port()),
            label + ": " + std::string(operation) +
                " failed: " + DescribeOperationFailure(phone, result, kWording),
            result};
}

Failure PhoneFailure::ShortRead(const PhoneLink& phone, const std::string& label, const std::string& reason,
                                int64_t lines, int64_t totalLines) {
    const std::string what = label + ": the read ended after " + std::to_string(lines) + " of " +
                             std::to_string(totalLines) + " lines: ";
    if (reason.empty() || reason == phone.Port().errorText()) {
        return {KindOfPortText(phone.Port()), what + Describe(phone.Port()), kPhoneFailed};
    }
    return {ErrorKind::Phone, what + reason, kPhoneFailed}; // the screen buffer's own text
}

} // namespace panelgrab::python
