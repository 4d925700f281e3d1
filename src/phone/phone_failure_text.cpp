#include "phone/phone_failure_text.h"

namespace panelgrab {

std::string DescribeOperationFailure(const PhoneLink& phone, int32_t result, const FailureWording& wording) {
    if (result == kPhoneBadAnswer) {
        return "the phone's answer could not be used";
    }
    if (std::string detail = phone.FailureDetail(); !detail.empty()) {
        return detail; // the phone object's own account of what was wrong
    }
    if (const char* text = phone.FailureText()) {
        return text; // the port worked; the phone object knows what went wrong
    }
    return DescribePortFailure(phone.Port(), wording);
}

std::string DescribeJobFailure(const PhoneLink& phone, const std::string& reason,
                               const FailureWording& wording) {
    if (reason.empty() || reason == phone.Port().errorText()) {
        return DescribePortFailure(phone.Port(), wording);
    }
    return reason;
}

} // namespace panelgrab
