#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace panelgrab {

// The lock that keeps a port's exchanges whole. It is re-entrant, because a conversation (a picture
// request and its many answer lines) holds it across several exchanges; it can be tried without
// waiting, so a key listener never queues behind a picture transfer; and another thread can leave
// work with the holder, which runs it right before it lets go. That way a command that must not wait
// for a long transfer (switching key reports off) still reaches the phone, right after the transfer.
//
// Meets the standard's Lockable requirements, so std::lock_guard and std::unique_lock work with it.
class ExchangeLock {
public:
    void lock();
    bool try_lock();
    // The outermost unlock first runs the work left meanwhile, still holding the lock.
    void unlock();

    // Takes the lock when no other thread holds it (true: the caller holds it now and unlocks it);
    // otherwise leaves `work` to the holder, who runs it before it lets go (false). Never waits.
    bool TryLockOrDefer(std::function<void()> work);

private:
    bool HeldByOtherThread() const { return depth_ > 0 && owner_ != std::this_thread::get_id(); }

    std::mutex state_;
    std::condition_variable released_;
    std::thread::id owner_;
    int depth_ = 0;
    std::vector<std::function<void()>> deferred_;
};

} // namespace panelgrab
