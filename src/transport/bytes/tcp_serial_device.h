#pragma once

#include <chrono>

#include "transport/bytes/network_socket.h"
#include "transport/bytes/serial_device.h"

namespace panelgrab {

// A serial port on another machine, reached as a plain TCP stream ("tcp://HOST:PORT", a ser2net port
// in raw mode): the bytes of the line travel unchanged and the line's settings are the server's.
//
// Reads, writes and Close behave as on a local port: calls wait on the socket through a
// SocketStream, so Close() wakes a blocked Read. A server that closes the connection is a port that
// has gone: reads fail with SocketError::kClosedByPeer, never return empty. Open is not woken by
// Close; it is bounded by the connect wait.
class TcpSerialDevice final : public SerialDevice {
public:
    explicit TcpSerialDevice(std::chrono::milliseconds connectWait);
    ~TcpSerialDevice() override;
    TcpSerialDevice(const TcpSerialDevice&) = delete;
    TcpSerialDevice& operator=(const TcpSerialDevice&) = delete;

    // Connects to the URL's host and port within the connect wait.
    int Open(const std::string& url) override;
    // Only checks the rate: the server sets up its line.
    int Configure(int32_t baudRate) override;
    IoResult Read(char* buffer, std::size_t size, std::chrono::milliseconds wait) override;
    IoResult Write(const char* data, std::size_t size, std::chrono::milliseconds bound) override;
    void Close() override;
    bool IsOpen() const override;

    std::chrono::milliseconds connectWait() const { return connectWait_; }

private:
    const std::chrono::milliseconds connectWait_;
    SocketStream stream_;
};

} // namespace panelgrab
