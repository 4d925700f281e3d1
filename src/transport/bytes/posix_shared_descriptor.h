#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>

#include "transport/bytes/serial_device.h"

namespace panelgrab {

// A descriptor that calls on several threads work with while another thread may close it: the
// poll-and-wake machinery of the POSIX backends (serial line and socket).
//
// Every call holds a Use while it works and waits through it. Close() signals a wake-up pipe that
// every wait polls, waits until the last Use has gone, and only then releases the descriptor, so a
// descriptor number is never closed under a thread that may still pass it to the kernel.
class SharedDescriptor {
public:
    // How a backend moves bytes and names its failures: read()/write() on a tty, recv()/send() on a
    // socket. Each returns what the system call returns (-1 with errno set on failure).
    struct Io {
        std::ptrdiff_t (*read)(int fd, char* buffer, std::size_t size);
        std::ptrdiff_t (*write)(int fd, const char* data, std::size_t size);
        // The error to report for a failure: `error` is an errno, EIO for a hang-up seen while
        // waiting, or kEndOfInput when a read found the end of the input.
        int (*failure)(int fd, int error);
        // Runs after every read that brought data (may be null).
        void (*afterRead)(int fd);
    };
    static constexpr int kEndOfInput = -100;

    // A call's hold on the descriptor; check ok() before using fd().
    class Use {
    public:
        explicit Use(SharedDescriptor& owner);
        ~Use();
        Use(const Use&) = delete;
        Use& operator=(const Use&) = delete;

        bool ok() const { return fd_ >= 0; }
        int fd() const { return fd_; }
        // Waits until `deadline` for `events` (poll flags) on the descriptor. Returns 0 when they
        // are there, EAGAIN when the wait passed, SerialDevice::kAborted when Close() woke it, EIO
        // for a hang-up or error condition, or the errno of a failed poll.
        int WaitFor(short events, std::chrono::steady_clock::time_point deadline) const;
        // Waits up to `wait` for input, then returns what is there (at most `size` bytes).
        SerialDevice::IoResult Read(char* buffer, std::size_t size, std::chrono::milliseconds wait,
                                    const Io& io) const;
        // Writes all of `data` within `bound`; what could not be written in time is ETIMEDOUT.
        SerialDevice::IoResult Write(const char* data, std::size_t size, std::chrono::milliseconds bound,
                                     const Io& io) const;

    private:
        SharedDescriptor& owner_;
        int fd_ = -1;
        int wakeFd_ = -1;
    };

    SharedDescriptor() = default;
    ~SharedDescriptor(); // closes with a plain close() if still open
    SharedDescriptor(const SharedDescriptor&) = delete;
    SharedDescriptor& operator=(const SharedDescriptor&) = delete;

    // Takes `fd` over. Returns 0, or the errno of making the wake-up pipe (`fd` then stays the
    // caller's).
    int Adopt(int fd);
    // Wakes every wait, waits for the uses to end, then hands the descriptor to `release`, which
    // must close it (it runs under the internal lock). Safe from any thread and when closed.
    void Close(const std::function<void(int)>& release);
    bool IsOpen() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable idle_;
    int fd_ = -1;
    int wakeFd_ = -1;       // read end of the wake-up pipe, polled by every wait
    int wakeSignalFd_ = -1; // its write end, written once by Close()
    int users_ = 0;
    bool closing_ = false;
};

} // namespace panelgrab
