// The Win32 backends under Wine against simulated phones on Linux, which scripts/test windows sets
// up: one behind a COM port of the Wine prefix (PANELGRAB_TEST_PORT, e.g. COM5), and one behind
// each of ser2net's raw and RFC 2217 ports (PANELGRAB_TEST_TCP_URL, PANELGRAB_TEST_RFC2217_URL,
// tcp://127.0.0.1:PORT and rfc2217://127.0.0.1:PORT), reached over Winsock.
#include <gtest/gtest.h>

#include <winsock2.h>

#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "phone/phone_link.h"
#include "session/port_failure.h"
#include "support/recording_sink.h"
#include "transport/at/serial_port.h"
#include "transport/bytes/device_errors.h"
#include "transport/bytes/serial_device.h"
#include "transport/ports/port_names.h"

namespace panelgrab {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A COM port no test prefix maps to anything.
constexpr const char* kMissingPort = "COM9";

// Shrunk waits with room for Wine, whose every read passes through its server: a tenth of the
// defaults rather than the hundredth the Linux tests use.
PortTiming WineTiming() {
    PortTiming timing{50ms, 5ms, 20ms, 20ms};
    timing.connectWait = 3s;
    return timing;
}

ConnectionSettings Settings(const std::string& name, const PortTiming& timing = WineTiming()) {
    ConnectionSettings settings(name, 115200);
    settings.SetTiming(timing);
    return settings;
}

// The COM port and the two network ports, the COM port first; skipped unless all are named.
class WinePorts : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* variable :
             {"PANELGRAB_TEST_PORT", "PANELGRAB_TEST_TCP_URL", "PANELGRAB_TEST_RFC2217_URL"}) {
            const char* name = std::getenv(variable);
            if (name == nullptr || *name == '\0') {
                GTEST_SKIP() << variable
                             << " names no port with a simulated phone behind it "
                                "(scripts/test windows sets them up)";
            }
            ports_.emplace_back(name);
        }
        comPort_ = ports_.front();
    }

    std::unique_ptr<PhoneLink> OpenPhone(const std::string& name) {
        auto phone = CreatePhone(Settings(name));
        const int32_t opened = phone->Open(false);
        EXPECT_EQ(opened, kPhoneOk) << name << ": " << DescribePortFailure(phone->Port());
        return opened == kPhoneOk ? std::move(phone) : nullptr;
    }

    std::vector<std::string> ports_;
    std::string comPort_;
};

TEST_F(WinePorts, CloseFromAnotherThreadEndsABlockedReadWithinASecond) {
    for (const std::string& name : ports_) {
        // The normal timing: unwoken, this read would wait out twenty read waits of 500 ms.
        SerialPort port(Settings(name, PortTiming{}));
        ASSERT_TRUE(port.Open(false)) << DescribePortFailure(port);
        auto reader = std::async(std::launch::async, [&] {
            std::string answer;
            return port.ReadLine(answer, 20);
        });
        std::this_thread::sleep_for(200ms); // into the blocked read
        const auto closing = Clock::now();
        port.Close();
        ASSERT_EQ(reader.wait_for(5s), std::future_status::ready) << name;
        EXPECT_LT(Clock::now() - closing, 1s) << name;
        EXPECT_EQ(reader.get(), ReceiveFailed) << name;
        EXPECT_EQ(port.systemError(), SerialDevice::kCanceledError) << name;
        EXPECT_FALSE(port.IsOpen()) << name;
    }
}

TEST_F(WinePorts, KeyPressesComeBackAsKeyEvents) {
    auto phone = OpenPhone(comPort_);
    ASSERT_TRUE(phone);
    test::RecordingSink sink;
    ASSERT_EQ(phone->StartKeyEvents(&sink), kPhoneOk);
    EXPECT_EQ(phone->PressKey("5#"), kPhoneOk);
    EXPECT_TRUE(sink.WaitForEvents(4, 10s));
    EXPECT_EQ(phone->StopKeyEvents(0), kPhoneOk);
    EXPECT_EQ(sink.Events(),
              (std::vector<std::string>{"pressed 5", "released 5", "pressed #", "released #"}));
}

TEST_F(WinePorts, ComPortReadReturnsSoonAfterDataArrivesNotAtTheEndOfItsWait) {
    auto device = CreateLocalSerialDevice();
    ASSERT_EQ(device->Open(DevicePathOf(comPort_)), 0);
    ASSERT_EQ(device->Configure(115200), 0);
    const std::string probe = "AT\r";
    ASSERT_EQ(device->Write(probe.data(), probe.size(), 1s).error, 0);
    std::string received;
    const auto start = Clock::now();
    while (received.find("OK\r\n") == std::string::npos && Clock::now() - start < 5s) {
        char buffer[256];
        const SerialDevice::IoResult read = device->Read(buffer, sizeof buffer, 3s);
        ASSERT_EQ(read.error, 0);
        received.append(buffer, read.count);
    }
    // A read waits for its first byte, not for its whole wait: the answer is here long before 3 s.
    EXPECT_LT(Clock::now() - start, 2s) << received;
    EXPECT_NE(received.find("OK\r\n"), std::string::npos) << received;
    // Nothing more to come: an idle read ends empty once its wait has passed.
    char buffer[16];
    const SerialDevice::IoResult idle = device->Read(buffer, sizeof buffer, 50ms);
    EXPECT_EQ(idle.error, 0);
    EXPECT_EQ(idle.count, 0u);
}

