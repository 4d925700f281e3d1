#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "session/session.h"
#include "support/recording_sink.h"
#include "transport/at/trace_sink.h"

namespace panelgrab {
namespace {

// Counts the commands that went out, from any thread.
class CommandCounter : public TraceSink {
public:
    void OnCommandSent(const std::string& text) override {
        const std::lock_guard lock(mutex_);
        sent_.push_back(text);
    }
    void OnAnswerReceived(const std::string&) override {}
    int Count(const std::string& start) const {
        const std::lock_guard lock(mutex_);
        return static_cast<int>(std::count_if(
            sent_.begin(), sent_.end(), [&](const std::string& text) { return text.starts_with(start); }));
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> sent_;
};

SessionOptions FastOptions(const std::string& port) {
    SessionOptions options;
    options.port = port;
    options.fastTiming = true;
    return options;
}

// A result's failure, or success, without its value.
template <typename T> Result<void> Outcome(const Result<T>& result) {
    return result ? Result<void>() : Result<void>(result.failure());
}

// A grab of the first display, its progress polled often.
Result<void> GrabFirstDisplay(Session& session, GrabMode mode) {
    const Result<DisplayInfo> display = session.DisplayAt(0);
    if (!display) {
        return display.failure();
    }
    return Outcome(session.Grab(*display, {mode, nullptr, std::chrono::milliseconds(5)}));
}

// The failures a user meets, each from a phone or port that shows it: the kind a front end chooses
// its reaction by, and the words (with the port) it shows.
TEST(SessionFailures, EachFaultHasItsKindAndWords) {
    const struct {
        const char* port;
        std::function<Result<void>(Session&)> operation; // after a successful open; none: the open fails
        FailureKind kind;
        std::vector<std::string> parts; // of FailureMessage
    } cases[] = {
        {"/dev/panelgrab-no-such-port",
         nullptr,
         FailureKind::NoSuchDevice,
         {"/dev/panelgrab-no-such-port: Unable to open com port", "(no such device)", "Check the port name"}},
        {"sim:--fault=silent",
         nullptr,
         FailureKind::NotResponding,
         {"sim (/dev/", ": Phone is not responding. Check that the phone is on", "(--baud)"}},
        {"sim:--frob", nullptr, FailureKind::BadInput, {"unknown option --frob"}},
        {"none", nullptr, FailureKind::BadInput, {"opens no port"}},
        {"sim:--fault=cme-errors",
         [](Session& s) {
             return Outcome(s.Checksum({0, 0, 999, 999}, 0));
         },
         FailureKind::Refused,
         {"sim (/dev/", ": checksum failed: ", "responded with error", "(+CME ERROR: 100)"}},
        {"sim:--fault=huge-display",
         [](Session& s) { return GrabFirstDisplay(s, GrabMode::AtOnce); },
         FailureKind::DisplayTooLarge,
         {"The phone reported a display too large to read."}},
        {"sim:--fault=hangup-after=5000",
         [](Session& s) { return GrabFirstDisplay(s, GrabMode::Background); },
         FailureKind::PhoneGone,
         {": the read ended after ", " of 220 lines: ", "device gone", "check the cable"}},
        {"sim",
         [](Session& s) { return Outcome(s.DisplayAt(1)); },
         FailureKind::BadInput,
         {"sim (/dev/", ": the phone has no display 1 (it describes 1, numbered from 0)"}},
        {"sim",
         [](Session& s) { return s.PressKeys("1\"\r+CFUN=0", std::nullopt); },
         FailureKind::BadInput,
         {"the key text holds '\"'"}},
    };
    for (const auto& c : cases) {
        Session session(FastOptions(c.port));
        Result<void> outcome = session.Open();
        if (c.operation) {
            ASSERT_TRUE(outcome) << c.port << ": " << FailureMessage(outcome.failure());
            outcome = c.operation(session);
        }
        ASSERT_FALSE(outcome) << c.port;
        const std::string message = FailureMessage(outcome.failure());
        EXPECT_EQ(FailureKindName(outcome.failure().kind), std::string(FailureKindName(c.kind))) << message;
        for (const std::string& part : c.parts) {
            EXPECT_NE(message.find(part), std::string::npos) << part << " in " << message;
        }
    }
    EXPECT_EQ(FailureMessage(FailureOf(FailureKind::BadInput, "unknown option")), "unknown option")
        << "a failure that names no port is its text alone";
}

// --baud auto: the rate a phone answers at is found and used; a silent phone and a port that cannot
// be opened at all are told apart (one try tells the latter).
TEST(SessionOpen, BaudSearchFindsTheRateOrSaysWhyNot) {
    const struct {
        const char* port;
        int32_t baud;            // the rate the session then uses; 0: the open fails
        FailureKind kind;        // of the failure
        const char* notRateText; // must not be in the failure's words
    } cases[] = {
        {"sim:--strict-baud,--baud=9600", 9600, {}, nullptr},
        {"sim:--strict-baud,--baud=115200", 115200, {}, nullptr},
        {"sim:--strict-baud,--baud=921600", 921600, {}, nullptr},
        {"sim:--fault=silent", 0, FailureKind::NotResponding, nullptr},
        {"/dev/panelgrab-no-such-port", 0, FailureKind::NoSuchDevice, "no rate answered"},
    };
    for (const auto& c : cases) {
        SessionOptions options = FastOptions(c.port);
        options.baudAuto = true;
        std::vector<std::string> notices;
        options.notice = [&](const std::string& notice) { notices.push_back(notice); };
        Session session(options);
        const Result<void> opened = session.Open();
        if (c.baud != 0) {
            ASSERT_TRUE(opened) << c.port << ": " << FailureMessage(opened.failure());
            EXPECT_EQ(session.BaudRate(), c.baud);
            EXPECT_EQ(notices,
                      std::vector<std::string>{"the phone answers at " + std::to_string(c.baud) + " baud"});
            EXPECT_TRUE(session.Model()) << c.port;
            continue;
        }
        ASSERT_FALSE(opened) << c.port;
        EXPECT_EQ(opened.failure().kind, c.kind) << FailureMessage(opened.failure());
        if (c.notRateText != nullptr) {
            EXPECT_EQ(FailureMessage(opened.failure()).find(c.notRateText), std::string::npos);
        }
    }
}

// A session with the simulated phone, opened, whose commands are counted; its first display.
class OpenSession : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(session.Open());
        const Result<DisplayInfo> first = session.DisplayAt(0);
        ASSERT_TRUE(first);
        display = *first;
    }

