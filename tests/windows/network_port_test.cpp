// The network ports over Winsock against ser2net, which scripts/test windows runs on Linux in front
// of a second simulated phone: PANELGRAB_TEST_TCP_URL and PANELGRAB_TEST_RFC2217_URL name its raw
// and its RFC 2217 port (tcp://127.0.0.1:PORT, rfc2217://127.0.0.1:PORT).
#include <gtest/gtest.h>

#include <winsock2.h>

#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "phone/phone_link.h"
#include "sim/picture_source.h"
#include "support/sim_phone_fixture.h"
#include "session/port_failure.h"
#include "transport/at/serial_port.h"
#include "transport/bytes/device_errors.h"
#include "transport/bytes/serial_device.h"

namespace panelgrab {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// As the COM port tests: a tenth of the default waits, room for Wine.
PortTiming WineTiming() {
    PortTiming timing{std::chrono::milliseconds(50), std::chrono::milliseconds(5),
                      std::chrono::milliseconds(20), std::chrono::milliseconds(20)};
    timing.connectWait = 3s;
    return timing;
}

ConnectionSettings Settings(const std::string& url, const PortTiming& timing = WineTiming()) {
    ConnectionSettings settings(url, 115200);
    settings.SetTiming(timing);
    return settings;
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
    // Takes one client and closes the connection at once, as a server whose device went away.
    void AcceptAndHangUp() {
        const SOCKET client = accept(socket_, nullptr, nullptr);
        if (client != INVALID_SOCKET) {
            closesocket(client);
        }
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

class Ser2netPorts : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"PANELGRAB_TEST_TCP_URL", "PANELGRAB_TEST_RFC2217_URL"}) {
            const char* url = std::getenv(name);
            if (url == nullptr || *url == '\0') {
                GTEST_SKIP() << name << " names no ser2net port (scripts/test windows starts one)";
            }
            urls_.emplace_back(url);
        }
    }

    std::vector<std::string> urls_;
};

TEST_F(Ser2netPorts, CapturesTheDisplayPixelExactThroughBothSchemes) {
    for (const std::string& url : urls_) {
        auto phone = CreatePhone(Settings(url));
        ASSERT_EQ(phone->Open(false), kPhoneOk) << url << ": " << DescribePortFailure(phone->Port());
        std::string model;
        EXPECT_EQ(phone->GetModel(model), kPhoneOk) << url;
        EXPECT_EQ(model, "P200") << url;
        DisplayBitmap picture;
        ASSERT_EQ(phone->ReadDisplay(picture, 0), kPhoneOk) << url;
        const Picture expected = sim::ExpectedPicture(sim::SimOptions{}, 0);
        EXPECT_EQ(test::DifferingPixels(picture, expected, expected.height()), 0) << url;
        EXPECT_EQ(phone->Close(), kPhoneOk) << url;
    }
}

TEST_F(Ser2netPorts, CloseFromAnotherThreadEndsABlockedReadAtOnce) {
    for (const std::string& url : urls_) {
        auto device = CreateSerialDevice(url, WineTiming());
        ASSERT_EQ(device->Open(url), 0) << url;
        ASSERT_EQ(device->Configure(115200), 0) << url;
        // The phone says nothing unasked: unwoken, this read would wait ten seconds.
        auto reader = std::async(std::launch::async, [&] {
            char buffer[16];
            const SerialDevice::IoResult read = device->Read(buffer, sizeof buffer, 10s);
            return std::make_pair(read, Clock::now());
        });
        std::this_thread::sleep_for(200ms); // into the blocked read
        const auto closing = Clock::now();
        device->Close();
        ASSERT_EQ(reader.wait_for(5s), std::future_status::ready) << url;
        const auto [read, ended] = reader.get();
        EXPECT_EQ(read.error, SerialDevice::kAborted) << url;
        EXPECT_LT(ended - closing, 500ms) << url;
        EXPECT_FALSE(device->IsOpen()) << url;
    }
}

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

TEST(NetworkPortFailures, AServerThatClosesIsAFailedReadNeverAnEmptyOne) {
    Listener listener;
    ASSERT_NE(listener.port(), 0);
    std::thread server([&] { listener.AcceptAndHangUp(); });
    auto device = CreateSerialDevice(listener.Url("tcp"), WineTiming());
    const int opened = device->Open(listener.Url("tcp"));
    if (opened != 0) {
        listener.Stop(); // ends the wait for a client
        server.join();
        FAIL() << DescribeSystemError(opened);
    }
    SerialDevice::IoResult read;
    char buffer[16];
    for (const auto deadline = Clock::now() + 2s; read.ok() && Clock::now() < deadline;) {
        read = device->Read(buffer, sizeof buffer, 100ms);
        EXPECT_EQ(read.count, 0u);
    }
    server.join();
    EXPECT_EQ(TroubleOf(read.error), PortTrouble::ConnectionClosed) << read.error;
    EXPECT_EQ(DescribeSystemError(read.error), "connection closed by the server");
}

} // namespace
} // namespace panelgrab