// A missing port is named as such, a busy one is refused while its holder keeps working, and a
// closed one is released at once. Capturing through each port, and the port list, are checked
// against the Linux build by scripts/test windows.
TEST_F(WinePorts, ComPortMissingBusyAndReleased) {
    SerialPort missing(ConnectionSettings(kMissingPort, 115200));
    EXPECT_FALSE(missing.Open(false));
    EXPECT_STREQ(missing.errorText(), kTextPortInUse);
    EXPECT_EQ(DescribeSystemError(missing.systemError()), "no such device") << missing.systemError();

    auto holder = OpenPhone(comPort_);
    ASSERT_TRUE(holder);
    SerialPort intruder(Settings(comPort_));
    EXPECT_FALSE(intruder.Open(false));
    EXPECT_STREQ(intruder.errorText(), kTextPortInUse);
    EXPECT_EQ(DescribeSystemError(intruder.systemError()), "busy: another program holds it")
        << intruder.systemError();
    EXPECT_FALSE(intruder.IsOpen());
    std::string model;
    EXPECT_EQ(holder->GetModel(model), kPhoneOk);
    EXPECT_EQ(holder->Close(), kPhoneOk);
    EXPECT_TRUE(intruder.Open(false)) << DescribePortFailure(intruder);
}

// ser2net greets a second client of a port with a message and closes the connection.
TEST_F(WinePorts, AServerThatClosesIsAFailedReadNeverAnEmptyOne) {
    const std::string& url = ports_[1];
    auto holder = OpenPhone(url);
    ASSERT_TRUE(holder);
    auto device = CreateSerialDevice(url, WineTiming());
    ASSERT_EQ(device->Open(url), 0);
    SerialDevice::IoResult read;
    char buffer[64];
    for (const auto deadline = Clock::now() + 2s; read.ok() && Clock::now() < deadline;) {
        read = device->Read(buffer, sizeof buffer, 100ms);
    }
    EXPECT_EQ(TroubleOf(read.error), PortTrouble::ConnectionClosed) << read.error;
    EXPECT_EQ(DescribeSystemError(read.error), "connection closed by the server");
}

// A TCP socket listening on 127.0.0.1 at a port the system chose (0 when that failed).
class Listener {
public:
    Listener() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof address;
        if (bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
            listen(socket_, 1) == 0) {
            port_ = ntohs(address.sin_port);
        }
    }
    ~Listener() {
        Stop();
        WSACleanup();
    }
    int port() const { return port_; }
    std::string Url(const char* scheme) const {
        return std::string(scheme) + "://127.0.0.1:" + std::to_string(port_);
    }
    // Later connects are refused.
    void Stop() {
        if (socket_ != INVALID_SOCKET) {
            closesocket(socket_);
            socket_ = INVALID_SOCKET;
        }
    }

private:
    SOCKET socket_ = INVALID_SOCKET;
    int port_ = 0;
};

// Needs no ser2net: the failures come from Winsock and the name service.
TEST(NetworkPortFailures, RefusedOrUnknownIsTheOpenFailureWithItsReason) {
    Listener listener;
    ASSERT_NE(listener.port(), 0);
    listener.Stop();
    for (const char* scheme : {"tcp", "rfc2217"}) {
        SerialPort refused(Settings(listener.Url(scheme)));
        EXPECT_FALSE(refused.Open(false)) << scheme;
        EXPECT_STREQ(refused.errorText(), kTextPortInUse) << scheme;
        EXPECT_EQ(refused.systemError(), WSAECONNREFUSED) << scheme;
        EXPECT_EQ(TroubleOf(refused.systemError()), PortTrouble::Unreachable) << scheme;
        // The system's own words, and what to check.
        const std::string described = DescribePortFailure(refused);
        EXPECT_NE(described.find("(Windows error 10061"), std::string::npos) << described;
        EXPECT_NE(described.find("that ser2net runs there"), std::string::npos) << described;
        EXPECT_FALSE(refused.IsOpen());
    }
    SerialPort unknown(Settings("tcp://panelgrab-no-such-host.invalid:2000"));
    EXPECT_FALSE(unknown.Open(false));
    EXPECT_TRUE(unknown.systemError() == kErrorHostNotFound ||
                unknown.systemError() == kErrorNameLookupFailed)
        << DescribePortFailure(unknown);
}

} // namespace
} // namespace panelgrab
