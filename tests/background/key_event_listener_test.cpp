#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "background/key_event_listener.h"
#include "phone/phone_link.h"
#include "support/pty_peer.h"
#include "support/recording_sink.h"
#include "support/sim_phone_fixture.h"
#include "transport/at/serial_port.h"

namespace panelgrab {
namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

constexpr const char* kOk = "\r\nOK\r\n";
constexpr const char* kSwitchOn = "AT+CMER=3,2,0,0\r";
constexpr const char* kSwitchOff = "AT+CMER=0,0,0,0\r";

// What a key handler may do to its own phone: each call runs on the listener's thread, which can
// neither wait for itself nor be freed under itself.
struct HandlerSink : test::RecordingSink {
    std::function<void()> onFirstPress;
    std::atomic<int32_t> result{-1};
    void OnKeyPressed(std::string key) override {
        RecordingSink::OnKeyPressed(std::move(key));
        if (auto act = std::exchange(onFirstPress, nullptr)) {
            act();
        }
    }
};

// A scripted peer that answers the probe; each test opens a serial port or a phone object on it.
class KeyEvents : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(peer.ok());
        peer.Respond(std::string("AT\r") + kOk);
        peer.Start();
        settings.SetTiming(PortTiming::Fast());
    }
    void OpenPort() {
        port = std::make_unique<SerialPort>(settings);
        ASSERT_TRUE(port->Open(false));
    }
    void OpenPhone() {
        phone = CreatePhone(settings);
        ASSERT_EQ(phone->Open(false), kPhoneOk);
    }
    // Opens the phone and starts its key events for `client`, whose first press runs `act`; the
    // phone reports a press of key 1 and, a little later, its release.
    void StartForHandler(HandlerSink& client, std::function<void()> act) {
        OpenPhone();
        client.onFirstPress = std::move(act);
        peer.Respond(kOk)
            .Silence(20ms)
            .Answer("\r\n+CKEV: 1,1\r\n")
            .Silence(20ms)
            .Answer("\r\n+CKEV: 1,0\r\n");
        ASSERT_EQ(phone->StartKeyEvents(&client), kPhoneOk);
    }

    test::PtyPeer peer;
    ConnectionSettings settings{peer.SlavePath(), 115200};
    test::RecordingSink sink; // outlives the port and the phone that report to it
    std::unique_ptr<SerialPort> port;
    std::unique_ptr<PhoneLink> phone;
};

TEST_F(KeyEvents, ReportsArriveInOrderAlsoTogetherAndSplit) {
    OpenPort();
    // A report in the same read as the switch-on's OK, two reports in one write, then a report cut
    // in the middle of its key, then one holding commas.
    peer.Respond(std::string(kOk) + "\r\n+CKEV: 0,1\r\n").Silence(20ms);
    peer.Answer("\r\n+CKEV: 5,1\r\n\r\n+CKEV: 5,0\r\n");
    peer.Answer("\r\n+CKEV: 1").Silence(30ms).Answer("2,2\r\n");
    peer.Answer("\r\n+CKEV: \",\",1\r\n");
    KeyEventListener listener(&sink, *port);
    ASSERT_TRUE(listener.Start());
    EXPECT_TRUE(listener.IsRunning());
    ASSERT_TRUE(sink.WaitForEvents(5, 5s));
    peer.Respond(kOk);
    EXPECT_TRUE(listener.Stop());
    EXPECT_FALSE(listener.IsRunning());
    EXPECT_EQ(sink.Events(),
              (Strings{"pressed 0", "pressed 5", "released 5", "released 12", "pressed \",\""}));
    EXPECT_EQ(sink.StoppedCount(), 1);
    EXPECT_EQ(peer.Commands(), (Strings{"AT\r", kSwitchOn, kSwitchOff}));
}

TEST_F(KeyEvents, RefusedSwitchOnMakesNoWorker) {
    OpenPort();
    peer.Expect().AnswerError().Expect().AnswerError().Expect().AnswerError();
    KeyEventListener listener(&sink, *port);
    EXPECT_FALSE(listener.Start());
    EXPECT_FALSE(listener.IsRunning());
}

