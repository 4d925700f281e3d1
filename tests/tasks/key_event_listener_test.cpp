#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "phone/phone_link.h"
#include "support/pty_peer.h"
#include "tasks/key_event_listener.h"
#include "tasks/recording_sink.h"
#include "tasks/sim_phone_fixture.h"
#include "transport/serial_port.h"

namespace panelgrab {
namespace {

using namespace std::chrono_literals;
using test::PtyPeer;
using test::RecordingSink;
using Events = std::vector<std::string>;

constexpr const char* kOk = "\r\nOK\r\n";
constexpr const char* kSwitchOn = "AT+CMER=3,2,0,0\r";
constexpr const char* kSwitchOff = "AT+CMER=0,0,0,0\r";

ConnectionSettings FastSettings(const std::string& portName) {
    ConnectionSettings settings(portName, 115200);
    settings.SetTiming(PortTiming::Fast());
    return settings;
}

// A serial port opened on a scripted peer that has answered the probe.
class ListenerOnPeer : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(peer.ok());
        peer.Respond(std::string("AT\r") + kOk);
        peer.Start();
        port = std::make_unique<SerialPort>(FastSettings(peer.SlavePath()));
        ASSERT_TRUE(port->Open(false));
    }

    std::vector<std::string> CommandsAfterProbe() {
        std::vector<std::string> commands = peer.Commands();
        commands.erase(commands.begin());
        return commands;
    }

    PtyPeer peer;
    std::unique_ptr<SerialPort> port;
    RecordingSink sink;
};

TEST_F(ListenerOnPeer, ReportsArriveInOrderAlsoTogetherAndSplit) {
    // The transport drops what follows an OK in the same read, so reports come a moment later, as
    // from a phone.
    peer.Respond(kOk).Silence(20ms);
    // Two reports in one write, then a report cut in the middle of its key, then one holding commas.
    peer.Answer("\r\n+CKEV: 5,1\r\n\r\n+CKEV: 5,0\r\n");
    peer.Answer("\r\n+CKEV: 1").Silence(30ms).Answer("2,2\r\n");
    peer.Answer("\r\n+CKEV: \",\",1\r\n");
    KeyEventListener listener(&sink, *port);
    ASSERT_TRUE(listener.Start());
    EXPECT_TRUE(listener.IsRunning());
    ASSERT_TRUE(sink.WaitForEvents(4, 5s));
    peer.Respond(kOk);
    EXPECT_TRUE(listener.Stop());
    EXPECT_FALSE(listener.IsRunning());
    EXPECT_EQ(sink.Events(), (Events{"pressed 5", "released 5", "released 12", "pressed \",\""}));
    EXPECT_EQ(sink.StoppedCount(), 1);
    EXPECT_EQ(CommandsAfterProbe(), (std::vector<std::string>{kSwitchOn, kSwitchOff}));
}

TEST_F(ListenerOnPeer, RefusedSwitchOnMakesNoWorker) {
    peer.Expect().AnswerError().Expect().AnswerError().Expect().AnswerError();
    KeyEventListener listener(&sink, *port);
    EXPECT_FALSE(listener.Start());
    EXPECT_FALSE(listener.IsRunning());
    bool flag = true;
    EXPECT_EQ(listener.IsSupported(flag), 0);
    EXPECT_TRUE(flag);
    EXPECT_EQ(listener.Run(), 0);
}

TEST_F(ListenerOnPeer, VanishedPortEndsTheWorkerAndStopStillReports) {
    peer.Respond(kOk).Silence(20ms).HangUp();
    KeyEventListener listener(&sink, *port);
    ASSERT_TRUE(listener.Start());
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (listener.IsRunning() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(2ms);
    }
    EXPECT_FALSE(listener.IsRunning());
    EXPECT_FALSE(listener.Stop()); // the switch-off cannot be sent any more
    EXPECT_EQ(sink.StoppedCount(), 1);
}

// The phone object's side: events reach the client while one is set, and a second start replaces
// the first listener cleanly.
class PhoneKeyEvents : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(peer.ok());
        peer.Respond(std::string("AT\r") + kOk);
        peer.Start();
        phone = CreatePhone(FastSettings(peer.SlavePath()));
        ASSERT_EQ(phone->Open(false), kPhoneOk);
    }

    PtyPeer peer;
    RecordingSink client;
    std::unique_ptr<PhoneLink> phone;
};

