// The Win32 serial backend against the simulated phone that scripts/test windows runs on Linux and
// maps to a COM port of the Wine prefix; PANELGRAB_TEST_PORT names that port (e.g. COM5).
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "phone/phone_link.h"
#include "sim/picture_source.h"
#include "support/recording_sink.h"
#include "support/sim_phone_fixture.h"
#include "transport/at/serial_port.h"
#include "transport/bytes/device_errors.h"
#include "transport/bytes/serial_device.h"
#include "transport/ports/port_enumeration.h"
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
    using std::chrono::milliseconds;
    return PortTiming{milliseconds(50), milliseconds(5), milliseconds(20), milliseconds(20)};
}

class SimulatedPhoneOnComPort : public ::testing::Test {
protected:
    void SetUp() override {
        const char* port = std::getenv("PANELGRAB_TEST_PORT");
        if (port == nullptr || *port == '\0') {
            GTEST_SKIP() << "PANELGRAB_TEST_PORT names no COM port with the simulated phone behind it "
                            "(scripts/test windows sets one up)";
        }
        port_ = port;
    }

    ConnectionSettings Settings(const PortTiming& timing = WineTiming()) const {
        ConnectionSettings settings(port_, 115200);
        settings.SetTiming(timing);
        return settings;
    }

    std::unique_ptr<PhoneLink> OpenPhone() {
        auto phone = CreatePhone(Settings());
        const int32_t opened = phone->Open(false);
        EXPECT_EQ(opened, kPhoneOk) << phone->Port().errorText() << ": "
                                    << DescribeSystemError(phone->Port().systemError());
        return opened == kPhoneOk ? std::move(phone) : nullptr;
    }

    std::string port_;
};

TEST_F(SimulatedPhoneOnComPort, OpensProbesAndExchangesCommands) {
    auto phone = OpenPhone();
    ASSERT_TRUE(phone);
    std::string model;
    EXPECT_EQ(phone->GetModel(model), kPhoneOk);
    EXPECT_EQ(model, "P200");
    std::string answer;
    EXPECT_EQ(phone->SendCommand("AT+CGMI\r", answer), kPhoneOk);
    EXPECT_NE(answer.find("PANELSIM"), std::string::npos) << answer;
    EXPECT_EQ(phone->Close(), kPhoneOk);
    EXPECT_FALSE(phone->Port().IsOpen());
    // Closed means released: the port opens again at once.
    EXPECT_EQ(phone->Open(false), kPhoneOk);
}

TEST_F(SimulatedPhoneOnComPort, CapturesTheDisplayPixelExact) {
    auto phone = OpenPhone();
    ASSERT_TRUE(phone);
    DisplayList displays;
    ASSERT_EQ(phone->GetDisplayList(displays), kPhoneOk);
    ASSERT_FALSE(displays.empty());
    DisplayBitmap picture;
    ASSERT_EQ(phone->ReadDisplay(picture, 0), kPhoneOk);
    const Picture expected = sim::ExpectedPicture(sim::SimOptions{}, 0);
    EXPECT_EQ(test::DifferingPixels(picture, expected, expected.height()), 0);
}

TEST_F(SimulatedPhoneOnComPort, KeyPressesComeBackAsKeyEvents) {
    auto phone = OpenPhone();
    ASSERT_TRUE(phone);
    test::RecordingSink sink;
    ASSERT_EQ(phone->StartKeyEvents(&sink), kPhoneOk);
    EXPECT_EQ(phone->PressKey("5#"), kPhoneOk);
    EXPECT_TRUE(sink.WaitForEvents(4, 10s));
    EXPECT_EQ(phone->StopKeyEvents(0), kPhoneOk);
    EXPECT_EQ(sink.Events(),
              (std::vector<std::string>{"pressed 5", "released 5", "pressed #", "released #"}));
}

TEST_F(SimulatedPhoneOnComPort, ReadReturnsSoonAfterDataArrivesNotAtTheEndOfItsWait) {
    auto device = CreateLocalSerialDevice();
    ASSERT_EQ(device->Open(DevicePathOf(port_)), 0);
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

TEST_F(SimulatedPhoneOnComPort, CloseEndsABlockedReadWithinASecond) {
    // The normal timing: unwoken, this read would wait out twenty read waits of 500 ms.
    SerialPort port(Settings(PortTiming{}));
    ASSERT_TRUE(port.Open(false)) << port.errorText() << ": " << DescribeSystemError(port.systemError());
    std::promise<void> reading;
    auto reader = std::async(std::launch::async, [&] {
        std::string answer;
        reading.set_value();
        return port.ReadLine(answer, 20);
    });
    reading.get_future().wait();
    std::this_thread::sleep_for(100ms); // into the blocked read
    const auto closing = Clock::now();
    port.Close();
    ASSERT_EQ(reader.wait_for(5s), std::future_status::ready);
    EXPECT_LT(Clock::now() - closing, 1s);
    EXPECT_EQ(reader.get(), ReceiveFailed);
    EXPECT_EQ(port.systemError(), ERROR_OPERATION_ABORTED);
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(SimulatedPhoneOnComPort, MissingPortIsNamedAsSuch) {
    SerialPort port(ConnectionSettings(kMissingPort, 115200));
    EXPECT_FALSE(port.Open(false));
    EXPECT_STREQ(port.errorText(), kTextPortInUse);
    EXPECT_EQ(DescribeSystemError(port.systemError()), "no such device") << port.systemError();
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(SimulatedPhoneOnComPort, BusyPortIsRefusedAndTheHolderKeepsWorking) {
    auto holder = OpenPhone();
    ASSERT_TRUE(holder);
    SerialPort intruder(Settings());
    EXPECT_FALSE(intruder.Open(false));
    EXPECT_STREQ(intruder.errorText(), kTextPortInUse);
    EXPECT_EQ(DescribeSystemError(intruder.systemError()), "busy: another program holds it")
        << intruder.systemError();
    std::string model;
    EXPECT_EQ(holder->GetModel(model), kPhoneOk);
}

TEST_F(SimulatedPhoneOnComPort, PortListNamesTheMappedPort) {
    std::vector<std::string> names;
    for (const PortInfo& port : ListPorts()) {
        names.push_back(port.path);
    }
    EXPECT_NE(std::find(names.begin(), names.end(), port_), names.end()) << ::testing::PrintToString(names);
    EXPECT_EQ(std::find(names.begin(), names.end(), kMissingPort), names.end());
}

} // namespace
} // namespace panelgrab
