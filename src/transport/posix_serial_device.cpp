#include "transport/posix_serial_device.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "transport/posix_custom_baud.h"

namespace panelgrab {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

struct RateCode {
    int32_t rate;
    speed_t code;
};

constexpr RateCode kRateCodes[] = {
    {300, B300},         {600, B600},     {1200, B1200},     {1800, B1800},
    {2400, B2400},       {4800, B4800},   {9600, B9600},     {19200, B19200},
    {38400, B38400},     {57600, B57600}, {115200, B115200}, {230400, B230400},
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B500000
    {500000, B500000},
#endif
#ifdef B576000
    {576000, B576000},
#endif
#ifdef B921600
    {921600, B921600},
#endif
#ifdef B1000000
    {1000000, B1000000},
#endif
#ifdef B1500000
    {1500000, B1500000},
#endif
#ifdef B2000000
    {2000000, B2000000},
#endif
};

bool StandardRateCode(int32_t rate, speed_t& code) {
    for (const RateCode& entry : kRateCodes) {
        if (entry.rate == rate) {
            code = entry.code;
            return true;
        }
    }
    return false;
}

// A pseudo-terminal and some drivers lack modem lines and exclusive mode; that is no failure.
bool IsUnsupportedIoctl(int error) {
    return error == ENOTTY || error == EINVAL;
}

int TryIoctl(int fd, unsigned long request, int* argument) {
    const int status = argument ? ioctl(fd, request, argument) : ioctl(fd, request);
    return status == 0 || IsUnsupportedIoctl(errno) ? 0 : errno;
}

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(left);
}

// The superuser passes another program's exclusive mode, and clearing it on close would take the
// port from under that program: a port already in exclusive mode counts as busy.
bool HeldExclusively(int fd) {
#ifdef TIOCGEXCL
    int exclusive = 0;
    return ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
#else
    (void)fd;
    return false;
#endif
}

void CloseQuietly(int fd) {
    if (fd >= 0) {
        ::close(fd);
    }
}

int MakeRawLine(int fd, int32_t baudRate, bool& standardRate) {
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) {
        return errno;
    }
    cfmakeraw(&settings);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB);
    // No CRTSCTS: it would also hold our output until the phone raises CTS, and many phone cables
    // leave CTS unconnected. Linux has no input-only hardware handshake, so RTS is simply kept
    // raised (below): we are always ready, since the reader drains the driver's buffer as data comes.
    settings.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    // Reads are paced by poll(); the driver returns whatever is there.
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    speed_t code = B9600;
    standardRate = StandardRateCode(baudRate, code);
    if (standardRate && cfsetspeed(&settings, code) != 0) {
        return errno;
    }
    if (tcsetattr(fd, TCSANOW, &settings) != 0) {
        return errno;
    }
    if (!standardRate) {
        return 0;
    }
    // tcsetattr succeeds when any part of the request was applied; the rate must have been.
    termios applied{};
    if (tcgetattr(fd, &applied) != 0) {
        return errno;
    }
    return cfgetospeed(&applied) == code ? 0 : EINVAL;
}

} // namespace

const int SerialDevice::kCanceledError = ECANCELED;
const int SerialDevice::kOversizeError = EMSGSIZE;

std::unique_ptr<SerialDevice> CreateLocalSerialDevice() {
    return std::make_unique<PosixSerialDevice>();
}

PosixSerialDevice::~PosixSerialDevice() {
    Close();
}

int PosixSerialDevice::Open(const std::string& path) {
    Close();
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    // Two programs on one line garble each other's exchanges: take the port for this one alone.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    int error = HeldExclusively(fd) ? EBUSY : TryIoctl(fd, TIOCEXCL, nullptr);
    if (error != 0) {
        Unlock(fd); // the exclusive mode is not ours to clear
        return error;
    }
    int wake[2] = {-1, -1};
    if (pipe(wake) != 0) {
        error = errno;
        ReleasePort(fd);
        return error;
    }
    for (int end : wake) {
        fcntl(end, F_SETFD, FD_CLOEXEC);
        fcntl(end, F_SETFL, O_NONBLOCK);
    }
    std::lock_guard lock(mutex_);
    configured_ = false;
    fd_ = fd;
    wakeFd_ = wake[0];
    wakeSignalFd_ = wake[1];
    return 0;
}

