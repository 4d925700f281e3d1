// Network ports end to end: the phone object through ser2net, in raw TCP and in RFC 2217 mode, in
// front of the simulated phone's pseudo-terminal. The same captures, key events and failures as on a
// local port.
#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include "integration/fault_harness.h"
#include "support/recording_sink.h"
#include "support/ser2net_server.h"
#include "support/sim_phone_fixture.h"
#include "transport/exchange_result.h"
#include "transport/port_names.h"
#include "transport/serial_port.h"

namespace panelgrab::test {
namespace {

using namespace std::chrono_literals;
using Mode = Ser2netServer::Mode;

constexpr Mode kModes[] = {Mode::Raw, Mode::Rfc2217};

const char* Name(Mode mode) {
    return mode == Mode::Raw ? "raw" : "rfc2217";
}

// The fast timing, with room for the extra hop through ser2net on a loaded machine.
PortTiming NetworkTiming() {
    PortTiming timing = PortTiming::Fast();
    timing.readWait = 20ms;
    timing.connectWait = 2s;
    return timing;
}

// A simulated phone and ser2net in front of it.
class LabServer {
public:
    LabServer(sim::SimOptions options, Mode mode, int serverBaud = 115200)
        : options_(std::move(options)), sim_(options_) {
        std::string error;
        started_ = sim_.Start(error) && server_.Start(sim_.DevicePath(), mode, serverBaud, error);
        error_ = error;
    }

    ::testing::AssertionResult Started() const {
        return started_ ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << error_;
    }

    std::unique_ptr<PhoneLink> MakePhone(int32_t baud = 115200) const {
        ConnectionSettings settings(server_.Url(), baud);
        settings.SetTiming(NetworkTiming());
        return CreatePhone(settings);
    }

