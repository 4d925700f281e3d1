#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace panelgrab::server {

// Control of one phone reserved for one client: while the lock is held, only requests carrying its
// id press keys. It ends when freed or when it was not renewed in time. Used from one thread.
class PhoneLock {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds kDefaultLifetime{60};
    static constexpr std::chrono::seconds kMaxLifetime{3600};

    // Takes the lock, or renews it when `id` is the holder's. None while another client holds it.
    std::optional<std::string> Acquire(const std::string& id, std::chrono::seconds lifetime,
                                       Clock::time_point now);
    // Frees the lock when `id` holds it; false otherwise.
    bool Release(const std::string& id, Clock::time_point now);
    // True when nobody holds the lock or `id` does.
    bool Permits(const std::string& id, Clock::time_point now);
    bool Held(Clock::time_point now);
    // Seconds left of the held lock (0 when free).
    long long SecondsLeft(Clock::time_point now);

private:
    void Expire(Clock::time_point now);

    std::string holder_;
    Clock::time_point expires_{};
};

// A fresh id nobody can guess: 128 random bits in hexadecimal.
std::string NewLockId();

} // namespace panelgrab::server