int PosixSerialDevice::Configure(int32_t baudRate) {
    if (baudRate <= 0) {
        return EINVAL;
    }
    Use use;
    if (!BeginUse(use)) {
        return EBADF;
    }
    bool standardRate = true;
    int error = MakeRawLine(use.fd, baudRate, standardRate);
    if (error == 0 && !standardRate) {
        error = SetCustomBaudRate(use.fd, baudRate);
    }
    if (error == 0) {
        int lines = TIOCM_DTR | TIOCM_RTS;
        error = TryIoctl(use.fd, TIOCMBIS, &lines);
    }
    EndUse();
    if (error == 0) {
        std::lock_guard lock(mutex_);
        configured_ = true;
    }
    return error;
}

SerialDevice::IoResult PosixSerialDevice::Read(char* buffer, std::size_t size, milliseconds wait) {
    Use use;
    if (!BeginUse(use)) {
        return {0, EBADF};
    }
    IoResult result;
    const auto deadline = Clock::now() + wait;
    while (size > 0) {
        const int waited = WaitFor(use, POLLIN, deadline);
        if (waited == EAGAIN) {
            break; // nothing within the wait
        }
        if (waited != 0) {
            result.error = waited;
            break;
        }
        const ssize_t n = ::read(use.fd, buffer, size);
        if (n > 0) {
            result.count = static_cast<std::size_t>(n);
            break;
        }
        if (n == 0) {
            result.error = EIO; // end of file on a tty: the other side hung up
            break;
        }
        if (errno != EINTR && errno != EAGAIN) {
            result.error = errno;
            break;
        }
    }
    EndUse();
    return result;
}

SerialDevice::IoResult PosixSerialDevice::Write(const char* data, std::size_t size, milliseconds bound) {
    Use use;
    if (!BeginUse(use)) {
        return {0, EBADF};
    }
    IoResult result;
    const auto deadline = Clock::now() + bound;
    while (result.count < size) {
        const ssize_t n = ::write(use.fd, data + result.count, size - result.count);
        if (n > 0) {
            result.count += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN) {
            result.error = errno;
            break;
        }
        // The driver's queue is full (e.g. the handshake holds the line): wait, but not for ever.
        const int waited = WaitFor(use, POLLOUT, deadline);
        if (waited != 0) {
            result.error = waited == EAGAIN ? ETIMEDOUT : waited;
            break;
        }
    }
    EndUse();
    return result;
}

void PosixSerialDevice::Close() {
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
    if (configured_) {
        // Output still queued (a held handshake) would make close() wait for it; it is dropped.
        tcflush(fd_, TCIOFLUSH);
    }
    ReleasePort(fd_);
    CloseQuietly(wakeFd_);
    CloseQuietly(wakeSignalFd_);
    fd_ = wakeFd_ = wakeSignalFd_ = -1;
    closing_ = false;
    lock.unlock();
    idle_.notify_all();
}

bool PosixSerialDevice::IsOpen() const {
    std::lock_guard lock(mutex_);
    return fd_ >= 0 && !closing_;
}

bool PosixSerialDevice::BeginUse(Use& use) {
    std::lock_guard lock(mutex_);
    if (fd_ < 0 || closing_) {
        return false;
    }
    ++users_;
    use.fd = fd_;
    use.wakeFd = wakeFd_;
    return true;
}

void PosixSerialDevice::EndUse() {
    std::lock_guard lock(mutex_);
    if (--users_ == 0) {
        idle_.notify_all();
    }
}

int PosixSerialDevice::WaitFor(const Use& use, short events, Clock::time_point deadline) {
    for (;;) {
        pollfd fds[2] = {{use.fd, events, 0}, {use.wakeFd, POLLIN, 0}};
        const int ready = ::poll(fds, 2, MillisecondsLeft(deadline));
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (fds[1].revents != 0) {
            return kAborted;
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

void PosixSerialDevice::ReleasePort(int fd) {
    ioctl(fd, TIOCNXCL);
    Unlock(fd);
}

void PosixSerialDevice::Unlock(int fd) {
    flock(fd, LOCK_UN);
    ::close(fd);
}

} // namespace panelgrab