    CommandCounter trace;
    Session session{[this] {
        SessionOptions options = FastOptions("sim");
        options.trace = &trace;
        return options;
    }()};
    DisplayInfo display;
};

// The display list is asked once a session, however many grabs use it: its answer also tells that
// the phone has the bulk read and how wide its pixels are, so neither is asked again.
TEST_F(OpenSession, DisplayListIsAskedOnce) {
    for (const GrabMode mode : {GrabMode::AtOnce, GrabMode::Background, GrabMode::AtOnce}) {
        const Result<void> grabbed = GrabFirstDisplay(session, mode);
        ASSERT_TRUE(grabbed) << FailureMessage(grabbed.failure());
    }
    EXPECT_EQ(trace.Count("AT*ZISI=?"), 1);
    EXPECT_EQ(trace.Count("AT*ZISI\r"), 3);
}

// A background read whose count is whole but whose picture is not (a line that never ends, on a
// display that cannot be read again line by line) is a failure with its reason, never a picture.
TEST(SessionGrab, AWholeCountOfAMalformedPictureIsNoPicture) {
    Session session(FastOptions("sim:--dialect=two-displays,--fault=endless-line"));
    ASSERT_TRUE(session.Open());
    const Result<DisplayInfo> second = session.DisplayAt(1);
    ASSERT_TRUE(second);
    const Result<Grabbed> grabbed =
        session.Grab(*second, {GrabMode::Background, nullptr, std::chrono::milliseconds(5)});
    ASSERT_FALSE(grabbed) << "a picture of digits past the line's end";
    EXPECT_NE(FailureMessage(grabbed.failure()).find("and more"), std::string::npos)
        << FailureMessage(grabbed.failure());
}

// The handles end what they started when they go, so the phone is free for the next job.
TEST_F(OpenSession, HandlesEndTheirJobInTheirDestructor) {
    std::atomic<int> updates{0};
    {
        Result<std::unique_ptr<LiveView>> live =
            session.StartLiveView(display, {}, [&](const LiveUpdate&) { ++updates; });
        ASSERT_TRUE(live);
        while ((*live)->Settled() == nullptr && (*live)->Running()) {
            (*live)->WaitForRefresh(50);
        }
        EXPECT_EQ((*live)->Settled()->width(), display.width);
        // The port is the live view's: a grab or a second live view is refused, and says why.
        const Result<Grabbed> grabbed = session.Grab(display, {});
        ASSERT_FALSE(grabbed);
        EXPECT_EQ(grabbed.failure().kind, FailureKind::BadInput) << FailureMessage(grabbed.failure());
        const int before = updates.load();
        const Result<std::unique_ptr<LiveView>> second = session.StartLiveView(display, {}, nullptr);
        ASSERT_FALSE(second);
        EXPECT_EQ(FailureMessage(second.failure()),
                  session.PortLabel() +
                      ": starting the live view failed: A live view holds the port; stop it first.");
        (*live)->RequestFullRead();
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (updates.load() == before && (*live)->Running() && std::chrono::steady_clock::now() < limit) {
            (*live)->WaitForRefresh(50);
        }
        EXPECT_GT(updates.load(), before) << "the first live view keeps its handler";
    }
    EXPECT_GT(updates.load(), 0);
    EXPECT_TRUE(session.Grab(display, {}));

    test::RecordingSink sink;
    {
        Result<std::unique_ptr<KeySubscription>> keys = session.ListenToKeys(sink);
        ASSERT_TRUE(keys);
    }
    EXPECT_EQ(trace.Count("AT+CMER="), 2) << "the reporting is switched on, then off";
}

// A grab stopped by its progress handler, and a read stopped through its handle, leave the phone
// sending the rest of its picture: the session opens the port again once it is quiet, and the phone
// answers the next command. A read followed to its end hands out the whole picture; Close and Reopen
// keep the session.
TEST_F(OpenSession, AStoppedGrabOrReadLeavesTheSessionToReopen) {
    std::vector<int64_t> seen;
    GrabOptions options{GrabMode::Background,
                        [&](const GrabProgress& progress) {
                            seen.push_back(progress.lines);
                            return progress.lines < 20;
                        },
                        std::chrono::milliseconds(1)};
    const Result<Grabbed> stopped = session.Grab(display, options);
    ASSERT_FALSE(stopped);
    EXPECT_EQ(stopped.failure().kind, FailureKind::Stopped);
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_TRUE(session.NeedsReopen());
    ASSERT_TRUE(session.Reopen());
    {
        Result<std::unique_ptr<ScreenRead>> read = session.StartRead(display);
        ASSERT_TRUE(read);
        while ((*read)->Running() && (*read)->Lines() < 5) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        (*read)->Stop();
        EXPECT_TRUE((*read)->Outcome()) << "a stopped read is no failure";
    }
    EXPECT_TRUE(session.NeedsReopen());
    ASSERT_TRUE(session.Reopen());
    Result<std::unique_ptr<ScreenRead>> read = session.StartRead(display);
    ASSERT_TRUE(read);
    while ((*read)->Running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE((*read)->Outcome());
    EXPECT_EQ((*read)->Lines(), display.height);
    ASSERT_TRUE((*read)->Current());
    EXPECT_EQ((*read)->Current()->height(), display.height);
    read->reset();
    EXPECT_TRUE(GrabFirstDisplay(session, GrabMode::Background));
    EXPECT_TRUE(session.RegionChecksum({0, 0, 9, 9})) << "of the latest grab";

    session.Close();
    EXPECT_TRUE(session.NeedsReopen());
    ASSERT_TRUE(session.Reopen());
    EXPECT_TRUE(session.Model());
}

} // namespace
} // namespace panelgrab
