// Winsock before windows.h: the latter would otherwise bring in the old winsock.h.
#include <winsock2.h>

#include <mstcpip.h>
#include <windows.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <climits>
#include <condition_variable>
#include <mutex>

#include "transport/bytes/device_errors.h"
#include "transport/bytes/network_socket.h"

namespace panelgrab {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Winsock is started once for the whole process, on first use, and left running until it ends.
int StartWinsock() {
    static const int started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data);
    }();
    return started;
}

timeval TimeLeft(Clock::time_point deadline) {
    const long long left =
        std::max<long long>(0, std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count());
    return timeval{static_cast<long>(left / 1000), static_cast<long>(left % 1000 * 1000)};
}

int LookupFailure(int code) {
    switch (code) {
    case WSATRY_AGAIN:
        return kErrorNameLookupFailed;
    case WSA_NOT_ENOUGH_MEMORY:
        return code;
    default: // WSAHOST_NOT_FOUND, WSANO_DATA, WSANO_RECOVERY ...
        return kErrorHostNotFound;
    }
}

// A socket that no child process inherits, as SOCK_CLOEXEC on POSIX. Windows before 7 SP1 does not
// know the flag; there the handle is made not inheritable afterwards.
SOCKET NewSocket(int family, int type, int protocol) {
    SOCKET s =
        WSASocketW(family, type, protocol, nullptr, 0, WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET && WSAGetLastError() == WSAEINVAL) {
        s = WSASocketW(family, type, protocol, nullptr, 0, WSA_FLAG_OVERLAPPED);
        if (s != INVALID_SOCKET) {
            SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
        }
    }
    return s;
}

// Close() ends every wait by making this readable: a UDP socket on the loopback address, connected
// to itself, to which Close sends one datagram that nobody ever reads.
SOCKET NewWakeSocket() {
    SOCKET s = NewSocket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) {
        return s;
    }
    sockaddr_in self{};
    self.sin_family = AF_INET;
    self.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof self;
    if (bind(s, reinterpret_cast<sockaddr*>(&self), sizeof self) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&self), &length) != 0 ||
        connect(s, reinterpret_cast<sockaddr*>(&self), sizeof self) != 0) {
        const int error = WSAGetLastError();
        closesocket(s);
        WSASetLastError(error);
        return INVALID_SOCKET;
    }
    return s;
}

// A server that sends an answer in small pieces holds each until the one before is acknowledged,
// and Windows delays acknowledgements by up to 200 ms: acknowledge every segment at once. Systems
// without the control (before Windows 8, Wine) keep their delay.
void AcknowledgeAtOnce(SOCKET s) {
    DWORD frequency = 1;
    DWORD returned = 0;
    WSAIoctl(s, SIO_TCP_SET_ACK_FREQUENCY, &frequency, sizeof frequency, nullptr, 0, &returned, nullptr,
             nullptr);
}

enum class Waited { Ready, TimedOut, Aborted, Failed };

// Waits until `s` is readable (or writable when `forWrite`) or `wake` is readable, by `deadline`.
// select() is used rather than WSAPoll, which older Windows does not wake for a failed connect.
Waited WaitFor(SOCKET s, SOCKET wake, bool forWrite, Clock::time_point deadline, int& error) {
    fd_set readable;
    fd_set writable;
    fd_set failed;
    FD_ZERO(&readable);
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    if (wake != INVALID_SOCKET) {
        FD_SET(wake, &readable);
    }
    if (forWrite) {
        FD_SET(s, &writable);
        FD_SET(s, &failed); // where a connect that failed shows
    } else {
        FD_SET(s, &readable);
    }
    timeval left = TimeLeft(deadline);
    const int ready = select(0, &readable, &writable, &failed, &left);
    if (ready == SOCKET_ERROR) {
        error = WSAGetLastError();
        return Waited::Failed;
    }
    if (wake != INVALID_SOCKET && FD_ISSET(wake, &readable)) {
        return Waited::Aborted;
    }
    return ready == 0 ? Waited::TimedOut : Waited::Ready;
}

} // namespace

const int SocketError::kTimedOut = WSAETIMEDOUT;
const int SocketError::kUnreachable = WSAEHOSTUNREACH;
const int SocketError::kClosedByPeer = WSAECONNRESET;
const int SocketError::kNotOpen = ERROR_INVALID_HANDLE;
const int SocketError::kBadArgument = ERROR_INVALID_PARAMETER;

int LookUpAddresses(const std::string& host, const std::string& service, bool numericOnly,
                    addrinfo*& addresses) {
    addresses = nullptr;
    if (const int error = StartWinsock(); error != 0) {
        return error;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV | (numericOnly ? AI_NUMERICHOST : 0);
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
    if (const int error = StartWinsock(); error != 0) {
        return error;
    }
    const SOCKET s = NewSocket(address.ai_family, SOCK_STREAM, address.ai_protocol);
    if (s == INVALID_SOCKET) {
        return WSAGetLastError();
    }
    u_long nonBlocking = 1;
    int error = 0;
    if (ioctlsocket(s, FIONBIO, &nonBlocking) != 0 ||
        connect(s, address.ai_addr, static_cast<int>(address.ai_addrlen)) != 0) {
        error = WSAGetLastError();
    }
    if (error == WSAEWOULDBLOCK) {
        switch (WaitFor(s, INVALID_SOCKET, true, deadline, error)) {
        case Waited::TimedOut:
            error = WSAETIMEDOUT;
            break;
        case Waited::Ready: {
            int length = sizeof error;
            if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0) {
                error = WSAGetLastError();
            }
            break;
        }
        default:
            break;
        }
    }
    if (error != 0) {
        closesocket(s);
        return error;
    }
    // AT commands are a few bytes each: waiting to merge them with more only adds latency.
    const BOOL on = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    AcknowledgeAtOnce(s);
    socket = static_cast<SocketHandle>(s);
    return 0;
}

