#include "transport/bytes/posix_shared_descriptor.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include "transport/bytes/serial_device.h"

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

SerialDevice::IoResult SharedDescriptor::Use::Read(char* buffer, std::size_t size,
                                                   std::chrono::milliseconds wait, const Io& io) const {
    SerialDevice::IoResult result;
    const auto deadline = Clock::now() + wait;
    while (size > 0) {
        const int waited = WaitFor(POLLIN, deadline);
        if (waited == EAGAIN) {
            break; // nothing within the wait
        }
        if (waited != 0) {
            result.error = waited == SerialDevice::kAborted ? waited : io.failure(fd_, waited);
            break;
        }
        const std::ptrdiff_t n = io.read(fd_, buffer, size);
        if (n > 0) {
            if (io.afterRead != nullptr) {
                io.afterRead(fd_);
            }
            result.count = static_cast<std::size_t>(n);
            break;
        }
        if (n == 0) {
            result.error = io.failure(fd_, kEndOfInput); // the other side hung up: a failure, never empty
            break;
        }
        if (errno != EINTR && errno != EAGAIN) {
            result.error = io.failure(fd_, errno);
            break;
        }
    }
    return result;
}

SerialDevice::IoResult SharedDescriptor::Use::Write(const char* data, std::size_t size,
                                                    std::chrono::milliseconds bound, const Io& io) const {
    SerialDevice::IoResult result;
    const auto deadline = Clock::now() + bound;
    while (result.count < size) {
        const std::ptrdiff_t n = io.write(fd_, data + result.count, size - result.count);
        if (n > 0) {
            result.count += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN) {
            result.error = io.failure(fd_, errno);
            break;
        }
        // The other side does not take data as fast as it comes (a held handshake, a slow server):
        // wait, but not for ever.
        const int waited = WaitFor(POLLOUT, deadline);
        if (waited != 0) {
            result.error = waited == EAGAIN                   ? ETIMEDOUT
                           : waited == SerialDevice::kAborted ? waited
                                                              : io.failure(fd_, waited);
            break;
        }
    }
    return result;
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
