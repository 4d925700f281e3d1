#include "transport/at/exchange_lock.h"

#include <utility>

namespace panelgrab {

void ExchangeLock::lock() {
    std::unique_lock state(state_);
    released_.wait(state, [this] { return !HeldByOtherThread(); });
    owner_ = std::this_thread::get_id();
    ++depth_;
}

bool ExchangeLock::try_lock() {
    std::lock_guard state(state_);
    if (HeldByOtherThread()) {
        return false;
    }
    owner_ = std::this_thread::get_id();
    ++depth_;
    return true;
}

void ExchangeLock::unlock() {
    std::unique_lock state(state_);
    while (depth_ == 1 && !deferred_.empty()) {
        std::vector<std::function<void()>> work = std::exchange(deferred_, {});
        state.unlock();
        for (auto& item : work) {
            item(); // may lock again: the owner is still this thread
        }
        state.lock();
    }
    if (--depth_ == 0) {
        owner_ = std::thread::id();
        state.unlock();
        released_.notify_one();
    }
}

bool ExchangeLock::TryLockOrDefer(std::function<void()> work) {
    std::lock_guard state(state_);
    if (HeldByOtherThread()) {
        deferred_.push_back(std::move(work));
        return false;
    }
    owner_ = std::this_thread::get_id();
    ++depth_;
    return true;
}

} // namespace panelgrab
