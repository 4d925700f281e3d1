#include "session/live_view.h"

#include "phone/phone_link.h"

namespace panelgrab {

LiveView::LiveView(PhoneLink& phone) : phone_(phone) {}

LiveView::~LiveView() {
    Stop();
}

bool LiveView::Running() const {
    return !stopped_ && phone_.IsLiveViewRunning();
}

void LiveView::WaitForRefresh(int32_t timeoutMs) {
    phone_.WaitForLiveRefresh(timeoutMs);
}

std::vector<LiveRefreshStats> LiveView::TakeRefreshes() {
    std::vector<LiveRefreshStats> finished;
    phone_.TakeLiveRefreshes(finished);
    return finished;
}

std::shared_ptr<const Picture> LiveView::Settled(int64_t* refreshNumber) const {
    return phone_.GetLiveSnapshot(refreshNumber);
}

std::shared_ptr<const Picture> LiveView::Current() {
    std::vector<RowSpan> changed;
    return Current(changed);
}

std::shared_ptr<const Picture> LiveView::Current(std::vector<RowSpan>& arrived) {
    const DisplayBitmap* bitmap = nullptr;
    if (phone_.GetLiveImage(bitmap, arrived) != kPhoneOk || bitmap == nullptr) {
        return nullptr;
    }
    return std::make_shared<const Picture>(bitmap->ToPicture());
}

std::string LiveView::EndReason() const {
    return phone_.GetLiveFailure();
}

void LiveView::RequestFullRead() {
    phone_.RequestLiveFullRead();
}

void LiveView::Stop() {
    if (stopped_) {
        return;
    }
    stopped_ = true;
    phone_.StopLiveView();
    phone_.SetLiveUpdateHandler(nullptr);
}

} // namespace panelgrab
