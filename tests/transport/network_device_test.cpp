// The network backends against a scripted server: the telnet negotiation and line settings on the
// wire, the server's refusals, data with 0xFF both ways, and a server or a Close that ends a read.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <thread>

#include "session/port_failure.h"
#include "support/pty_peer.h"
#include "support/tcp_peer.h"
#include "transport/at/exchange_result.h"
#include "transport/at/serial_port.h"
#include "transport/bytes/device_errors.h"
#include "transport/bytes/rfc2217_serial_device.h"
#include "transport/bytes/tcp_serial_device.h"

namespace panelgrab {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using test::TcpPeer;
using Clock = std::chrono::steady_clock;

// Long enough for a loaded machine; the tests that wait it out use their own shorter one.
constexpr std::chrono::milliseconds kConnectWait = 2s;

// What ser2net sends first: WILL SGA, DO SGA, WILL ECHO, DONT ECHO, DO BINARY, WILL BINARY, DO
// COM-PORT-OPTION.
const std::string kGreeting =
    "\xff\xfb\x03\xff\xfd\x03\xff\xfb\x01\xff\xfe\x01\xff\xfd\x00\xff\xfb\x00\xff\xfd\x2c"s;

// The client's COM-PORT-OPTION commands and the server's answers (IAC SB 44 code value IAC SE).
std::string ComPort(uint8_t code, const std::string& value) {
    return "\xff\xfa\x2c"s + static_cast<char>(code) + value + "\xff\xf0"s;
}
const std::string kBaudQuery = ComPort(1, "\0\0\0\0"s);
const std::string kBaud115200 = "\x00\x01\xc2\x00"s;

// Greets, confirms the port is ours, and answers the five line settings with `answers` (code,
// value), as a server that took them (or not) does.
void GreetAndAnswer(TcpPeer& p, const std::vector<std::pair<uint8_t, std::string>>& answers) {
    p.Send(kGreeting);
    if (!p.ReceiveUntil(kBaudQuery)) {
        return;
    }
    p.Send(ComPort(101, "\x00\x00\x25\x80"s)); // the current rate: 9600
    if (!p.ReceiveUntil(ComPort(5, "\x01"))) {
        return;
    }
    for (const auto& [code, value] : answers) {
        p.Send(ComPort(code, value));
    }
}

const std::vector<std::pair<uint8_t, std::string>> kTakenSettings = {
    {101, kBaud115200}, {102, "\x08"}, {103, "\x01"}, {104, "\x01"}, {105, "\x01"}};

// Reads until `count` bytes came, a read failed or two seconds passed; the last read's result.
SerialDevice::IoResult ReadUpTo(SerialDevice& device, std::string& data, std::size_t count) {
    char buffer[64];
    SerialDevice::IoResult read;
    for (auto deadline = Clock::now() + 2s; data.size() < count && Clock::now() < deadline && read.ok();) {
        read = device.Read(buffer, sizeof buffer, 100ms);
        data.append(buffer, read.ok() ? read.count : 0);
    }
    return read;
}

ConnectionSettings Settings(const std::string& name, std::chrono::milliseconds connectWait) {
    ConnectionSettings settings(name, 115200);
    PortTiming timing = PortTiming::Fast();
    timing.connectWait = connectWait;
    settings.SetTiming(timing);
    return settings;
}

TEST(Rfc2217Device, NegotiatesTheOptionSetsTheLineAndPassesEvery0xffUnchanged) {
    TcpPeer peer;
    ASSERT_TRUE(peer.ok());
    std::string fromClient;
    peer.Serve([&](TcpPeer& p) {
        GreetAndAnswer(p, kTakenSettings);
        // Data from before the purge would be dropped as noise: only after it is data sent.
        p.ReceiveUntil(ComPort(12, "\x03"));
        // A notification between data bytes, and the data split inside an escape.
        p.Send("A\xff"s);
        std::this_thread::sleep_for(20ms);
        p.Send("\xff"s + "B\xff\xfa\x2c\x6b\x10\xff\xf0" + "C");
        if (p.ReceiveUntil("\r")) {
            fromClient = p.Received();
        }
    });
    Rfc2217SerialDevice device(kConnectWait);
    ASSERT_EQ(device.Open(peer.Url("rfc2217")), 0);
    ASSERT_EQ(device.Configure(115200), 0);
    std::string data;
    const SerialDevice::IoResult read = ReadUpTo(device, data, 3);
    ASSERT_TRUE(read.ok()) << read.error;
    EXPECT_EQ(data, "A\xff"s + "BC");
    const std::string command = "AT\xff"s + "x\r";
    const SerialDevice::IoResult written = device.Write(command.data(), command.size(), 1s);
    EXPECT_EQ(std::pair(written.count, written.error), std::pair(command.size(), 0));
    peer.Join();

    // WILL COM-PORT-OPTION, WILL BINARY, DO BINARY; DO SGA and WILL SGA for the server's offers, DONT
    // ECHO for its unwanted WILL ECHO; the rate query, the settings in order; DTR, RTS and the purge;
    // then the data with its 0xFF doubled.
    const std::string expected = "\xff\xfb\x2c\xff\xfb\x00\xff\xfd\x00"s +
                                 "\xff\xfd\x03\xff\xfb\x03\xff\xfe\x01"s + kBaudQuery +
                                 ComPort(1, kBaud115200) + ComPort(2, "\x08") + ComPort(3, "\x01") +
                                 ComPort(4, "\x01") + ComPort(5, "\x01") + ComPort(5, "\x08") +
                                 ComPort(5, "\x0b") + ComPort(12, "\x03") + "AT\xff\xff" + "x\r";
    EXPECT_EQ(fromClient, expected);
}

// Each way a server can fail the line settings ends the open with the settings failure and the
// reason, and leaves the port closed.
TEST(Rfc2217Device, RefusedOptionOrSettingIsTheSettingsFailureWithItsReason) {
    struct Refusal {
        const char* name;
        std::function<void(TcpPeer&)> script;
        int reason;
    };
    // The settings answered as a server that took them, but `code` with `value` (none: unanswered).
    auto withAnswer = [](uint8_t code, std::optional<std::string> value) {
        std::vector<std::pair<uint8_t, std::string>> answers;
        for (const auto& answer : kTakenSettings) {
            if (answer.first != code) {
                answers.push_back(answer);
            } else if (value) {
                answers.emplace_back(code, *value);
            }
        }
        return [answers](TcpPeer& p) {
            GreetAndAnswer(p, answers);
            p.WaitForClientClose();
        };
    };
    const Refusal refusals[] = {
        {"option refused",
         [](TcpPeer& p) {
             p.Send("\xff\xfe\x2c"s);
             p.WaitForClientClose();
         },
         kErrorNoComPortControl},
        {"no telnet at all", [](TcpPeer& p) { p.WaitForClientClose(); }, kErrorNoComPortControl},
        {"other rate", withAnswer(101, "\x00\x00\x25\x80"s), kErrorSettingRefused},
        {"seven data bits", withAnswer(102, "\x07"), kErrorSettingRefused},
        {"even parity", withAnswer(103, "\x03"), kErrorSettingRefused},
        {"hardware flow control", withAnswer(105, "\x03"), kErrorSettingRefused},
        // Not unreachable, nor busy: told as what it is.
        {"settings unanswered", withAnswer(104, std::nullopt), kErrorSettingsUnconfirmed},
    };
    for (const Refusal& refusal : refusals) {
        TcpPeer peer;
        ASSERT_TRUE(peer.ok());
        peer.Serve(refusal.script);
        SerialPort port(Settings(peer.Url("rfc2217"), 300ms));
        EXPECT_FALSE(port.Open(false)) << refusal.name;
        EXPECT_STREQ(port.errorText(), kTextBadSettings) << refusal.name;
        EXPECT_EQ(port.systemError(), refusal.reason) << refusal.name;
        if (refusal.reason == kErrorSettingsUnconfirmed) {
            EXPECT_TRUE(DescribePortFailure(port).starts_with(
                "Unable to open com port: the server accepted the connection but did not confirm the port "
                "settings within 0.3 s."))
                << DescribePortFailure(port);
        }
        EXPECT_FALSE(port.IsOpen());
        peer.Join();
    }
}

// A server that closes, before a read or a write, is a failed call, never an empty read nor a
// signal: Ser2net.SecondClientIsRefusedWhileTheFirstHoldsThePort.
TEST(TcpDevice, DataPassesUnchangedBothWays) {
    TcpPeer peer;
    ASSERT_TRUE(peer.ok());
    peer.Serve([](TcpPeer& p) {
        p.ReceiveUntil("AT\xff\r"s);
        p.Send("\xff\xfb\x2c"s + "OK\r\n");
        p.WaitForClientClose();
    });
    TcpSerialDevice device(kConnectWait);
    ASSERT_EQ(device.Open("tcp://localhost:" + std::to_string(peer.port())), 0); // by name
    EXPECT_EQ(device.Configure(921600), 0);
    const std::string command = "AT\xff\r"s;
    EXPECT_TRUE(device.Write(command.data(), command.size(), 1s).ok());
    std::string data;
    EXPECT_TRUE(ReadUpTo(device, data, 7).ok());
    EXPECT_EQ(data, "\xff\xfb\x2c"s + "OK\r\n");
    device.Close();
    peer.Join();
}

// A read that only Close can end early, on each backend: the serial port's result of it,
// TransferFaults.ClosingThePortFromAnotherThreadEndsASynchronousRead.
TEST(SerialDevices, CloseFromAnotherThreadEndsABlockedReadPromptly) {
    for (const std::string scheme : {"pty", "tcp", "rfc2217"}) {
        test::PtyPeer pty;
        TcpPeer peer;
        ASSERT_TRUE(pty.ok() && peer.ok());
        if (scheme != "pty") {
            peer.Serve([scheme](TcpPeer& p) {
                if (scheme == "rfc2217") {
                    GreetAndAnswer(p, kTakenSettings);
                }
                p.WaitForClientClose();
            });
        }
        const std::string name = scheme == "pty" ? pty.SlavePath() : peer.Url(scheme);
        std::unique_ptr<SerialDevice> device = CreateSerialDevice(name, PortTiming{});
        ASSERT_EQ(device->Open(name), 0) << scheme;
        ASSERT_EQ(device->Configure(115200), 0) << scheme;
        SerialDevice::IoResult read;
        Clock::time_point ended;
        std::thread reader([&] {
            char buffer[16];
            read = device->Read(buffer, sizeof buffer, 10s);
            ended = Clock::now();
        });
        std::this_thread::sleep_for(50ms);
        const auto closed = Clock::now();
        device->Close();
        reader.join();
        EXPECT_EQ(read.error, SerialDevice::kAborted) << scheme;
        EXPECT_LT(ended - closed, 500ms) << scheme;
        EXPECT_FALSE(device->IsOpen());
        peer.Join();
    }
}

TEST(TcpDevice, OpenFailuresAreThePortFailuresWithTheReason) {
    TcpPeer peer;
    ASSERT_TRUE(peer.ok());
    const std::string address = "127.0.0.1:" + std::to_string(peer.port());
    peer.StopListening();
    const std::pair<std::string, std::vector<int>> failures[] = {
        {"tcp://" + address, {ECONNREFUSED}},
        {"rfc2217://" + address, {ECONNREFUSED}},
        {"rfc2217://panelgrab-no-such-host.invalid:2000", {kErrorHostNotFound, kErrorNameLookupFailed}},
        {"tcp://127.0.0.1", {kErrorBadAddress}},
        {"rfc2217://[::1:2000", {kErrorBadAddress}},
    };
    for (const auto& [name, reasons] : failures) {
        SerialPort port(Settings(name, kConnectWait));
        const auto start = Clock::now();
        EXPECT_FALSE(port.Open(false)) << name;
        EXPECT_LT(Clock::now() - start, kConnectWait + 1s) << name;
        EXPECT_STREQ(port.errorText(), kTextPortInUse) << name;
        EXPECT_NE(std::find(reasons.begin(), reasons.end(), port.systemError()), reasons.end())
            << name << ": " << port.systemError();
    }
}

} // namespace
} // namespace panelgrab
