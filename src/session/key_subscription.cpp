#include "session/key_subscription.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include "phone/phone_link.h"
#include "session/phone_failures.h"

namespace panelgrab {

KeySubscription::KeySubscription(PhoneLink& phone, std::string label, const FailureWording& wording)
    : phone_(phone), label_(std::move(label)), wording_(wording) {}

KeySubscription::~KeySubscription() {
    if (!stopped_) {
        (void)Stop();
    }
}

Result<void> KeySubscription::Stop() {
    if (stopped_) {
        return {};
    }
    stopped_ = true;
    if (const int32_t result = phone_.StopKeyEvents(0); result != kPhoneOk) {
        return OperationFailure(phone_, result, label_, wording_);
    }
    return {};
}

void KeySubscription::StopWithin(std::chrono::milliseconds limit) {
    std::mutex lock;
    std::condition_variable ended;
    bool done = false;
    std::thread closer([&] {
        std::unique_lock<std::mutex> guard(lock);
        if (!ended.wait_for(guard, limit, [&] { return done; })) {
            phone_.ClosePortNow();
        }
    });
    (void)Stop();
    {
        const std::lock_guard<std::mutex> guard(lock);
        done = true;
    }
    ended.notify_all();
    closer.join();
}

} // namespace panelgrab
