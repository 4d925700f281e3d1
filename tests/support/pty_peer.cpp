#include "support/pty_peer.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace panelgrab::test {
namespace {

using Clock = std::chrono::steady_clock;
// Longest time a wait inside a step goes without looking at Stop().
constexpr std::chrono::milliseconds kSlice{5};

} // namespace

PtyPeer::PtyPeer() {
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
        master_ = slave_ = -1;
        return;
    }
    termios raw{};
    tcgetattr(slave_, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave_, TCSANOW, &raw);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    fcntl(slave_, F_SETFD, FD_CLOEXEC);
    slavePath_ = name;
}

PtyPeer::~PtyPeer() {
    Stop();
    if (master_ >= 0) {
        ::close(master_);
    }
    if (slave_ >= 0) {
        ::close(slave_);
    }
}

PtyPeer& PtyPeer::Add(Step step) {
    {
        std::lock_guard lock(mutex_);
        steps_.push_back(std::move(step));
    }
    changed_.notify_all();
    return *this;
}

void PtyPeer::Start() {
    if (ok() && !thread_.joinable()) {
        thread_ = std::thread([this] { Run(); });
    }
}

void PtyPeer::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

bool PtyPeer::WaitUntilDone(Duration limit) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [this] { return steps_.empty() && !running_; });
}

void PtyPeer::Push(std::string_view bytes) {
    std::lock_guard lock(writeMutex_);
    while (master_ >= 0 && !bytes.empty()) {
        const ssize_t n = ::write(master_, bytes.data(), bytes.size());
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
        } else if (n < 0 && errno != EINTR && errno != EAGAIN) {
            return;
        }
    }
}

std::vector<std::string> PtyPeer::Commands() const {
    std::lock_guard lock(mutex_);
    return commands_;
}

void PtyPeer::Run() {
    Step step;
    while (NextStep(step)) {
        RunStep(step);
        {
            std::lock_guard lock(mutex_);
            running_ = false;
        }
        changed_.notify_all();
    }
}

// Takes the next step, collecting the client's input while there is none.
bool PtyPeer::NextStep(Step& step) {
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_) {
                return false;
            }
            if (!steps_.empty()) {
                step = std::move(steps_.front());
                steps_.pop_front();
                running_ = true;
                return true;
            }
        }
        if (!Collect(kSlice)) {
            std::unique_lock lock(mutex_);
            changed_.wait_for(lock, kSlice);
        }
    }
}

void PtyPeer::RunStep(const Step& step) {
    switch (step.kind) {
    case Kind::Expect:
        RunExpect();
        break;
    case Kind::Send:
        WriteAll(step.text);
        break;
    case Kind::Silence:
        CollectFor(step.delay);
        break;
    case Kind::Stream:
        RunStream(step);
        break;
    case Kind::HangUp: {
        std::lock_guard lock(writeMutex_);
        ::close(master_);
        master_ = -1;
        break;
    }
    }
}

void PtyPeer::RunExpect() {
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            const std::size_t end = pending_.find('\r');
            if (end != std::string::npos) {
                commands_.push_back(pending_.substr(0, end + 1));
                pending_.erase(0, end + 1);
                changed_.notify_all();
                return;
            }
        }
        if (Stopping() || !Collect(kSlice)) {
            return;
        }
    }
}

void PtyPeer::RunStream(const Step& step) {
    while (!Stopping() && WriteAll(step.text)) {
    }
    // Nothing after an endless stream runs: drop the rest of the script.
    std::lock_guard lock(mutex_);
    steps_.clear();
}

bool PtyPeer::Collect(Duration wait) {
    if (master_ < 0) {
        return false;
    }
    pollfd fd = {master_, POLLIN, 0};
    if (::poll(&fd, 1, static_cast<int>(wait.count())) <= 0 || (fd.revents & POLLIN) == 0) {
        return true;
    }
    char buffer[4096];
    const ssize_t n = ::read(master_, buffer, sizeof buffer);
    if (n > 0) {
        std::lock_guard lock(mutex_);
        pending_.append(buffer, static_cast<std::size_t>(n));
    }
    return true;
}

bool PtyPeer::WriteAll(std::string_view bytes) {
    while (!bytes.empty()) {
        if (master_ < 0 || Stopping()) {
            return false;
        }
        ssize_t n = 0;
        {
            std::lock_guard lock(writeMutex_);
            n = ::write(master_, bytes.data(), bytes.size());
        }
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
        } else if (n < 0 && errno != EINTR && errno != EAGAIN) {
            return false;
        } else {
            // The client's input queue is full: keep taking its output meanwhile.
            Collect(Duration(1));
        }
    }
    return true;
}

void PtyPeer::CollectFor(Duration duration) {
    const auto end = Clock::now() + duration;
    while (!Stopping() && Clock::now() < end) {
        const auto left = std::chrono::duration_cast<Duration>(end - Clock::now());
        if (!Collect(std::clamp(left, Duration(0), kSlice))) {
            std::unique_lock lock(mutex_);
            changed_.wait_for(lock, std::clamp(left, Duration(0), kSlice));
        }
    }
}

bool PtyPeer::Stopping() const {
    std::lock_guard lock(mutex_);
    return stopping_;
}

} // namespace panelgrab::test
