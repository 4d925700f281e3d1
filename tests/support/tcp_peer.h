#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace panelgrab::test {

// The server side of one TCP connection, played by a script on a thread of its own: the far end of
// a network port for tests. Every wait of the script gives up after two seconds or when the client
// closes, so a broken client makes a failed test, never a hung one.
class TcpPeer {
public:
    using Script = std::function<void(TcpPeer&)>;

    TcpPeer();
    ~TcpPeer(); // joins, then closes everything
    TcpPeer(const TcpPeer&) = delete;
    TcpPeer& operator=(const TcpPeer&) = delete;

    bool ok() const { return listener_ >= 0; }
    uint16_t port() const { return port_; }
    std::string Url(const std::string& scheme) const {
        return scheme + "://127.0.0.1:" + std::to_string(port_);
    }

    // Accepts one client on the peer's thread and runs `script` on the connection, then closes it.
    void Serve(Script script);
    // Waits for the script to end.
    void Join() {
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    // Stops listening: later connects are refused. Not while a Serve waits for its client.
    void StopListening();

    // For the script. Reads until `text` has arrived after what earlier calls consumed; false on
    // time-out or when the client closed first.
    bool ReceiveUntil(std::string_view text);
    void Send(std::string_view bytes);
    // Closes the connection now (the client sees the server go).
    void CloseConnection();
    // Waits until the client has closed its end; false on time-out.
    bool WaitForClientClose();

    // Every byte the client sent that the peer read so far.
    std::string Received() const {
        std::lock_guard lock(mutex_);
        return received_;
    }

private:
    // Reads what is there, waiting up to `wait`; false once the client has closed.
    bool Collect(std::chrono::milliseconds wait);

    int listener_ = -1;
    int connection_ = -1;
    uint16_t port_ = 0;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::string received_;
    std::size_t consumed_ = 0;
};

} // namespace panelgrab::test
