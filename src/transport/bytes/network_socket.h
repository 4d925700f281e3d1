#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "transport/bytes/serial_device.h"

struct addrinfo;

namespace panelgrab {

// The operating system's side of the network ports: name lookup, connect and a socket that one
// thread may close while others wait on it. One implementation per OS (posix_network_socket.cpp on
// BSD sockets and poll, win32_network_socket.cpp on Winsock); the address handling, the telnet
// protocol and the devices above are shared. No OS header appears here.

// A socket of the platform: a descriptor on POSIX, a SOCKET on Windows; kNoSocket is none.
using SocketHandle = std::intptr_t;
inline constexpr SocketHandle kNoSocket = -1;

// The platform's numbers (errno on POSIX, Winsock codes on Windows) of the failures the shared
// network code reports itself, so that TroubleOf and DescribeSystemError know them.
struct SocketError {
    static const int kTimedOut;     // a connect or an answer that did not come in time
    static const int kUnreachable;  // no address of the host could be tried
    static const int kClosedByPeer; // the server closed the connection: the phone has gone
    static const int kNotOpen;      // a call on a closed port
    static const int kBadArgument;  // e.g. a baud rate of 0
};

// Looks `host` up for a TCP stream to `service` (a port number), IPv6 and IPv4. `numericOnly`
// takes address literals alone. Waits as long as the name service does. Returns 0 with the list
// (to be freed with FreeAddresses), or kErrorHostNotFound (also for a name when `numericOnly`),
// kErrorNameLookupFailed or a system error.
int LookUpAddresses(const std::string& host, const std::string& service, bool numericOnly,
                    addrinfo*& addresses);
void FreeAddresses(addrinfo* addresses);
// The address after `address` in its list, null at the end.
const addrinfo* NextAddress(const addrinfo& address);

// Connects a non-blocking, not inherited socket to one address by `deadline`, without send delay.
// Returns 0 with the socket, or the reason (refused, unreachable, kTimedOut ...).
int ConnectSocket(const addrinfo& address, std::chrono::steady_clock::time_point deadline,
                  SocketHandle& socket);
void CloseSocket(SocketHandle socket);

// A connected socket shared by the calls of a SerialDevice: reads and writes wait through it, and
// Close() from any thread ends their waits at once (they fail with SerialDevice::kAborted) and
// releases the socket only after the last has left.
class SocketStream {
public:
    SocketStream();
    ~SocketStream(); // closes
    SocketStream(const SocketStream&) = delete;
    SocketStream& operator=(const SocketStream&) = delete;

    // Takes `socket` over. Returns 0, or the error (the socket then stays the caller's).
    int Adopt(SocketHandle socket);
    // Waits up to `wait` for input, then returns what is there. A connection the server closed is
    // the failure SocketError::kClosedByPeer, never an empty read.
    SerialDevice::IoResult Read(char* buffer, std::size_t size, std::chrono::milliseconds wait);
    // Sends all of `data` within `bound`; what could not be sent in time is SocketError::kTimedOut.
    SerialDevice::IoResult Write(const char* data, std::size_t size, std::chrono::milliseconds bound);
    void Close();
    bool IsOpen() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace panelgrab
