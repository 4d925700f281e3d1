#include "transport/tcp_serial_device.h"

#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "transport/network_address.h"
#include "transport/port_names.h"

namespace panelgrab {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The reason a connection broke: what the socket recorded, else the server's orderly close.
int BrokenConnection(int fd) {
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error == 0) {
        return ECONNRESET;
    }
    return error;
}

// A server that sends an answer in several small pieces (ser2net, with the usual Nagle algorithm)
// holds each piece until the one before is acknowledged, and a delayed acknowledgement then costs
// 40 ms an answer. Linux falls back to delaying after a while, so this is renewed after every read.
void AcknowledgeAtOnce(int fd) {
#ifdef TCP_QUICKACK
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
#else
    (void)fd;
#endif
}

// A closed connection, however it shows, is a phone gone: a failure, never an empty read.
int SocketFailure(int fd, int error) {
    switch (error) {
    case SharedDescriptor::kEndOfInput:
    case EPIPE:
        return ECONNRESET; // the server closed the connection
    case EIO:
        return BrokenConnection(fd);
    default:
        return error;
    }
}

const SharedDescriptor::Io kSocketIo{
    [](int fd, char* buffer, std::size_t size) -> std::ptrdiff_t { return ::recv(fd, buffer, size, 0); },
    // MSG_NOSIGNAL: a closed connection is a failed write, not a SIGPIPE that ends the program.
    [](int fd, const char* data, std::size_t size) -> std::ptrdiff_t {
        return ::send(fd, data, size, MSG_NOSIGNAL);
    },
    SocketFailure, AcknowledgeAtOnce};

} // namespace

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
    int fd = -1;
    if (const int error = address.Connect(connectWait_, fd); error != 0) {
        return error;
    }
    const int error = socket_.Adopt(fd);
    if (error != 0) {
        ::close(fd);
    }
    return error;
}

int TcpSerialDevice::Configure(int32_t baudRate) {
    if (baudRate <= 0) {
        return EINVAL;
    }
    return IsOpen() ? 0 : EBADF;
}

SerialDevice::IoResult TcpSerialDevice::Read(char* buffer, std::size_t size, milliseconds wait) {
    const SharedDescriptor::Use use(socket_);
    return use.ok() ? use.Read(buffer, size, wait, kSocketIo) : IoResult{0, EBADF};
}

SerialDevice::IoResult TcpSerialDevice::Write(const char* data, std::size_t size, milliseconds bound) {
    const SharedDescriptor::Use use(socket_);
    return use.ok() ? use.Write(data, size, bound, kSocketIo) : IoResult{0, EBADF};
}

void TcpSerialDevice::Close() {
    socket_.Close([](int fd) { ::close(fd); });
}

bool TcpSerialDevice::IsOpen() const {
    return socket_.IsOpen();
}

} // namespace panelgrab
