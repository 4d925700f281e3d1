#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "capture/display_info.h"
#include "common/image/picture.h"
#include "session/result.h"

namespace panelgrab {

class PhoneLink;
struct FailureWording;

// A display read running on the phone's background worker (Session::StartRead), for a front end
// that looks at it now and then and draws the lines as they arrive. Ending it stops the transfer;
// the destructor does so when it still runs. Must end before the session.
//
// Threading: every call from the session's operations thread.
class ScreenRead {
public:
    // `stopping` closes the port and notes when the phone will have finished sending.
    ScreenRead(PhoneLink& phone, DisplayInfo display, std::string label, const FailureWording& wording,
               std::function<void()> stopping);
    ~ScreenRead();
    ScreenRead(const ScreenRead&) = delete;
    ScreenRead& operator=(const ScreenRead&) = delete;

    bool Running() const;
    // The complete lines received so far.
    int64_t Lines() const;
    // The picture as it is now, the lines not yet received as the last read left them; null when
    // there is none yet.
    std::shared_ptr<const Picture> Current() const;
    // Once the read has ended: the failure that cut it short ("the read ended after 3 of 220
    // lines: ..."), or nothing when every line arrived.
    Result<void> Outcome() const;
    // Ends the transfer at once by closing the port; the phone goes on sending the rest of its
    // picture (Session::Reopen, or a later open's drain, waits that out). A second call does nothing.
    void Stop();

private:
    PhoneLink& phone_;
    DisplayInfo display_;
    std::string label_;
    const FailureWording& wording_;
    std::function<void()> stopping_;
    bool stopped_ = false;
};

} // namespace panelgrab
