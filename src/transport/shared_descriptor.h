#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace panelgrab {

// A descriptor that calls on several threads work with while another thread may close it: the
// poll-and-wake machinery of the POSIX backends (serial line and socket).
//
// Every call holds a Use while it works and waits through it. Close() signals a wake-up pipe that
// every wait polls, waits until the last Use has gone, and only then releases the descriptor, so a
// descriptor number is never closed under a thread that may still pass it to the kernel.
class SharedDescriptor {
public:
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
