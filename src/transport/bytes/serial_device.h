#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "transport/bytes/port_timing.h"

namespace panelgrab {

// The operating system's side of a serial port, behind SerialPort. One backend per OS; no OS header
// appears here.
//
// Threading: Read and Write may run on one thread while Close runs on another. Close wakes a
// blocked Read or Write (which then fails with kAborted) and releases the device only after every
// such call has left it. The object itself outlives every call made on it.
class SerialDevice {
public:
    // What a Read or Write achieved. `error` is the system error of a failure (errno on POSIX,
    // GetLastError() on Windows), 0 on success.
    struct IoResult {
        std::size_t count = 0; // bytes transferred; 0 with error 0: nothing within the wait
        int error = 0;
        bool ok() const { return error == 0; }
    };

    // Error value of a call that was woken because the device was being closed.
    static constexpr int kAborted = -1;
    // The system errors the transport reports for failures of its own, in the numbering of the
    // platform (ECANCELED and EMSGSIZE on POSIX), so that DescribeSystemError explains them too.
    static const int kCanceledError; // a call that Close() ended
    static const int kOversizeError; // a command too long to be sent whole

    virtual ~SerialDevice() = default;

    // Opens the device at `path` (for the network backends, the port's URL) for this program alone.
    // Returns 0 or the errno of the failure (or a code of port_names.h that no errno expresses).
    virtual int Open(const std::string& path) = 0;
    // Raw 8N1 line without flow control of either kind, DTR and RTS raised, at `baudRate`.
    // Returns 0 or the errno.
    virtual int Configure(int32_t baudRate) = 0;
    // Waits up to `wait` for input, then returns what is there (at most `size` bytes). A device that
    // has gone (hang-up) is a failure, never an empty read.
    virtual IoResult Read(char* buffer, std::size_t size, std::chrono::milliseconds wait) = 0;
    // Writes all of `data` within `bound`; what could not be written in time is a failure.
    virtual IoResult Write(const char* data, std::size_t size, std::chrono::milliseconds bound) = 0;
    // Releases the device; safe from any thread and on a closed device.
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
};

// The backend for a port name: a tcp:// (or socket://) URL is a raw TCP stream, an rfc2217:// URL a
// telnet COM port; any other name is a device of this platform. `timing` gives the connect wait.
std::unique_ptr<SerialDevice> CreateSerialDevice(const std::string& portName,
                                                 const PortTiming& timing = PortTiming{});

// The backend of the platform this program was built for (defined in that platform's file). Its
// open refuses a port that another program holds (kErrorPortHeld) unless `openHeldPort`.
std::unique_ptr<SerialDevice> CreateLocalSerialDevice(bool openHeldPort = false);

} // namespace panelgrab
