#include "support/tcp_peer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace panelgrab::test {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kScriptWait{2000};

} // namespace

TcpPeer::TcpPeer() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 4) != 0 || getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        return;
    }
    listener_ = fd;
    port_ = ntohs(address.sin_port);
}

TcpPeer::~TcpPeer() {
    Join();
    CloseConnection();
    StopListening();
}

void TcpPeer::Serve(Script script) {
    Join();
    thread_ = std::thread([this, script = std::move(script)] {
        pollfd waiting{listener_, POLLIN, 0};
        if (::poll(&waiting, 1, static_cast<int>(kScriptWait.count())) != 1) {
            return;
        }
        connection_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection_ < 0) {
            return;
        }
        script(*this);
        CloseConnection();
    });
}

void TcpPeer::StopListening() {
    if (listener_ >= 0) {
        ::close(listener_);
        listener_ = -1;
    }
}

bool TcpPeer::Collect(milliseconds wait) {
    pollfd readable{connection_, POLLIN, 0};
    if (::poll(&readable, 1, static_cast<int>(wait.count())) != 1) {
        return true;
    }
    char buffer[4096];
    const ssize_t n = ::recv(connection_, buffer, sizeof buffer, 0);
    if (n <= 0) {
        return false;
    }
    std::lock_guard lock(mutex_);
    received_.append(buffer, static_cast<std::size_t>(n));
    return true;
}

bool TcpPeer::ReceiveUntil(std::string_view text) {
    const auto deadline = Clock::now() + kScriptWait;
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            const std::size_t at = received_.find(text, consumed_);
            if (at != std::string::npos) {
                consumed_ = at + text.size();
                return true;
            }
        }
        if (Clock::now() >= deadline || !Collect(milliseconds(10))) {
            return false;
        }
    }
}

void TcpPeer::Send(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(connection_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0) {
            return;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

void TcpPeer::CloseConnection() {
    if (connection_ >= 0) {
        ::close(connection_);
        connection_ = -1;
    }
}

bool TcpPeer::WaitForClientClose() {
    const auto deadline = Clock::now() + kScriptWait;
    while (Clock::now() < deadline) {
        if (!Collect(milliseconds(10))) {
            return true;
        }
    }
    return false;
}

} // namespace panelgrab::test
