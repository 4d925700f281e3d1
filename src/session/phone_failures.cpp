#include "session/phone_failures.h"

#include <cstring>

#include "capture/capture_texts.h"
#include "phone/phone_failure_text.h"
#include "transport/at/exchange_result.h"
#include "transport/bytes/device_errors.h"

namespace panelgrab {
namespace {

bool Is(const char* text, const char* fixed) {
    return text != nullptr && std::strcmp(text, fixed) == 0;
}

FailureKind KindOfPort(const SerialPort& port) {
    switch (TroubleOf(port.systemError())) {
    case PortTrouble::Permission:
        return FailureKind::Permission;
    case PortTrouble::Busy:
        return FailureKind::PortBusy;
    case PortTrouble::NoSuchPort:
        return FailureKind::NoSuchDevice;
    case PortTrouble::Gone:
        return FailureKind::PhoneGone;
    case PortTrouble::Unreachable:
    case PortTrouble::ConnectionClosed:
    case PortTrouble::NotRfc2217:
        return FailureKind::PortFailed;
    case PortTrouble::Other:
        break;
    }
    const char* text = port.errorText();
    if (Is(text, kTextPhoneNotResponding) || Is(text, ExchangeResultText(TimedOut))) {
        return FailureKind::NotResponding;
    }
    return Is(text, ExchangeResultText(ErrorAnswer)) ? FailureKind::Refused : FailureKind::PortFailed;
}

// The kind of a failure the phone object explains itself (its fixed text, or its own account).
FailureKind KindOfPhoneReason(const PhoneLink& phone) {
    const char* text = phone.FailureText();
    if (text == kTextDisplayTooLarge) {
        return FailureKind::DisplayTooLarge;
    }
    if (text == kTextNoBulkRead) {
        return FailureKind::Refused;
    }
    return FailureKind::BadAnswer;
}

} // namespace

Failure PortFailure(const SerialPort& port, const std::string& label, const FailureWording& wording) {
    return FailureOf(KindOfPort(port), DescribePortFailure(port, wording), label);
}

Failure OperationFailure(const PhoneLink& phone, int32_t result, const std::string& label,
                         const FailureWording& wording) {
    const std::string text = DescribeOperationFailure(phone, result, wording);
    if (result == kPhoneBadAnswer) {
        return FailureOf(FailureKind::BadAnswer, text, label);
    }
    // The phone object's own reason makes it the phone's failure; otherwise the port's text tells.
    const bool phoneKnows = !phone.FailureDetail().empty() || phone.FailureText() != nullptr;
    return FailureOf(phoneKnows ? KindOfPhoneReason(phone) : KindOfPort(phone.Port()), text, label);
}

Failure JobFailure(const PhoneLink& phone, const std::string& reason, const std::string& label,
                   const FailureWording& wording, std::string context) {
    const bool portReason = reason.empty() || reason == phone.Port().errorText();
    FailureKind kind = KindOfPort(phone.Port());
    if (!portReason) { // the screen buffer's own text
        kind = reason == kTextDisplayTooLarge ? FailureKind::DisplayTooLarge : FailureKind::BadAnswer;
    }
    Failure failure = FailureOf(kind, DescribeJobFailure(phone, reason, wording), label);
    failure.context = std::move(context);
    return failure;
}

} // namespace panelgrab
