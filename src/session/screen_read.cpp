#include "session/screen_read.h"

#include <algorithm>

#include "phone/phone_link.h"
#include "session/phone_failures.h"

namespace panelgrab {

ScreenRead::ScreenRead(PhoneLink& phone, DisplayInfo display, std::string label,
                       const FailureWording& wording, std::function<void()> stopping)
    : phone_(phone), display_(display), label_(std::move(label)), wording_(wording),
      stopping_(std::move(stopping)) {}

ScreenRead::~ScreenRead() {
    if (Running()) {
        Stop();
    }
}

bool ScreenRead::Running() const {
    return !stopped_ && phone_.IsReadRunning();
}

int64_t ScreenRead::Lines() const {
    // A display that claims lines of no characters has no complete line to show while it arrives.
    if (display_.lineLength == 0) {
        return 0;
    }
    return std::max(phone_.GetReadProgress(), 0) / display_.lineLength;
}

std::shared_ptr<const Picture> ScreenRead::Current() const {
    const DisplayBitmap* bitmap = nullptr;
    if (phone_.GetReadImage(bitmap) != kPhoneOk || bitmap == nullptr) {
        return nullptr;
    }
    return std::make_shared<const Picture>(bitmap->ToPicture());
}

Result<void> ScreenRead::Outcome() const {
    if (stopped_) {
        return {};
    }
    // A whole count is not yet a whole picture: digits past its end or a malformed line fail the
    // read as well, and the worker says why. A short count fails it in any case.
    const std::string failure = phone_.GetReadFailure();
    const int64_t received = std::max(phone_.GetReadProgress(), 0);
    if (failure.empty() && received >= static_cast<int64_t>(display_.height) * display_.lineLength) {
        return {};
    }
    return JobFailure(phone_, failure, label_, wording_,
                      "the read ended after " + std::to_string(Lines()) + " of " +
                          std::to_string(display_.height) + " lines");
}

void ScreenRead::Stop() {
    if (stopped_) {
        return;
    }
    stopped_ = true;
    // Closing the port ends the transfer now instead of after the picture's last line.
    stopping_();
    phone_.StopScreenRead();
}

} // namespace panelgrab