TEST_F(PhoneKeyEvents, ForwardedToTheClientUntilStopped) {
    peer.Respond(kOk).Silence(20ms).Answer("\r\n+CKEV: #,1\r\n\r\n+CKEV: #,0\r\n");
    ASSERT_EQ(phone->StartKeyEvents(&client), kPhoneOk);
    ASSERT_TRUE(client.WaitForEvents(2, 5s));
    peer.Respond(kOk);
    EXPECT_EQ(phone->StopKeyEvents(0), kPhoneOk);
    EXPECT_EQ(client.Events(), (Events{"pressed #", "released #"}));
    EXPECT_EQ(client.StoppedCount(), 0); // the client asked for the stop; it is not told again
    EXPECT_EQ(phone->StopKeyEvents(0), kPhoneFailed);
}

TEST_F(PhoneKeyEvents, SecondStartStopsTheFirstListener) {
    RecordingSink second;
    peer.Respond(kOk).Respond(kOk).Respond(kOk).Silence(20ms).Answer("\r\n+CKEV: 7,1\r\n");
    ASSERT_EQ(phone->StartKeyEvents(&client), kPhoneOk);
    ASSERT_EQ(phone->StartKeyEvents(&second), kPhoneOk);
    ASSERT_TRUE(second.WaitForEvents(1, 5s));
    EXPECT_EQ(second.Events(), Events{"pressed 7"});
    EXPECT_TRUE(client.Events().empty());
    EXPECT_EQ(peer.Commands(), (std::vector<std::string>{"AT\r", kSwitchOn, kSwitchOff, kSwitchOn}));
    // Destroying the phone with a running listener ends it without waiting for the phone.
    const auto started = std::chrono::steady_clock::now();
    phone.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
}

TEST_F(PhoneKeyEvents, KeyPressWhileListeningIsReportedBack) {
    peer.Respond(kOk);
    ASSERT_EQ(phone->StartKeyEvents(&client), kPhoneOk);
    // The phone answers the key press and then reports it, as a real keypad does.
    peer.Respond(kOk).Silence(20ms).Answer("\r\n+CKEV: 9,1\r\n\r\n+CKEV: 9,0\r\n");
    EXPECT_EQ(phone->PressKey("9"), kPhoneOk);
    ASSERT_TRUE(client.WaitForEvents(2, 5s));
    peer.Respond(kOk);
    EXPECT_EQ(phone->StopKeyEvents(0), kPhoneOk);
    EXPECT_EQ(client.Events(), (Events{"pressed 9", "released 9"}));
}

} // namespace
} // namespace panelgrab

namespace panelgrab {
namespace {

TEST(SimulatedKeypad, ScriptedReportsAndKeyPressesArriveInOrder) {
    sim::SimOptions options;
    options.keyEvents = "5,1;5,0;a,b,1;a,b,0";
    options.keyEventPauseMs = 5;
    test::SimPhone sim(options);
    ASSERT_TRUE(sim.Connect());
    RecordingSink client;
    ASSERT_EQ(sim.phone->StartKeyEvents(&client), kPhoneOk);
    ASSERT_TRUE(client.WaitForEvents(4, 5s));
    // Keys pressed over AT+CKPD are reported back after the OK, pressed then released.
    EXPECT_EQ(sim.phone->PressKey("12"), kPhoneOk);
    ASSERT_TRUE(client.WaitForEvents(8, 5s));
    EXPECT_EQ(sim.phone->StopKeyEvents(0), kPhoneOk);
    EXPECT_EQ(client.Events(), (Events{"pressed 5", "released 5", "pressed a,b", "released a,b", "pressed 1",
                                       "released 1", "pressed 2", "released 2"}));
    // Reporting is off again: a key press is no longer reported.
    EXPECT_EQ(sim.phone->PressKey("3"), kPhoneOk);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(client.Events().size(), 8u);
}

} // namespace
} // namespace panelgrab
