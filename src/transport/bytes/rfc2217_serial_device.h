#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "transport/bytes/serial_device.h"
#include "transport/bytes/tcp_serial_device.h"
#include "transport/bytes/telnet_framing.h"

namespace panelgrab {

// A serial port on another machine behind a telnet server with COM port control, RFC 2217
// ("rfc2217://HOST:PORT", a ser2net port in telnet(rfc2217) mode): the client sets the line.
//
// Open connects, negotiates the COM-PORT-OPTION (and BINARY both ways, so data passes unchanged) and
// asks the current rate, which the server answers once the device is ours; a server that closes
// instead (ser2net's answer while another client holds the port) fails the open. Configure sets the
// rate, 8 data bits, no parity, 1 stop bit and no flow control, waits for the server to confirm each,
// then raises DTR and RTS and purges both buffers. Data bytes 0xFF are doubled both ways; notifications
// of line and modem state are ignored.
//
// Threading as every SerialDevice: the socket is a TcpSerialDevice, whose Close wakes a blocked Read.
class Rfc2217SerialDevice final : public SerialDevice {
public:
    explicit Rfc2217SerialDevice(std::chrono::milliseconds connectWait);
    ~Rfc2217SerialDevice() override;
    Rfc2217SerialDevice(const Rfc2217SerialDevice&) = delete;
    Rfc2217SerialDevice& operator=(const Rfc2217SerialDevice&) = delete;

    int Open(const std::string& url) override;
    int Configure(int32_t baudRate) override;
    IoResult Read(char* buffer, std::size_t size, std::chrono::milliseconds wait) override;
    IoResult Write(const char* data, std::size_t size, std::chrono::milliseconds bound) override;
    void Close() override;
    bool IsOpen() const override;

private:
    using Clock = std::chrono::steady_clock;

    // Where one side of one telnet option stands.
    struct OptionSide {
        bool enabled = false;
        bool requested = false; // we asked for it and wait for the answer
    };

    // Sends negotiation bytes within the connect wait.
    int Send(const std::string& bytes);
    // Asks the server to enable `option`: ours (WILL) or its (DO).
    int Request(uint8_t verb, uint8_t option);
    // Reads and handles the stream until `done` holds; data that arrives meanwhile waits for Read.
    // Returns 0, SocketError::kTimedOut at `deadline`, or the read's failure.
    int ReadUntil(const std::function<bool()>& done, Clock::time_point deadline);
    // Decodes bytes from the socket: data to `data`, negotiation handled (and answered).
    int Take(std::string_view raw, std::string& data);
    int HandleOption(uint8_t verb, uint8_t option);
    void HandleComPortAnswer(const std::string& payload);
    int SendComPortCommand(uint8_t command, std::string_view value);
    // Checks the answers to the line settings against what was asked.
    int CheckSettingAnswers(int32_t baudRate) const;
    void ResetSession();

    TcpSerialDevice stream_;
    std::mutex writeMutex_; // keeps framed pieces whole on the wire
    // Everything below belongs to the reading side.
    std::mutex readMutex_;
    TelnetFraming framing_;
    std::vector<TelnetFraming::Event> events_;
    std::vector<char> raw_;
    std::string decoded_;
    std::string pending_;                  // data that arrived while negotiating
    std::array<OptionSide, 256> ours_{};   // options we perform (WILL / WONT)
    std::array<OptionSide, 256> theirs_{}; // options the server performs (DO / DONT)
    bool comPortDecided_ = false;
    // The server's last answer to each line setting, by command code (SET-BAUDRATE 1 .. SET-CONTROL 5).
    std::array<std::optional<std::string>, 6> answers_;
};

} // namespace panelgrab
