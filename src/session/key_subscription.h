#pragma once

#include <chrono>
#include <string>

#include "session/result.h"

namespace panelgrab {

class PhoneLink;
struct FailureWording;

// The phone's key reporting, switched on for one receiver (Session::ListenToKeys). Ending it
// switches the reporting off; the destructor does so when Stop was not called. Must end before the
// session.
class KeySubscription {
public:
    KeySubscription(PhoneLink& phone, std::string label, const FailureWording& wording);
    ~KeySubscription();
    KeySubscription(const KeySubscription&) = delete;
    KeySubscription& operator=(const KeySubscription&) = delete;

    // Switches the reporting off: no event reaches the receiver once this returns. Fails when the
    // phone did not confirm the switch-off. A second call does nothing.
    Result<void> Stop();
    // The same, but a phone that has not confirmed within `limit` gets its port closed under the
    // switch-off, so that ending never waits out the retries of a phone that stopped answering.
    void StopWithin(std::chrono::milliseconds limit);

private:
    PhoneLink& phone_;
    std::string label_;
    const FailureWording& wording_;
    bool stopped_ = false;
};

// Why the key events ended by themselves: the listener lost the phone for `reason`.
Failure KeyEventsLost(const std::string& reason, const std::string& label);

} // namespace panelgrab
