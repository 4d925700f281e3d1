#include "transport/shared_descriptor.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include "transport/serial_device.h"

namespace panelgrab {
namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(left);
}

void CloseQuietly(int fd) {
    if (fd >= 0) {
        ::close(fd);
    }
}

} // namespace

SharedDescriptor::Use::Use(SharedDescriptor& owner) : owner_(owner) {
    std::lock_guard lock(owner_.mutex_);
    if (owner_.fd_ < 0 || owner_.closing_) {
        return;
    }
    ++owner_.users_;
    fd_ = owner_.fd_;
    wakeFd_ = owner_.wakeFd_;
}

SharedDescriptor::Use::~Use() {
    if (fd_ < 0) {
        return;
    }
    std::lock_guard lock(owner_.mutex_);
    if (--owner_.users_ == 0) {
        owner_.idle_.notify_all();
    }
}

int SharedDescriptor::Use::WaitFor(short events, Clock::time_point deadline) const {
    for (;;) {
        pollfd fds[2] = {{fd_, events, 0}, {wakeFd_, POLLIN, 0}};
        const int ready = ::poll(fds, 2, MillisecondsLeft(deadline));
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (fds[1].revents != 0) {
            return SerialDevice::kAborted;
        }
        if ((fds[0].revents & events) != 0) {
            return 0;
        }
        if ((fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            return EIO;
        }
        if (ready == 0) {
            return EAGAIN;
        }
    }
}

SharedDescriptor::~SharedDescriptor() {
    Close([](int fd) { ::close(fd); });
}

int SharedDescriptor::Adopt(int fd) {
    int wake[2] = {-1, -1};
    if (pipe(wake) != 0) {
        return errno;
    }
    for (int end : wake) {
        fcntl(end, F_SETFD, FD_CLOEXEC);
        fcntl(end, F_SETFL, O_NONBLOCK);
    }
    std::lock_guard lock(mutex_);
    if (fd_ >= 0) {
        CloseQuietly(wake[0]);
        CloseQuietly(wake[1]);
        return EBUSY; // one descriptor at a time: the owner closes before it adopts another
    }
    fd_ = fd;
    wakeFd_ = wake[0];
    wakeSignalFd_ = wake[1];
    return 0;
}

void SharedDescriptor::Close(const std::function<void(int)>& release) {
    std::unique_lock lock(mutex_);
    if (fd_ < 0) {
        return;
    }
    if (closing_) {
        idle_.wait(lock, [this] { return fd_ < 0; });
        return;
    }
    closing_ = true;
    const char wake = 1;
    (void)!::write(wakeSignalFd_, &wake, 1);
    idle_.wait(lock, [this] { return users_ == 0; });
    release(fd_);
    CloseQuietly(wakeFd_);
    CloseQuietly(wakeSignalFd_);
    fd_ = wakeFd_ = wakeSignalFd_ = -1;
    closing_ = false;
    lock.unlock();
    idle_.notify_all();
}

bool SharedDescriptor::IsOpen() const {
    std::lock_guard lock(mutex_);
    return fd_ >= 0 && !closing_;
}

} // namespace panelgrab
