#include "transport/bytes/posix_serial_device.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <vector>
#ifdef __linux__
#include <linux/magic.h>
#include <sys/vfs.h>
#endif

#include "transport/bytes/device_errors.h"
#include "transport/bytes/posix_custom_baud.h"
#include "transport/ports/port_holders.h"

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

// Only the superuser can have opened a tty whose flag is set: the kernel refuses anyone else with EBUSY.
bool ExclusiveFlagSet(int fd) {
#ifdef TIOCGEXCL
    int exclusive = 0;
    return ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
#else
    (void)fd;
    return false;
#endif
}

// A pseudo-terminal's tty lives as long as its master side, so an exclusive flag set on it
// outlives every descriptor of the program that set it.
bool IsPseudoTerminal(int fd) {
#ifdef __linux__
    struct statfs fileSystem {};
    return fstatfs(fd, &fileSystem) == 0 && fileSystem.f_type == DEVPTS_SUPER_MAGIC;
#else
    (void)fd;
    return false;
#endif
}

// True when a descriptor other than `ownFd` of this process, or any descriptor of another
// process, refers to the same terminal as `ownFd`. A process that cannot be looked at counts as a user.
bool OthersHaveOpen(int ownFd) {
    struct stat own {};
    if (fstat(ownFd, &own) != 0) {
        return true;
    }
    bool unreadable = false;
    const std::vector<PortHolder> holders = FindDeviceHolders(own.st_rdev, "/proc", &unreadable);
    const int self = getpid();
    for (const PortHolder& holder : holders) {
        if (holder.pid != self || holder.descriptors != std::vector<int>{ownFd}) {
            return true;
        }
    }
    return unreadable;
}

// Whether the superuser, who passes the exclusive flag, may take a port that has it set. Only a
// pseudo-terminal can hold a flag whose setter is gone; on any other tty the flag ends with the
// last descriptor, so a set flag means a program has the port now. The free lock (already taken
// by the caller) shows that no program using our locking holds it, and no open descriptor
// anywhere (that this process can see: not in other PID namespaces) shows that no other program
// does either: then the flag is stale.
bool StaleExclusiveFlag(int fd) {
    return IsPseudoTerminal(fd) && !OthersHaveOpen(fd);
}

int MakeRawLine(int fd, int32_t baudRate, bool& standardRate) {
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) {
        return errno;
    }
    cfmakeraw(&settings);
    // cfmakeraw clears only IXON. IXOFF left by an earlier program would let the driver put XON/XOFF
    // bytes among our commands, IXANY would let any byte restart output the phone had stopped.
    settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
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

// End of file on a tty means the other side hung up: the device is gone.
int LineFailure(int /*fd*/, int error) {
    return error == SharedDescriptor::kEndOfInput ? EIO : error;
}

const SharedDescriptor::Io kLineIo{
    [](int fd, char* buffer, std::size_t size) -> std::ptrdiff_t { return ::read(fd, buffer, size); },
    [](int fd, const char* data, std::size_t size) -> std::ptrdiff_t { return ::write(fd, data, size); },
    LineFailure, nullptr};

} // namespace

const int SerialDevice::kCanceledError = ECANCELED;
const int SerialDevice::kOversizeError = EMSGSIZE;

std::unique_ptr<SerialDevice> CreateLocalSerialDevice(bool openHeldPort) {
    return std::make_unique<PosixSerialDevice>(openHeldPort);
}

PosixSerialDevice::~PosixSerialDevice() {
    Close();
}

int PosixSerialDevice::Open(const std::string& path) {
    Close();
    // Locks and exclusive mode keep out only the programs that use them (ser2net, a terminal
    // program, a script need not): looked for before the open, which would already raise DTR under
    // the other program's feet.
    if (!openHeldPort_ && !FindOtherClients(path).empty()) {
        return kErrorPortHeld;
    }
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
    bool exclusive = false;
    int error = TakeExclusiveMode(fd, exclusive);
    if (error != 0) {
        ReleasePort(fd, false); // the exclusive mode is not ours to clear
        return error;
    }
    configured_ = false;
    exclusive_ = exclusive;
    if ((error = port_.Adopt(fd)) != 0) {
        ReleasePort(fd, exclusive);
    }
    return error;
}

int PosixSerialDevice::Configure(int32_t baudRate) {
    if (baudRate <= 0) {
        return EINVAL;
    }
    const SharedDescriptor::Use use(port_);
    if (!use.ok()) {
        return EBADF;
    }
    bool standardRate = true;
    int error = MakeRawLine(use.fd(), baudRate, standardRate);
    if (error == 0 && !standardRate) {
        error = SetCustomBaudRate(use.fd(), baudRate);
    }
    if (error == 0) {
        int lines = TIOCM_DTR | TIOCM_RTS;
        error = TryIoctl(use.fd(), TIOCMBIS, &lines);
    }
    if (error == 0) {
        configured_ = true;
    }
    return error;
}

SerialDevice::IoResult PosixSerialDevice::Read(char* buffer, std::size_t size, milliseconds wait) {
    const SharedDescriptor::Use use(port_);
    return use.ok() ? use.Read(buffer, size, wait, kLineIo) : IoResult{0, EBADF};
}

SerialDevice::IoResult PosixSerialDevice::Write(const char* data, std::size_t size, milliseconds bound) {
    const SharedDescriptor::Use use(port_);
    return use.ok() ? use.Write(data, size, bound, kLineIo) : IoResult{0, EBADF};
}

void PosixSerialDevice::Close() {
    port_.Close([this](int fd) {
        if (configured_) {
            // Output still queued (a held handshake) would make close() wait for it; it is dropped.
            tcflush(fd, TCIOFLUSH);
        }
        ReleasePort(fd, exclusive_);
    });
}

bool PosixSerialDevice::IsOpen() const {
    return port_.IsOpen();
}

int PosixSerialDevice::TakeExclusiveMode(int fd, bool& exclusive) {
    exclusive = false;
    const bool pseudoTerminal = IsPseudoTerminal(fd);
    if (ExclusiveFlagSet(fd)) {
        if (!StaleExclusiveFlag(fd)) {
            return EBUSY;
        }
        ioctl(fd, TIOCNXCL);
    }
    // Exclusive mode also keeps out programs that do not lock, but not on a pseudo-terminal: there a
    // program killed before its close would leave the flag set for as long as the master side
    // lives, and the kernel then refuses every open without privileges with EBUSY, so nobody but
    // the superuser could even clear it. The lock, which ends with its holder, keeps ours apart.
    if (pseudoTerminal) {
        return 0;
    }
    const int error = TryIoctl(fd, TIOCEXCL, nullptr);
    exclusive = error == 0;
    return error;
}

void PosixSerialDevice::ReleasePort(int fd, bool exclusive) {
    if (exclusive) {
        ioctl(fd, TIOCNXCL);
    }
    flock(fd, LOCK_UN);
    ::close(fd);
}

} // namespace panelgrab
