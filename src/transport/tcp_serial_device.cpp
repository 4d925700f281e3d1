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
    if (!use.ok()) {
        return {0, EBADF};
    }
    IoResult result;
    const auto deadline = Clock::now() + wait;
    while (size > 0) {
        const int waited = use.WaitFor(POLLIN, deadline);
        if (waited == EAGAIN) {
            break; // nothing within the wait
        }
        if (waited != 0) {
            result.error = waited == EIO ? BrokenConnection(use.fd()) : waited;
            break;
        }
        const ssize_t n = ::recv(use.fd(), buffer, size, 0);
        if (n > 0) {
            AcknowledgeAtOnce(use.fd());
            result.count = static_cast<std::size_t>(n);
            break;
        }
        if (n == 0) {
            result.error = ECONNRESET; // the server closed the connection: the port is gone
            break;
        }
        if (errno != EINTR && errno != EAGAIN) {
            result.error = errno;
            break;
        }
    }
    return result;
}

SerialDevice::IoResult TcpSerialDevice::Write(const char* data, std::size_t size, milliseconds bound) {
    const SharedDescriptor::Use use(socket_);
    if (!use.ok()) {
        return {0, EBADF};
    }
    IoResult result;
    const auto deadline = Clock::now() + bound;
    while (result.count < size) {
        // MSG_NOSIGNAL: a closed connection is a failed write, not a SIGPIPE that ends the program.
        const ssize_t n = ::send(use.fd(), data + result.count, size - result.count, MSG_NOSIGNAL);
        if (n > 0) {
            result.count += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN) {
            result.error = errno == EPIPE ? ECONNRESET : errno;
            break;
        }
        // The server does not take data as fast as it comes: wait, but not for ever.
        const int waited = use.WaitFor(POLLOUT, deadline);
        if (waited != 0) {
            result.error = waited == EAGAIN ? ETIMEDOUT : waited == EIO ? BrokenConnection(use.fd()) : waited;
            break;
        }
    }
    return result;
}

void TcpSerialDevice::Close() {
    socket_.Close([](int fd) { ::close(fd); });
}

bool TcpSerialDevice::IsOpen() const {
    return socket_.IsOpen();
}

} // namespace panelgrab
