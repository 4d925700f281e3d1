#include "session/failure.h"

#include "capture/capture_texts.h"

namespace panelgrab {

Failure FailureOf(FailureKind kind, std::string text, std::string port) {
    Failure failure;
    failure.kind = kind;
    failure.text = std::move(text);
    failure.port = std::move(port);
    return failure;
}

std::string FailureReason(const Failure& failure) {
    if (failure.advice.empty()) {
        return failure.text;
    }
    if (failure.text.empty()) {
        return failure.advice;
    }
    return failure.text + " " + failure.advice;
}

std::string FailureMessage(const Failure& failure) {
    std::string message = failure.port.empty() ? std::string() : failure.port + ": ";
    if (!failure.context.empty()) {
        message += failure.context + ": ";
    } else if (!failure.operation.empty()) {
        message += failure.operation + " failed: ";
    }
    return message + FailureReason(failure);
}

const char* DisplayTooLargeText() {
    return kTextDisplayTooLarge;
}

const char* FailureKindName(FailureKind kind) {
    switch (kind) {
    case FailureKind::NoSuchDevice:
        return "no such device";
    case FailureKind::Permission:
        return "permission";
    case FailureKind::PortBusy:
        return "port busy";
    case FailureKind::PortFailed:
        return "port failed";
    case FailureKind::NotResponding:
        return "not responding";
    case FailureKind::Refused:
        return "refused";
    case FailureKind::BadAnswer:
        return "bad answer";
    case FailureKind::DisplayTooLarge:
        return "display too large";
    case FailureKind::PhoneGone:
        return "phone gone";
    case FailureKind::Stopped:
        return "stopped";
    case FailureKind::BadInput:
        return "bad input";
    case FailureKind::File:
        return "file";
    }
    return "unknown";
}

} // namespace panelgrab
