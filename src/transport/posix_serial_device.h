#pragma once

#include <condition_variable>
#include <mutex>

#include "transport/serial_device.h"

namespace panelgrab {

// Serial device over POSIX termios and poll().
//
// Every Read and Write polls the port together with a wake-up descriptor. Close() signals that
// descriptor, waits until no call uses the port any more, and only then closes it, so a descriptor
// number is never closed under a thread that may still pass it to the kernel.
class PosixSerialDevice final : public SerialDevice {
public:
    PosixSerialDevice() = default;
    ~PosixSerialDevice() override;
    PosixSerialDevice(const PosixSerialDevice&) = delete;
    PosixSerialDevice& operator=(const PosixSerialDevice&) = delete;

    int Open(const std::string& path) override;
    int Configure(int32_t baudRate) override;
    IoResult Read(char* buffer, std::size_t size, std::chrono::milliseconds wait) override;
    IoResult Write(const char* data, std::size_t size, std::chrono::milliseconds bound) override;
    void Close() override;
    bool IsOpen() const override;

private:
    // The descriptors one call works with, held while it runs.
    struct Use {
        int fd = -1;
        int wakeFd = -1;
    };
    bool BeginUse(Use& use);
    void EndUse();
    // Waits until `deadline` for `events` on the port. Returns 0 when they are there, EAGAIN when the
    // wait passed, kAborted when Close() woke it, or the errno of a failure (EIO for a hang-up).
    static int WaitFor(const Use& use, short events, std::chrono::steady_clock::time_point deadline);
    // Sets exclusive mode where it is safe (`exclusive` tells whether it was set). A flag already
    // set by a program that still has the port makes it busy; a stale one is cleared.
    static int TakeExclusiveMode(int fd, bool& exclusive);
    // Gives up exclusive mode (when `exclusive`) and the lock, and closes a port descriptor.
    static void ReleasePort(int fd, bool exclusive);

    mutable std::mutex mutex_;
    std::condition_variable idle_;
    int fd_ = -1;
    int wakeFd_ = -1;       // read end of the wake-up pipe, polled by every call
    int wakeSignalFd_ = -1; // its write end, written once by Close()
    int users_ = 0;
    bool closing_ = false;
    bool configured_ = false; // Configure() ran: the line carries our traffic
    bool exclusive_ = false;  // we set the tty's exclusive mode and clear it on close
};

} // namespace panelgrab
