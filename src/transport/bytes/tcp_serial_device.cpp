#include "transport/bytes/tcp_serial_device.h"

#include "transport/bytes/device_errors.h"
#include "transport/bytes/network_address.h"

namespace panelgrab {

using std::chrono::milliseconds;

TcpSerialDevice::TcpSerialDevice(milliseconds connectWait) : connectWait_(connectWait) {}

TcpSerialDevice::~TcpSerialDevice() {
    Close();
}

int TcpSerialDevice::Open(const std::string& url) {
    Close();
    NetworkAddress address;
    if (!NetworkAddress::Parse(url, address)) {
        return kErrorBadAddress;
    }
    SocketHandle socket = kNoSocket;
    if (const int error = address.Connect(connectWait_, socket); error != 0) {
        return error;
    }
    const int error = stream_.Adopt(socket);
    if (error != 0) {
        CloseSocket(socket);
    }
    return error;
}

int TcpSerialDevice::Configure(int32_t baudRate) {
    if (baudRate <= 0) {
        return SocketError::kBadArgument;
    }
    return IsOpen() ? 0 : SocketError::kNotOpen;
}

SerialDevice::IoResult TcpSerialDevice::Read(char* buffer, std::size_t size, milliseconds wait) {
    return stream_.Read(buffer, size, wait);
}

SerialDevice::IoResult TcpSerialDevice::Write(const char* data, std::size_t size, milliseconds bound) {
    return stream_.Write(data, size, bound);
}

void TcpSerialDevice::Close() {
    stream_.Close();
}

bool TcpSerialDevice::IsOpen() const {
    return stream_.IsOpen();
}

} // namespace panelgrab
