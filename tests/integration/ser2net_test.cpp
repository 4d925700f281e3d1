// Network ports end to end: the phone object through ser2net, in raw TCP and in RFC 2217 mode, in
// front of the simulated phone's pseudo-terminal. The same captures, key events and failures as on a
// local port.
#include <gtest/gtest.h>

#include <cerrno>

#include "integration/fault_harness.h"
#include "session/port_failure.h"
#include "support/recording_sink.h"
#include "support/ser2net_server.h"
#include "transport/at/exchange_result.h"
#include "transport/at/serial_port.h"
#include "transport/bytes/device_errors.h"

namespace panelgrab::test {
namespace {

using namespace std::chrono_literals;
using Mode = Ser2netServer::Mode;

constexpr Mode kModes[] = {Mode::Raw, Mode::Rfc2217};

const char* Name(Mode mode) {
    return mode == Mode::Raw ? "raw" : "rfc2217";
}

// A simulated phone and ser2net in front of it.
class LabServer : public SimPhone {
public:
    LabServer(sim::SimOptions options, Mode mode, int serverBaud = 115200) : SimPhone(std::move(options)) {
        serverStarted_ = server.Start(DevicePath(), mode, serverBaud, serverError_);
    }

    // A phone object on the server's URL, opened; the fast timing with room for the extra hop.
    ::testing::AssertionResult Open(std::unique_ptr<PhoneLink>& client, int32_t baud = 115200) const {
        if (!serverStarted_) {
            return ::testing::AssertionFailure() << serverError_;
        }
        ConnectionSettings settings(server.Url(), baud);
        PortTiming timing = PortTiming::Fast();
        timing.readWait = 20ms;
        timing.connectWait = 2s;
        settings.SetTiming(timing);
        client = CreatePhone(settings);
        if (client->Open(false) != kPhoneOk) {
            return ::testing::AssertionFailure() << server.Url() << ": " << client->Port().errorText();
        }
        return ::testing::AssertionSuccess();
    }

    Ser2netServer server;

private:
    bool serverStarted_ = false;
    std::string serverError_;
};

class Ser2net : public ::testing::Test {
protected:
    void SetUp() override {
        if (Ser2netServer::Program().empty()) {
            GTEST_SKIP() << "ser2net is not installed (scripts/install-deps installs it)";
        }
    }
    std::unique_ptr<PhoneLink> phone;
};

// The server's line runs at 9600 baud and the client asks for 115200: RFC 2217 sets the client's
// rate, raw mode leaves the server's; the phone answers only at the rate its line should have. (The
// dialects are the transfers' tests, on a local port.)
TEST_F(Ser2net, CaptureKeysAndLineRateInBothModes) {
    for (const Mode mode : kModes) {
        SCOPED_TRACE(Name(mode));
        sim::SimOptions options = Display(16, 8);
        options.baud = mode == Mode::Rfc2217 ? 115200 : 9600;
        options.strictBaud = true;
        options.keyEvents = "5,1;5,0";
        options.keyEventPauseMs = 5;
        LabServer lab(options, mode, 9600);
        ASSERT_TRUE(lab.Open(phone, 115200));
        DisplayBitmap picture;
        ASSERT_EQ(phone->ReadDisplay(picture, 0), kPhoneOk);
        EXPECT_EQ(DifferingPixels(picture, lab.Expected(), 8), 0);
        std::string model;
        EXPECT_EQ(phone->GetModel(model), kPhoneOk);
        EXPECT_EQ(model, "P200");

        RecordingSink keys;
        ASSERT_EQ(phone->StartKeyEvents(&keys), kPhoneOk);
        ASSERT_TRUE(keys.WaitForEvents(2, 5s));
        EXPECT_EQ(phone->PressKey("#"), kPhoneOk);
        ASSERT_TRUE(keys.WaitForEvents(4, 5s));
        EXPECT_EQ(phone->StopKeyEvents(0), kPhoneOk);
        EXPECT_EQ(keys.Events(),
                  (std::vector<std::string>{"pressed 5", "released 5", "pressed #", "released #"}));
    }
}

TEST_F(Ser2net, SecondClientIsRefusedWhileTheFirstHoldsThePort) {
    // ser2net greets a second client with a message and closes: in RFC 2217 mode before the rate
    // query is answered (the open fails), in raw mode before the probe is (the phone does not answer).
    const std::pair<Mode, const char*> cases[] = {{Mode::Raw, kTextPhoneNotResponding},
                                                  {Mode::Rfc2217, kTextPortInUse}};
    for (const auto& [mode, text] : cases) {
        SCOPED_TRACE(Name(mode));
        LabServer lab(Display(16, 8), mode);
        ASSERT_TRUE(lab.Open(phone));
        std::unique_ptr<PhoneLink> second;
        const auto start = Clock::now();
        EXPECT_FALSE(lab.Open(second));
        EXPECT_LT(Since(start), kPrompt + kSchedulingSlack);
        EXPECT_STREQ(second->Port().errorText(), text);
        EXPECT_EQ(second->Port().systemError(), ECONNRESET);

        // A client of the phone's own port, beside ser2net, is refused before it opens the port,
        // naming ser2net, which uses neither locks nor exclusive mode on a pseudo-terminal.
        const auto beside = CreatePhone(FastSettings(lab.DevicePath()));
        EXPECT_EQ(beside->Open(false), kPhoneOpenFailed);
        EXPECT_EQ(beside->Port().systemError(), kErrorPortHeld);
        EXPECT_NE(DescribePortFailure(beside->Port()).find(lab.DevicePath() + " is in use by ser2net (pid "),
                  std::string::npos)
            << DescribePortFailure(beside->Port());

        DisplayBitmap picture;
        EXPECT_EQ(phone->ReadDisplay(picture, 0), kPhoneOk) << "the holder keeps the port";
        EXPECT_EQ(DifferingPixels(picture, lab.Expected(), 8), 0);
    }
}

} // namespace
} // namespace panelgrab::test
