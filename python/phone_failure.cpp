#include "python/phone_failure.h"

#include <cerrno>
#include <cstring>

#include "transport/exchange_result.h"
#include "transport/port_holders.h"
#include "transport/port_names.h"

namespace panelgrab::python {

namespace {

bool Is(const char* text, const char* fixed) {
    return text != nullptr && std::strcmp(text, fixed) == 0;
}

std::string HoldersOf(const SerialPort& port) {
    std::string names;
    for (const PortHolder& holder : FindPortHolders(DevicePathOf(port.settings().GetPortName()))) {
        names += (names.empty() ? "" : ", ") + holder.name + " (pid " + std::to_string(holder.pid) + ")";
    }
    return names;
}

// What a script's author can do about the failure, in the module's terms.
std::string Advice(const SerialPort& port) {
    switch (port.systemError()) {
    case EACCES:
    case EPERM:
        return "Add your user to the dialout group (sudo usermod -aG dialout \"$USER\", then log in again), "
               "or install the udev rule described in docs/INSTALL.md.";
    case EBUSY:
    case EWOULDBLOCK: {
        const std::string holders = HoldersOf(port);
        return "It is held by " + (holders.empty() ? std::string("another program") : holders) +
               "; close it there.";
    }
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return "Check the port name (panelgrab.ports() lists the ports) and the cable.";
    case EIO:
        return "The phone went away: check the cable and that the phone is on.";
    default:
        break;
    }
    if (Is(port.errorText(), kTextPhoneNotResponding) || Is(port.errorText(), ExchangeResultText(TimedOut))) {
        return "Check that the phone is on and connected, and the baud rate (baud=...).";
    }
    return {};
}

} // namespace

std::string PhoneFailure::Describe(const SerialPort& port) {
    std::string text = port.errorText();
    if (const int error = port.systemError(); error != 0) {
        text += " (" + DescribeSystemError(error) + ")";
    }
    if (const std::string advice = Advice(port); !advice.empty()) {
        text +=
            text.back() == '.' || text.back() == ')' ? " " : ". "; // "Phone is not responding" has no stop
        text += advice;
    }
    return text;
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
