#include <cerrno>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "transport/bytes/device_errors.h"
#include "transport/bytes/network_socket.h"
#include "transport/bytes/posix_shared_descriptor.h"

namespace panelgrab {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(left);
}

int LookupFailure(int code) {
    switch (code) {
    case EAI_AGAIN:
        return kErrorNameLookupFailed;
    case EAI_MEMORY:
        return ENOMEM;
    default: // EAI_NONAME, EAI_NODATA, EAI_FAIL, EAI_ADDRFAMILY ...
        return kErrorHostNotFound;
    }
}

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

const int SocketError::kTimedOut = ETIMEDOUT;
const int SocketError::kUnreachable = EHOSTUNREACH;
const int SocketError::kClosedByPeer = ECONNRESET;
const int SocketError::kNotOpen = EBADF;
const int SocketError::kBadArgument = EINVAL;

int LookUpAddresses(const std::string& host, const std::string& service, bool numericOnly,
                    addrinfo*& addresses) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV | (numericOnly ? AI_NUMERICHOST : 0);
    addresses = nullptr;
    const int code = getaddrinfo(host.c_str(), service.c_str(), &hints, &addresses);
    return code == 0 ? 0 : LookupFailure(code);
}

void FreeAddresses(addrinfo* addresses) {
    if (addresses != nullptr) {
        freeaddrinfo(addresses);
    }
}

const addrinfo* NextAddress(const addrinfo& address) {
    return address.ai_next;
}

int ConnectSocket(const addrinfo& address, Clock::time_point deadline, SocketHandle& socket) {
    socket = kNoSocket;
    const int fd =
        ::socket(address.ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, address.ai_protocol);
    if (fd < 0) {
        return errno;
    }
    int error = 0;
    if (::connect(fd, address.ai_addr, address.ai_addrlen) != 0) {
        error = errno;
    }
    while (error == EINPROGRESS) {
        pollfd pending{fd, POLLOUT, 0};
        const int ready = ::poll(&pending, 1, MillisecondsLeft(deadline));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            error = ready == 0 ? ETIMEDOUT : errno;
            break;
        }
        socklen_t length = sizeof error;
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
            error = errno;
        }
    }
    if (error != 0) {
        ::close(fd);
        return error;
    }
    // AT commands are a few bytes each: waiting to merge them with more only adds latency.
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    socket = fd;
    return 0;
}

void CloseSocket(SocketHandle socket) {
    if (socket != kNoSocket) {
        ::close(static_cast<int>(socket));
    }
}

// On POSIX a socket is a descriptor like a tty: the poll-and-wake machinery of the serial backend.
struct SocketStream::State {
    SharedDescriptor socket;
};

SocketStream::SocketStream() : state_(std::make_unique<State>()) {}

SocketStream::~SocketStream() {
    Close();
}

int SocketStream::Adopt(SocketHandle socket) {
    return state_->socket.Adopt(static_cast<int>(socket));
}

SerialDevice::IoResult SocketStream::Read(char* buffer, std::size_t size, milliseconds wait) {
    const SharedDescriptor::Use use(state_->socket);
    return use.ok() ? use.Read(buffer, size, wait, kSocketIo) : SerialDevice::IoResult{0, EBADF};
}

SerialDevice::IoResult SocketStream::Write(const char* data, std::size_t size, milliseconds bound) {
    const SharedDescriptor::Use use(state_->socket);
    return use.ok() ? use.Write(data, size, bound, kSocketIo) : SerialDevice::IoResult{0, EBADF};
}

void SocketStream::Close() {
    state_->socket.Close([](int fd) { ::close(fd); });
}

bool SocketStream::IsOpen() const {
    return state_->socket.IsOpen();
}

} // namespace panelgrab
