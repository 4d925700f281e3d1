// Faults during a picture transfer, end to end through the phone object: each ends within the
// transport's time-outs with the result it should give, and what arrived stays a usable picture.
#include <gtest/gtest.h>

#include <thread>

#include "integration/fault_harness.h"
#include "support/sim_phone_fixture.h"
#include "transport/serial_port.h"
#include "transport/trace_sink.h"

namespace panelgrab::test {
namespace {

using namespace std::chrono_literals;

// 40 x 30 pixels of 16 bits: 160 characters a line, 4800 in all; big enough to break off inside.
constexpr int kWidth = 40;
constexpr int kHeight = 30;

sim::SimOptions Faulty(const std::string& fault, sim::Dialect dialect = sim::Dialect::Long) {
    sim::SimOptions options = Display(kWidth, kHeight, dialect);
    options.fault = fault;
    return options;
}

class CommandLog : public TraceSink {
public:
    void OnCommandSent(const std::string& text) override { commands.push_back(text); }
    void OnAnswerReceived(const std::string&) override {}
    int Count(const std::string& prefix) const {
        int count = 0;
        for (const std::string& command : commands) {
            count += command.rfind(prefix, 0) == 0 ? 1 : 0;
        }
        return count;
    }
    std::vector<std::string> commands;
};

// Runs a background read to its end and returns how long that took (a hang fails the test).
milliseconds RunReadToEnd(PhoneLink& phone, const DisplayInfo& display, milliseconds limit) {
    const auto start = Clock::now();
    EXPECT_EQ(phone.StartScreenRead(display), kPhoneOk);
    EXPECT_TRUE(WaitUntil([&] { return !phone.IsReadRunning(); }, limit)) << "the read hangs";
    return Since(start);
}

const DisplayBitmap* FetchPicture(PhoneLink& phone) {
    const DisplayBitmap* picture = nullptr;
    EXPECT_EQ(phone.GetReadImage(picture), kPhoneOk);
    return picture;
}

TEST(TransferFaults, RefusedBulkRequestFallsBackToLinesAndGivesThePicture) {
    FaultyPhone sim(Faulty("error-bulk"));
    ASSERT_TRUE(sim.Connect());
    CommandLog log;
    sim.phone->SetTraceSink(&log);
    DisplayBitmap picture;
    ASSERT_EQ(sim.phone->ReadDisplay(picture, 0), kPhoneOk);
    EXPECT_EQ(DifferingPixels(picture, sim.Expected(), kHeight), 0);
    EXPECT_EQ(log.Count("AT*ZISI\r"), 1) << "the picture request is sent once";
    EXPECT_EQ(log.Count("AT*ZIPI="), kHeight);
    sim.phone->SetTraceSink(nullptr);
}

struct Disturbance {
    const char* name;
    std::string fault;
    int chunk;
};

TEST(TransferFaults, DisturbedAnswersStillGiveTheExactPictureInBothDialects) {
    const Disturbance disturbances[] = {
        {"noise between answers", "garbage", 0},
        {"NUL bytes inside answers", "nul-bytes", 0},
        {"one byte at a time", "", 1},
    };
    for (const Disturbance& disturbance : disturbances) {
        for (const sim::Dialect dialect : {sim::Dialect::Long, sim::Dialect::PerLine}) {
            SCOPED_TRACE(std::string(disturbance.name) +
                         (dialect == sim::Dialect::Long ? ", bulk" : ", line by line"));
            // Small enough that a byte-by-byte phone still answers in a fraction of a second.
            sim::SimOptions options = Display(12, 5, dialect);
            options.fault = disturbance.fault;
            options.chunk = disturbance.chunk;
            FaultyPhone sim(options);
            ASSERT_TRUE(sim.Connect());
            DisplayBitmap picture;
            ASSERT_EQ(sim.phone->ReadDisplay(picture, 0), kPhoneOk);
            EXPECT_EQ(DifferingPixels(picture, sim.Expected(), 5), 0);
            // The next exchange gets its own answer: nothing of the picture was left over.
            DisplayList again;
            EXPECT_EQ(sim.phone->GetDisplayList(again), kPhoneOk);
            EXPECT_EQ(again, sim.displays);
        }
    }
}

TEST(TransferFaults, HangUpInsideABulkPictureFailsPromptlyAndKeepsTheLinesReceived) {
    // The hang-up comes a third of the way into the picture (the commands before it take ~300
    // bytes). Paced, so that the client reads what was sent before the line goes: a pseudo-terminal
    // throws away input its master did not see read.
    sim::SimOptions options = Faulty("hangup-after=3600");
    options.baud = 921600;
    FaultyPhone sim(options);
    ASSERT_TRUE(sim.Connect());
    const milliseconds elapsed = RunReadToEnd(*sim.phone, sim.display(), 5s);
    EXPECT_LT(elapsed, kPrompt + kSchedulingSlack);
    const DisplayBitmap* picture = FetchPicture(*sim.phone);
    ASSERT_NE(picture, nullptr);
    const PartialPicture partial = InspectPartial(*picture, sim.Expected());
    EXPECT_GE(partial.matchingRows, 8);
    EXPECT_LT(partial.matchingRows, kHeight);
    EXPECT_TRUE(partial.restBlack);
    EXPECT_STREQ(sim.phone->Port().errorText(), ExchangeResultText(ReceiveFailed));

    DisplayBitmap direct;
    EXPECT_EQ(sim.phone->ReadDisplay(direct, 0), kPhoneFailed);
}

TEST(TransferFaults, HangUpInsideALineByLineReadFailsPromptlyAndKeepsTheLinesReceived) {
    FaultyPhone sim(Faulty("hangup-after=2800", sim::Dialect::PerLine));
    ASSERT_TRUE(sim.Connect());
    const milliseconds elapsed = RunReadToEnd(*sim.phone, sim.display(), 5s);
    // The per-line phone's display query includes its one-second pause (shrunk with the timing).
    EXPECT_LT(elapsed, 2 * FastTiming().readWait + kPrompt + kSchedulingSlack);
    const int32_t progress = sim.phone->GetReadProgress();
    const uint32_t lineLength = sim.display().lineLength;
    EXPECT_EQ(progress % lineLength, 0u) << "whole lines only";
    const DisplayBitmap* picture = FetchPicture(*sim.phone);
    ASSERT_NE(picture, nullptr);
    const PartialPicture partial = InspectPartial(*picture, sim.Expected());
    EXPECT_EQ(partial.matchingRows, progress / static_cast<int32_t>(lineLength));
    EXPECT_GE(partial.matchingRows, 5);
    EXPECT_LT(partial.matchingRows, kHeight);
    EXPECT_TRUE(partial.restBlack);
}

TEST(TransferFaults, StallInsideAPictureEndsByTheLineTimeoutWithThePartialPicture) {
    FaultyPhone sim(Faulty("stall-after=2800"));
    ASSERT_TRUE(sim.Connect());
    // The bulk line waits out its 256 idle polls; the fallback's first line request then waits out
    // its three attempts against the silent phone.
    const milliseconds budget = PictureLineBudget() + CommandBudget();
    const milliseconds elapsed = RunReadToEnd(*sim.phone, sim.display(), budget + 5s);
    EXPECT_GE(elapsed, PictureLineBudget());
    EXPECT_LT(elapsed, budget + kSchedulingSlack);
    EXPECT_STREQ(sim.phone->Port().errorText(), ExchangeResultText(TimedOut));
    const DisplayBitmap* picture = FetchPicture(*sim.phone);
    ASSERT_NE(picture, nullptr);
    const PartialPicture partial = InspectPartial(*picture, sim.Expected());
    EXPECT_GE(partial.matchingRows, 8);
    EXPECT_LT(partial.matchingRows, kHeight);
    EXPECT_TRUE(partial.restBlack);
}

TEST(TransferFaults, EndlessLineIsCutOffWithBoundedMemoryAndTheLinesAreReadInstead) {
    // The phone answers the picture request with one line of digits that never ends (it stops
    // only when it is sent the next command) and serves picture lines normally.
    FaultyPhone sim(Faulty("endless-line"));
    ASSERT_TRUE(sim.Connect());
    const int32_t capacity = static_cast<int32_t>(sim.display().lineLength * kHeight);
    const auto start = Clock::now();
    ASSERT_EQ(sim.phone->StartScreenRead(sim.display()), kPhoneOk);
    int32_t highest = 0;
    EXPECT_TRUE(WaitUntil(
        [&] {
            highest = std::max(highest, sim.phone->GetReadProgress());
            return !sim.phone->IsReadRunning();
        },
        10s));
    EXPECT_LT(Since(start), PictureLineBudget() + kSchedulingSlack);
    // The stream was listened to for a bounded stretch only, far less than the phone sent.
    EXPECT_LE(highest, 2 * capacity + 64 * 1024 + static_cast<int32_t>(SerialPort::kLineCapacity));
    // The lines are read again one by one. The first line's answer comes after the tail of the
    // stream that was still on its way, which may crowd it out; every later line must be exact.
    const DisplayBitmap* picture = FetchPicture(*sim.phone);
    ASSERT_NE(picture, nullptr);
    const int32_t lineLength = static_cast<int32_t>(sim.display().lineLength);
    EXPECT_GE(sim.phone->GetReadProgress(), capacity - lineLength);
    const sim::RgbImage expected = sim.Expected();
    for (int y = 1; y < kHeight; ++y) {
        EXPECT_TRUE(RowMatches(*picture, expected, y)) << "row " << y;
    }
}

TEST(TransferFaults, ClosingThePortDuringABackgroundReadEndsItPromptly) {
    // At 115200 baud the picture of 176 x 220 takes about seven seconds: close while it arrives.
    sim::SimOptions options;
    options.baud = 115200;
    FaultyPhone sim(options);
    ASSERT_TRUE(sim.Connect());
    const uint32_t lineLength = sim.display().lineLength;
    ASSERT_EQ(sim.phone->StartScreenRead(sim.display()), kPhoneOk);
    ASSERT_TRUE(WaitUntil([&] { return sim.phone->GetReadProgress() >= int32_t(3 * lineLength); }, 5s));
    const int32_t linesBeforeClose = sim.phone->GetReadProgress() / static_cast<int32_t>(lineLength);

    const auto start = Clock::now();
    EXPECT_EQ(sim.phone->Close(), kPhoneOk);
    EXPECT_TRUE(WaitUntil([&] { return !sim.phone->IsReadRunning(); }, 5s));
    EXPECT_LT(Since(start), kPrompt);
    const DisplayBitmap* picture = FetchPicture(*sim.phone);
    ASSERT_NE(picture, nullptr);
    const PartialPicture partial = InspectPartial(*picture, sim.Expected());
    EXPECT_GE(partial.matchingRows, linesBeforeClose);
    EXPECT_LT(partial.matchingRows, sim.display().height);
    EXPECT_TRUE(partial.restBlack);
}

TEST(TransferFaults, ClosingThePortFromAnotherThreadEndsASynchronousRead) {
    sim::SimOptions options;
    options.baud = 115200;
    FaultyPhone sim(options);
    ASSERT_TRUE(sim.Connect());
    int32_t result = -1;
    Clock::time_point ended;
    DisplayBitmap picture;
    std::thread reader([&] {
        result = sim.phone->ReadDisplay(picture, 0);
        ended = Clock::now();
    });
    // Let the read get into the picture: the three display queries take well under this.
    std::this_thread::sleep_for(300ms);
    const auto closed = Clock::now();
    sim.phone->Close();
    reader.join();
    EXPECT_EQ(result, kPhoneFailed);
    EXPECT_LT(std::chrono::duration_cast<milliseconds>(ended - closed), kPrompt);
    EXPECT_STREQ(sim.phone->Port().errorText(), ExchangeResultText(ReceiveFailed));
}

} // namespace
} // namespace panelgrab::test