    sim::RgbImage Expected() const { return sim::ExpectedPicture(options_, 0); }
    const std::string& DevicePath() const { return sim_.DevicePath(); }
    Ser2netServer& server() { return server_; }

private:
    sim::SimOptions options_;
    sim::SimulatedPhone sim_;
    Ser2netServer server_;
    bool started_ = false;
    std::string error_;
};

class Ser2net : public ::testing::Test {
protected:
    void SetUp() override {
        if (Ser2netServer::Program().empty()) {
            GTEST_SKIP() << "ser2net is not installed (scripts/install-deps installs it)";
        }
    }
};

TEST_F(Ser2net, CaptureIsPixelExactInBothModesAndBothDialects) {
    for (const Mode mode : kModes) {
        for (const sim::Dialect dialect : {sim::Dialect::Long, sim::Dialect::PerLine}) {
            sim::SimOptions options;
            options.dialect = dialect;
            LabServer lab(options, mode);
            ASSERT_TRUE(lab.Started());
            auto phone = lab.MakePhone();
            ASSERT_EQ(phone->Open(false), kPhoneOk) << Name(mode) << ": " << phone->Port().errorText();
            DisplayBitmap picture;
            ASSERT_EQ(phone->ReadDisplay(picture, 0), kPhoneOk) << Name(mode);
            const sim::RgbImage expected = lab.Expected();
            EXPECT_EQ(DifferingPixels(picture, expected, expected.height), 0) << Name(mode);
            std::string model;
            EXPECT_EQ(phone->GetModel(model), kPhoneOk);
            EXPECT_EQ(model, "P200");
        }
    }
}

TEST_F(Ser2net, KeyEventsArriveAndKeysArePressedInBothModes) {
    for (const Mode mode : kModes) {
        sim::SimOptions options;
        options.keyEvents = "5,1;5,0";
        options.keyEventPauseMs = 5;
        LabServer lab(options, mode);
        ASSERT_TRUE(lab.Started());
        auto phone = lab.MakePhone();
        ASSERT_EQ(phone->Open(false), kPhoneOk) << Name(mode) << ": " << phone->Port().errorText();
        RecordingSink client;
        ASSERT_EQ(phone->StartKeyEvents(&client), kPhoneOk) << Name(mode);
        ASSERT_TRUE(client.WaitForEvents(2, 5s)) << Name(mode);
        EXPECT_EQ(phone->PressKey("#"), kPhoneOk) << Name(mode);
        ASSERT_TRUE(client.WaitForEvents(4, 5s)) << Name(mode);
        EXPECT_EQ(phone->StopKeyEvents(0), kPhoneOk);
        EXPECT_EQ(client.Events(),
                  (std::vector<std::string>{"pressed 5", "released 5", "pressed #", "released #"}))
            << Name(mode);
    }
}

// The rate the device's line has now, read from the pseudo-terminal.
speed_t LineSpeed(const std::string& device) {
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios settings{};
    const bool read = fd >= 0 && tcgetattr(fd, &settings) == 0;
    if (fd >= 0) {
        ::close(fd);
    }
    return read ? cfgetospeed(&settings) : B0;
}

TEST_F(Ser2net, Rfc2217SetsTheClientsRateWhereRawLeavesTheServers) {
    const std::pair<Mode, speed_t> cases[] = {{Mode::Rfc2217, B115200}, {Mode::Raw, B9600}};
    for (const auto& [mode, speed] : cases) {
        LabServer lab(Display(8, 4), mode, 9600);
        ASSERT_TRUE(lab.Started());
        auto phone = lab.MakePhone(115200);
        ASSERT_EQ(phone->Open(false), kPhoneOk) << Name(mode) << ": " << phone->Port().errorText();
        EXPECT_EQ(LineSpeed(lab.DevicePath()), speed) << Name(mode);
        DisplayBitmap picture;
        EXPECT_EQ(phone->ReadDisplay(picture, 0), kPhoneOk) << Name(mode);
    }
}

TEST_F(Ser2net, ServerStoppedInsideATransferFailsPromptlyWithThePartialPicture) {
    for (const Mode mode : kModes) {
        // At 115200 baud the picture of 176 x 220 takes seconds: stop the server while it arrives.
        sim::SimOptions options;
        options.baud = 115200;
        LabServer lab(options, mode);
        ASSERT_TRUE(lab.Started());
        auto phone = lab.MakePhone();
        ASSERT_EQ(phone->Open(false), kPhoneOk) << Name(mode) << ": " << phone->Port().errorText();
        DisplayList displays;
        ASSERT_EQ(phone->GetDisplayList(displays), kPhoneOk);
        const auto lineLength = static_cast<int32_t>(displays.front().lineLength);
        ASSERT_EQ(phone->StartScreenRead(displays.front()), kPhoneOk);
        ASSERT_TRUE(WaitUntil([&] { return phone->GetReadProgress() >= 3 * lineLength; }, 5s)) << Name(mode);

        const auto start = Clock::now();
        lab.server().Stop();
        EXPECT_TRUE(WaitUntil([&] { return !phone->IsReadRunning(); }, 5s))
            << Name(mode) << ": the read hangs";
        EXPECT_LT(Since(start), kPrompt + kSchedulingSlack) << Name(mode);
        EXPECT_STREQ(phone->Port().errorText(), ExchangeResultText(ReceiveFailed)) << Name(mode);
        EXPECT_EQ(phone->Port().systemError(), ECONNRESET) << Name(mode);
        const DisplayBitmap* picture = nullptr;
        ASSERT_EQ(phone->GetReadImage(picture), kPhoneOk);
        const PartialPicture partial = InspectPartial(*picture, lab.Expected());
        EXPECT_GE(partial.matchingRows, 3) << Name(mode);
        EXPECT_LT(partial.matchingRows, 220) << Name(mode);
        EXPECT_TRUE(partial.restBlack) << Name(mode);
    }
}

TEST_F(Ser2net, SecondClientIsRefusedWhileTheFirstHoldsThePort) {
    // ser2net greets a second client with a message and closes: in RFC 2217 mode before the rate
    // query is answered (the open fails), in raw mode before the probe is (the phone does not answer).
    const std::pair<Mode, const char*> cases[] = {{Mode::Raw, kTextPhoneNotResponding},
                                                  {Mode::Rfc2217, kTextPortInUse}};
    for (const auto& [mode, text] : cases) {
        LabServer lab(Display(16, 8), mode);
        ASSERT_TRUE(lab.Started());
        auto holder = lab.MakePhone();
        ASSERT_EQ(holder->Open(false), kPhoneOk) << Name(mode) << ": " << holder->Port().errorText();

        auto second = lab.MakePhone();
        const auto start = Clock::now();
        EXPECT_EQ(second->Open(false), kPhoneOpenFailed) << Name(mode);
        EXPECT_LT(Since(start), kPrompt + kSchedulingSlack) << Name(mode);
        EXPECT_STREQ(second->Port().errorText(), text) << Name(mode);
        EXPECT_EQ(second->Port().systemError(), ECONNRESET) << Name(mode);

        DisplayBitmap picture;
        EXPECT_EQ(holder->ReadDisplay(picture, 0), kPhoneOk) << Name(mode) << ": the holder keeps the port";
        EXPECT_EQ(DifferingPixels(picture, lab.Expected(), 8), 0);
    }
}

TEST_F(Ser2net, RefusedConnectionAndUnknownHostFailTheOpenWithTheReason) {
    LabServer lab(Display(8, 4), Mode::Rfc2217);
    ASSERT_TRUE(lab.Started());
    const std::string url = lab.server().Url();
    const std::string rawUrl = "tcp://127.0.0.1:" + std::to_string(lab.server().port());
    lab.server().Stop();
    const std::pair<std::string, std::vector<int>> cases[] = {
        {url, {ECONNREFUSED}},
        {rawUrl, {ECONNREFUSED}},
        {"rfc2217://panelgrab-no-such-host.invalid:2000", {kErrorHostNotFound, kErrorNameLookupFailed}},
    };
    for (const auto& [name, reasons] : cases) {
        ConnectionSettings settings(name, 115200);
        settings.SetTiming(NetworkTiming());
        auto phone = CreatePhone(settings);
        const auto start = Clock::now();
        EXPECT_EQ(phone->Open(false), kPhoneOpenFailed) << name;
        EXPECT_LT(Since(start), NetworkTiming().connectWait + kSchedulingSlack) << name;
        EXPECT_STREQ(phone->Port().errorText(), kTextPortInUse) << name;
        EXPECT_NE(std::find(reasons.begin(), reasons.end(), phone->Port().systemError()), reasons.end())
            << name << ": " << phone->Port().systemError();
    }
}

} // namespace
} // namespace panelgrab::test
