#include "server/phone_lock.h"

#include <random>

namespace panelgrab::server {

std::optional<std::string> PhoneLock::Acquire(const std::string& id, std::chrono::seconds lifetime,
                                              Clock::time_point now) {
    Expire(now);
    if (!holder_.empty() && holder_ != id) {
        return std::nullopt;
    }
    if (holder_.empty()) {
        holder_ = NewLockId();
    }
    expires_ = now + lifetime;
    return holder_;
}

bool PhoneLock::Release(const std::string& id, Clock::time_point now) {
    Expire(now);
    if (holder_.empty() || holder_ != id) {
        return false;
    }
    holder_.clear();
    return true;
}

bool PhoneLock::Permits(const std::string& id, Clock::time_point now) {
    Expire(now);
    return holder_.empty() || holder_ == id;
}

bool PhoneLock::Held(Clock::time_point now) {
    Expire(now);
    return !holder_.empty();
}

long long PhoneLock::SecondsLeft(Clock::time_point now) {
    Expire(now);
    if (holder_.empty()) {
        return 0;
    }
    return std::chrono::ceil<std::chrono::seconds>(expires_ - now).count();
}

void PhoneLock::Expire(Clock::time_point now) {
    if (!holder_.empty() && now >= expires_) {
        holder_.clear();
    }
}

std::string NewLockId() {
    std::random_device source;
    static constexpr char kHex[] = "0123456789abcdef";
    std::string id;
    for (int i = 0; i < 4; ++i) {
        uint32_t bits = source();
        for (int nibble = 0; nibble < 8; ++nibble, bits >>= 4) {
            id += kHex[bits & 0xf];
        }
    }
    return id;
}

} // namespace panelgrab::server
