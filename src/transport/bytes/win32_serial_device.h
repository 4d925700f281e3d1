#pragma once

#include <condition_variable>
#include <mutex>

#include "transport/bytes/serial_device.h"

namespace panelgrab {

// Serial device over the Win32 communications API (CreateFileW on \\.\COMn, DCB, COMMTIMEOUTS).
//
// Every Read and Write is an overlapped transfer bounded by the port's time-outs; it waits for its
// completion together with a stop event. Close() sets that event, each call then cancels its own
// transfer (CancelIoEx) and waits until the system has let go of its buffer, and the handle is
// closed only after every call has left. A plain synchronous ReadFile could not be ended that way:
// under Wine neither CancelIoEx, CancelSynchronousIo nor CloseHandle interrupts it. Errors are
// GetLastError() codes.
class Win32SerialDevice final : public SerialDevice {
public:
    Win32SerialDevice() = default;
    ~Win32SerialDevice() override;
    Win32SerialDevice(const Win32SerialDevice&) = delete;
    Win32SerialDevice& operator=(const Win32SerialDevice&) = delete;

    int Open(const std::string& path) override;
    int Configure(int32_t baudRate) override;
    IoResult Read(char* buffer, std::size_t size, std::chrono::milliseconds wait) override;
    IoResult Write(const char* data, std::size_t size, std::chrono::milliseconds bound) override;
    void Close() override;
    bool IsOpen() const override;

private:
    // The handles one call works with (HANDLE is void* in the Windows headers), held while it runs.
    struct Use {
        void* port = nullptr;
        void* stop = nullptr;
    };
    bool BeginUse(Use& use);
    void EndUse();
    // Sets the read time-outs for `wait` unless they are set already. Returns 0 or the error.
    int ApplyReadWait(void* port, std::chrono::milliseconds wait);

    mutable std::mutex mutex_;
    std::condition_variable idle_;
    void* port_ = nullptr;
    void* stopEvent_ = nullptr; // manual-reset event, set once by Close()
    void* claim_ = nullptr;     // named mutex: this program's claim on the port
    int users_ = 0;
    bool closing_ = false;
    bool configured_ = false;      // Configure() ran: the line carries our traffic
    long long appliedWaitMs_ = -1; // the read wait the port's time-outs are set for, -1: none yet
};

} // namespace panelgrab
