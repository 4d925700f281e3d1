#pragma once

#include <atomic>

#include "transport/serial_device.h"
#include "transport/shared_descriptor.h"

namespace panelgrab {

// Serial device over POSIX termios and poll().
//
// Every Read and Write polls the port through a SharedDescriptor, so Close() from another thread wakes
// them and closes the port only after they have left it.
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
    // Gives up exclusive use and the lock, and closes a port descriptor.
    static void ReleasePort(int fd);
    // Gives up the lock and closes a port descriptor.
    static void Unlock(int fd);

    SharedDescriptor port_;
    std::atomic<bool> configured_{false}; // Configure() ran: the line carries our traffic
};

} // namespace panelgrab
