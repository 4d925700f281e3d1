#pragma once

#include <cstdint>
#include <string>

#include "phone/phone_link.h"
#include "transport/at/port_failure.h"

namespace panelgrab {

// The words every front end uses for a phone operation's failure, so that the window, the command
// line and the Python module say the same about the same fault.

// Why an operation that returned `result` failed: an unusable answer for kPhoneBadAnswer, else the
// phone object's own reason where it has one (the port worked), else the port's text, OS reason and
// advice (DescribePortFailure).
std::string DescribeOperationFailure(const PhoneLink& phone, int32_t result,
                                     const FailureWording& wording = {});

// Why a background read or live view ended short, from the `reason` it left (GetReadFailure,
// GetLiveFailure): the screen buffer's own text as it is; the port's text (or no reason) becomes the
// port's text, OS reason and advice.
std::string DescribeJobFailure(const PhoneLink& phone, const std::string& reason,
                               const FailureWording& wording = {});

} // namespace panelgrab
