#pragma once

#include <atomic>

#include "transport/bytes/posix_shared_descriptor.h"
#include "transport/bytes/serial_device.h"

namespace panelgrab {

// Serial device over POSIX termios and poll().
//
// Every Read and Write polls the port through a SharedDescriptor, so Close() from another thread wakes
// them and closes the port only after they have left it.
class PosixSerialDevice final : public SerialDevice {
public:
    // `openHeldPort`: open a port that another program holds too (found by FindOtherClients).
    explicit PosixSerialDevice(bool openHeldPort = false) : openHeldPort_(openHeldPort) {}
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
    // Sets exclusive mode where it is safe (`exclusive` tells whether it was set). A flag already
    // set by a program that still has the port makes it busy; a stale one is cleared.
    static int TakeExclusiveMode(int fd, bool& exclusive);
    // Gives up exclusive mode (when `exclusive`) and the lock, and closes a port descriptor.
    static void ReleasePort(int fd, bool exclusive);

    const bool openHeldPort_;
    SharedDescriptor port_;
    std::atomic<bool> configured_{false}; // Configure() ran: the line carries our traffic
    std::atomic<bool> exclusive_{false};  // we set the tty's exclusive mode and clear it on close
};

} // namespace panelgrab
