#pragma once

#include <cstdint>
#include <string>

#include "phone/phone_link.h"
#include "session/failure.h"
#include "session/port_failure.h"

namespace panelgrab {

// Failures made from what the phone object and its port report, worded for the user
// (DescribePortFailure) and classified by the port's system error and fixed texts.

// A port's failure: opening it, or an exchange over it; the second form for the port's last one.
Failure PortFailure(const PortFailureReport& report, const std::string& label, const FailureWording& wording);
Failure PortFailure(const SerialPort& port, const std::string& label, const FailureWording& wording);

// A phone operation that returned `result` (not kPhoneOk).
Failure OperationFailure(const PhoneLink& phone, int32_t result, const std::string& label,
                         const FailureWording& wording);

// A background read or live view that ended short, for the `reason` it left (GetReadFailure,
// GetLiveFailure), with `context` saying how far it came.
Failure JobFailure(const PhoneLink& phone, const std::string& reason, const std::string& label,
                   const FailureWording& wording, std::string context);

} // namespace panelgrab