TEST_F(KeyEvents, VanishedPortEndsTheWorkerAndStopStillReports) {
    OpenPort();
    peer.Respond(kOk).Silence(20ms).HangUp();
    KeyEventListener listener(&sink, *port);
    ASSERT_TRUE(listener.Start());
    EXPECT_TRUE(test::WaitUntil([&] { return !listener.IsRunning(); }, 5s));
    EXPECT_EQ(sink.LostCount(), 1); // told at once, not only when stopping
    EXPECT_FALSE(listener.Stop());  // the switch-off cannot be sent any more
    EXPECT_EQ(sink.StoppedCount(), 1);
}

// Through the phone object: events reach the client while one is set, and a second start replaces
// the first listener cleanly.
TEST_F(KeyEvents, PhoneForwardsToTheClientUntilStoppedOrReplaced) {
    OpenPhone();
    peer.Respond(kOk).Silence(20ms).Answer("\r\n+CKEV: 9,1\r\n\r\n+CKEV: 9,0\r\n");
    ASSERT_EQ(phone->StartKeyEvents(&sink), kPhoneOk);
    ASSERT_TRUE(sink.WaitForEvents(2, 5s));
    test::RecordingSink second;
    peer.Respond(kOk).Respond(kOk).Silence(20ms).Answer("\r\n+CKEV: 7,1\r\n");
    ASSERT_EQ(phone->StartKeyEvents(&second), kPhoneOk);
    ASSERT_TRUE(second.WaitForEvents(1, 5s));
    peer.Respond(kOk);
    EXPECT_EQ(phone->StopKeyEvents(0), kPhoneOk);
    EXPECT_EQ(sink.Events(), (Strings{"pressed 9", "released 9"}));
    EXPECT_EQ(second.Events(), Strings{"pressed 7"});
    EXPECT_EQ(sink.StoppedCount() + second.StoppedCount(), 0); // the client asked; it is not told again
    EXPECT_EQ(phone->StopKeyEvents(0), kPhoneFailed);
    EXPECT_EQ(peer.Commands(), (Strings{"AT\r", kSwitchOn, kSwitchOff, kSwitchOn, kSwitchOff}));
}

TEST_F(KeyEvents, StopFromAHandlerEndsDeliveryAndTheListenerSwitchesOffItself) {
    HandlerSink client;
    StartForHandler(client, [&] { client.result = phone->StopKeyEvents(0); });
    peer.Respond(kOk);
    ASSERT_TRUE(client.WaitForEvents(1, 5s));
    std::this_thread::sleep_for(80ms); // the release arrives, but the client is no longer told
    EXPECT_EQ(client.result.load(), kPhoneOk);
    EXPECT_EQ(client.Events(), Strings{"pressed 1"});
    EXPECT_EQ(phone->StopKeyEvents(0), kPhoneOk); // joins; the worker's switch-off had its OK
    EXPECT_EQ(peer.Commands(), (Strings{"AT\r", kSwitchOn, kSwitchOff}));
}

TEST_F(KeyEvents, StartFromAHandlerKeepsListeningForTheNewClient) {
    HandlerSink client;
    test::RecordingSink next;
    StartForHandler(client, [&] {
        phone->StopKeyEvents(0); // undone by the start that follows in the same handler
        client.result = phone->StartKeyEvents(&next);
    });
    ASSERT_TRUE(next.WaitForEvents(1, 5s));
    EXPECT_EQ(client.result.load(), kPhoneOk);
    EXPECT_EQ(next.Events(), Strings{"released 1"});
    peer.Respond(kOk);
    EXPECT_EQ(phone->StopKeyEvents(0), kPhoneOk);
    EXPECT_EQ(peer.Commands(), (Strings{"AT\r", kSwitchOn, kSwitchOff}));
}

TEST_F(KeyEvents, DestroyingThePhoneFromAHandlerLeavesTheListenerToFinishAlone) {
    HandlerSink client;
    std::atomic<bool> destroyed{false};
    StartForHandler(client, [&] {
        phone.reset();
        destroyed = true;
    });
    ASSERT_TRUE(client.WaitForEvents(1, 5s));
    EXPECT_TRUE(test::WaitUntil([&] { return destroyed.load(); }, 5s));
    std::this_thread::sleep_for(50ms); // the detached worker frees the listener and the port
    EXPECT_EQ(client.Events(), Strings{"pressed 1"});
    EXPECT_EQ(client.LostCount(), 0);
}

} // namespace
} // namespace panelgrab
