#include "session/phone_failures.h"

#include "capture/capture_texts.h"
#include "phone/phone_texts.h"
#include "transport/at/serial_port.h"

namespace panelgrab {
namespace {

// The kind of a failure the phone object explains itself (its fixed text, or its own account).
FailureKind KindOfPhoneReason(const PhoneLink& phone) {
    const char* text = phone.FailureText();
    if (text == kTextDisplayTooLarge) {
        return FailureKind::DisplayTooLarge;
    }
    if (text == kTextNoBulkRead) {
        return FailureKind::Refused;
    }
    if (text == kTextTransferHoldsPort || text == kTextLiveViewHoldsPort) {
        return FailureKind::BadInput; // asked at a time the port is taken: the caller's to change
    }
    return FailureKind::BadAnswer;
}

} // namespace

Failure PortFailure(const PortFailureReport& report, const std::string& label,
                    const FailureWording& wording) {
    return FailureOf(KindOfPortFailure(report), DescribePortFailure(report, wording), label);
}

Failure PortFailure(const SerialPort& port, const std::string& label, const FailureWording& wording) {
    return PortFailure(ReportOf(port), label, wording);
}

Failure OperationFailure(const PhoneLink& phone, int32_t result, const std::string& label,
                         const FailureWording& wording) {
    if (result == kPhoneBadAnswer) {
        return FailureOf(FailureKind::BadAnswer, "the phone's answer could not be used", label);
    }
    // The phone object's own account, or its fixed text, makes it the phone's failure (the port
    // worked); otherwise the port's report tells, with the OS reason and advice.
    if (std::string detail = phone.FailureDetail(); !detail.empty()) {
        return FailureOf(KindOfPhoneReason(phone), std::move(detail), label);
    }
    if (const char* text = phone.FailureText()) {
        return FailureOf(KindOfPhoneReason(phone), text, label);
    }
    return PortFailure(phone.Port(), label, wording);
}

Failure JobFailure(const PhoneLink& phone, const std::string& reason, const std::string& label,
                   const FailureWording& wording, std::string context) {
    // The job left the port's text (or none) when the port failed; else the screen buffer's own text.
    const bool portReason = reason.empty() || reason == phone.Port().errorText();
    Failure failure = portReason ? PortFailure(phone.Port(), label, wording)
                                 : FailureOf(reason == kTextDisplayTooLarge ? FailureKind::DisplayTooLarge
                                                                            : FailureKind::BadAnswer,
                                             reason, label);
    failure.context = std::move(context);
    return failure;
}

} // namespace panelgrab
