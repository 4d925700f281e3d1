#include "python/phone_failure.h"

#include <cstring>

#include "transport/exchange_result.h"
#include "transport/port_failure.h"

namespace panelgrab::python {

namespace {

bool Is(const char* text, const char* fixed) {
    return text != nullptr && std::strcmp(text, fixed) == 0;
}

} // namespace

std::string PhoneFailure::Describe(const SerialPort& port) {
    return DescribePortFailure(port, FailureWording{"panelgrab.ports()", "baud=...", "force=True"});
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
    const std::string what = label + ": " + std::string(operation) + " failed: ";
    if (result == kPhoneBadAnswer) {
        return {ErrorKind::Phone, what + "the phone's answer could not be used", result};
    }
    if (std::string detail = phone.FailureDetail(); !detail.empty()) {
        return {ErrorKind::Phone, what + detail, result}; // refused before the line, or a bad picture
    }
    if (const char* text = phone.FailureText()) {
        return {ErrorKind::Phone, what + text, result}; // the port worked; the phone object knows why
    }
    return {KindOfPortText(phone.Port()), what + Describe(phone.Port()), result};
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
