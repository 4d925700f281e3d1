#pragma once

#include <string>
#include <sys/types.h>

namespace panelgrab::test {

// ser2net (Debian's package) in front of one serial device, listening on 127.0.0.1 at a free port:
// the lab server of a network port, for tests and the capture benchmark. It runs in the foreground
// as a child of this process with a generated configuration, and is stopped by Stop() or the
// destructor.
class Ser2netServer {
public:
    enum class Mode {
        Raw,     // the line's bytes as a plain TCP stream
        Rfc2217, // telnet with COM port control
    };

    // The ser2net program: $PANELGRAB_SER2NET, else the first found in PATH, /usr/sbin or /sbin;
    // empty when it is not installed.
    static std::string Program();

    Ser2netServer() = default;
    ~Ser2netServer();
    Ser2netServer(const Ser2netServer&) = delete;
    Ser2netServer& operator=(const Ser2netServer&) = delete;

    // Starts serving `device` with its line set to `baud` 8N1 and waits until the port listens.
    // False with the reason (and ser2net's own output) in `error`.
    bool Start(const std::string& device, Mode mode, int baud, std::string& error);
    // Ends the server (its clients see the connection closed). Safe to call twice.
    void Stop();

    // The port's URL: "tcp://127.0.0.1:PORT" or "rfc2217://127.0.0.1:PORT".
    std::string Url() const;

private:
    bool Listening() const;

    Mode mode_ = Mode::Raw;
    int port_ = 0;
    pid_t pid_ = -1;
    std::string folder_; // configuration, pid file and log
};

} // namespace panelgrab::test
