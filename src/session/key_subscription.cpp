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
        Failure failure = OperationFailure(phone_, result, label_, wording_);
        failure.operation = "switching key event reporting off";
        return failure;
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

Failure KeyEventsLost(const std::string& reason, const std::string& label) {
    Failure failure = FailureOf(FailureKind::PhoneGone,
                                "the phone stopped answering while listening for keys: " + reason, label);
    failure.advice = "Check the cable and that the phone is on.";
    return failure;
}

} // namespace panelgrab