void CloseSocket(SocketHandle socket) {
    if (socket != kNoSocket) {
        closesocket(static_cast<SOCKET>(socket));
    }
}

// Every call holds a use while it works and waits; Close() wakes the waits, waits until the last
// use has gone, and only then closes the socket, so a handle is never closed under a call.
struct SocketStream::State {
    mutable std::mutex mutex;
    std::condition_variable idle;
    SOCKET socket = INVALID_SOCKET;
    SOCKET wake = INVALID_SOCKET;
    int users = 0;
    bool closing = false;

    // Begins a use: false when closed or closing.
    bool Begin(SOCKET& s, SOCKET& w) {
        std::lock_guard lock(mutex);
        if (socket == INVALID_SOCKET || closing) {
            return false;
        }
        ++users;
        s = socket;
        w = wake;
        return true;
    }
    void End() {
        std::lock_guard lock(mutex);
        if (--users == 0) {
            idle.notify_all();
        }
    }
};

SocketStream::SocketStream() : state_(std::make_unique<State>()) {}

SocketStream::~SocketStream() {
    Close();
}

int SocketStream::Adopt(SocketHandle socket) {
    const SOCKET wake = NewWakeSocket();
    if (wake == INVALID_SOCKET) {
        return WSAGetLastError();
    }
    std::lock_guard lock(state_->mutex);
    if (state_->socket != INVALID_SOCKET) {
        closesocket(wake);
        return WSAEISCONN; // one socket at a time: the owner closes before it adopts another
    }
    state_->socket = static_cast<SOCKET>(socket);
    state_->wake = wake;
    return 0;
}

SerialDevice::IoResult SocketStream::Read(char* buffer, std::size_t size, milliseconds wait) {
    SOCKET s = INVALID_SOCKET;
    SOCKET wake = INVALID_SOCKET;
    if (!state_->Begin(s, wake)) {
        return {0, SocketError::kNotOpen};
    }
    SerialDevice::IoResult result;
    const auto deadline = Clock::now() + wait;
    while (size > 0) {
        const Waited waited = WaitFor(s, wake, false, deadline, result.error);
        if (waited == Waited::TimedOut || waited == Waited::Failed) {
            break; // nothing within the wait, or the wait's own failure
        }
        if (waited == Waited::Aborted) {
            result.error = SerialDevice::kAborted;
            break;
        }
        const int n = recv(s, buffer, static_cast<int>(std::min<std::size_t>(size, INT_MAX)), 0);
        if (n > 0) {
            result.count = static_cast<std::size_t>(n);
            break;
        }
        if (n == 0) {
            result.error = SocketError::kClosedByPeer; // a failure, never an empty read
            break;
        }
        if (const int error = WSAGetLastError(); error != WSAEWOULDBLOCK && error != WSAEINTR) {
            result.error = error;
            break;
        }
    }
    state_->End();
    return result;
}

SerialDevice::IoResult SocketStream::Write(const char* data, std::size_t size, milliseconds bound) {
    SOCKET s = INVALID_SOCKET;
    SOCKET wake = INVALID_SOCKET;
    if (!state_->Begin(s, wake)) {
        return {0, SocketError::kNotOpen};
    }
    SerialDevice::IoResult result;
    const auto deadline = Clock::now() + bound;
    while (result.count < size) {
        const int n = send(s, data + result.count,
                           static_cast<int>(std::min<std::size_t>(size - result.count, INT_MAX)), 0);
        if (n > 0) {
            result.count += static_cast<std::size_t>(n);
            continue;
        }
        if (const int error = WSAGetLastError(); error != WSAEWOULDBLOCK && error != WSAEINTR) {
            result.error = error;
            break;
        }
        // The server does not take data as fast as it comes: wait, but not for ever.
        const Waited waited = WaitFor(s, wake, true, deadline, result.error);
        if (waited == Waited::TimedOut) {
            result.error = SocketError::kTimedOut;
        } else if (waited == Waited::Aborted) {
            result.error = SerialDevice::kAborted;
        }
        if (waited != Waited::Ready) {
            break;
        }
    }
    state_->End();
    return result;
}

void SocketStream::Close() {
    State& state = *state_;
    std::unique_lock lock(state.mutex);
    if (state.socket == INVALID_SOCKET) {
        return;
    }
    if (state.closing) {
        state.idle.wait(lock, [&] { return state.socket == INVALID_SOCKET; });
        return;
    }
    state.closing = true;
    const char signal = 1;
    send(state.wake, &signal, 1, 0);
    state.idle.wait(lock, [&] { return state.users == 0; });
    closesocket(state.socket);
    closesocket(state.wake);
    state.socket = state.wake = INVALID_SOCKET;
    state.closing = false;
    lock.unlock();
    state.idle.notify_all();
}

bool SocketStream::IsOpen() const {
    std::lock_guard lock(state_->mutex);
    return state_->socket != INVALID_SOCKET && !state_->closing;
}

} // namespace panelgrab
