#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "transport/bytes/network_socket.h"

namespace panelgrab {

// The host and TCP port of a network port's URL, and the connection to them.
class NetworkAddress {
public:
    // Parses "SCHEME://HOST:PORT": HOST a name, an IPv4 address or an IPv6 address in brackets
    // ("[::1]"), PORT 1 to 65535, optionally followed by one "/". False for anything else.
    static bool Parse(std::string_view url, NetworkAddress& address);

    const std::string& host() const { return host_; }
    uint16_t port() const { return port_; }

    // Looks the host up (IPv6 and IPv4) and connects a TCP stream to it, the lookup and the connect
    // together within `wait`; several addresses of one name share the time. Returns 0 with a
    // socket as ConnectSocket makes it, or the reason: a system error (connection refused, host
    // unreachable, SocketError::kTimedOut ...), kErrorHostNotFound or kErrorNameLookupFailed.
    int Connect(std::chrono::milliseconds wait, SocketHandle& socket) const;

private:
    std::string host_;
    uint16_t port_ = 0;
};

} // namespace panelgrab
