// Faults during a picture transfer, end to end through the phone object: each ends within the
// transport's time-outs with the result it should give, and what arrived stays a usable picture. A
// phone that speaks unasked changes no picture or answer, and a listener gets every key report.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "integration/fault_harness.h"
#include "support/recording_sink.h"
#include "transport/at/serial_port.h"

namespace panelgrab::test {
namespace {

using namespace std::chrono_literals;

// 40 x 30 pixels of 16 bits: 160 characters a line, 4800 in all; big enough to break off inside.
constexpr int kWidth = 40;
constexpr int kHeight = 30;

// A refused bulk request's commands: ScreenImageExchange.RefusedBulkFallsBackToLines; its picture here.
TEST(TransferFaults, DisturbedAnswersStillGiveTheExactPictureInBothDialects) {
    const struct {
        const char* name;
        const char* fault;
        int chunk;
        bool unsolicited = false; // reports between the echo and the answer and between picture lines
    } disturbances[] = {
        {"noise between answers", "garbage", 0},
        {"NUL bytes inside answers", "nul-bytes", 0},
        {"one byte at a time", "", 1},
        {"unsolicited reports", "", 0, true},
        {"unsolicited reports and a refused bulk request", "error-bulk", 0, true},
    };
    for (const auto& disturbance : disturbances) {
        for (const sim::Dialect dialect : {sim::Dialect::Long, sim::Dialect::PerLine}) {
            SCOPED_TRACE(std::string(disturbance.name) +
                         (dialect == sim::Dialect::Long ? ", bulk" : ", lines"));
            // Small enough that a byte-by-byte phone still answers in a fraction of a second.
            sim::SimOptions options = Display(12, 5, disturbance.fault, dialect);
            options.chunk = disturbance.chunk;
            options.unsolicited = disturbance.unsolicited;
            SimPhone sim(options);
            ASSERT_TRUE(sim.Connect());
            if (disturbance.unsolicited) { // reports between the echo and the model's answer
                std::string model;
                EXPECT_EQ(sim.phone->GetModel(model), kPhoneOk);
                EXPECT_EQ(model, "P200");
            }
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

TEST(TransferFaults, BrokenTransferEndsWithinItsBudgetAndKeepsTheLinesReceived) {
    const struct {
        const char* name;
        const char* fault;
        sim::Dialect dialect;
        int baud;
        milliseconds least, most;
        ExchangeResult result;
        int atLeast; // rows that must have arrived
    } breaks[] = {
        // A third of the way into the picture (the commands before it take ~300 bytes). Paced, so
        // that the client reads what was sent before the line goes: a pseudo-terminal throws away
        // input its master did not see read.
        {"hang-up in a bulk picture", "hangup-after=3600", sim::Dialect::Long, 921600, 0ms, kPrompt,
         ReceiveFailed, 8},
        // The per-line phone's display query includes its one-second pause (shrunk with the timing).
        {"hang-up between lines", "hangup-after=2800", sim::Dialect::PerLine, 0, 0ms,
         2 * FastTiming().readWait + kPrompt, ReceiveFailed, 5},
        // A phone silent for the stall limit has stopped sending: no fallback to a line request that
        // would wait for it again.
        {"stall in a bulk picture", "stall-after=2800", sim::Dialect::Long, 0, FastTiming().stallLimit / 2,
         FastTiming().stallLimit + kPrompt, TimedOut, 8},
    };
    for (const auto& b : breaks) {
        SCOPED_TRACE(b.name);
        sim::SimOptions options = Display(kWidth, kHeight, b.fault, b.dialect);
        options.baud = b.baud;
        SimPhone sim(options);
        ASSERT_TRUE(sim.Connect());
        const auto start = Clock::now();
        ASSERT_EQ(sim.phone->StartScreenRead(sim.display()), kPhoneOk);
        EXPECT_TRUE(WaitUntil([&] { return !sim.phone->IsReadRunning(); }, b.most + 5s)) << "the read hangs";
        EXPECT_GE(Since(start), b.least);
        EXPECT_LT(Since(start), b.most + kSchedulingSlack);
        EXPECT_STREQ(sim.phone->Port().errorText(), ExchangeResultText(b.result));
        const DisplayBitmap* picture = ReadImage(*sim.phone);
        EXPECT_TRUE(IsPartial(picture, sim.Expected(), b.atLeast));
        if (b.dialect == sim::Dialect::PerLine) {
            // Line by line, the progress counts whole lines, and exactly those are in the picture.
            const auto lineLength = static_cast<int32_t>(sim.display().lineLength);
            const int32_t lines = sim.phone->GetReadProgress() / lineLength;
            EXPECT_EQ(sim.phone->GetReadProgress() % lineLength, 0) << "whole lines only";
            EXPECT_TRUE(IsPartial(picture, sim.Expected(), lines, lines));
        }
        if (b.result == TimedOut) {
            EXPECT_THAT(sim.phone->GetReadFailure(), testing::StartsWith("the phone stopped sending after "));
        }
        if (b.result == ReceiveFailed) {
            DisplayBitmap direct; // the line is gone: a direct read fails too, and does not hang
            EXPECT_EQ(sim.phone->ReadDisplay(direct, 0), kPhoneFailed);
        }
    }
}

TEST(TransferFaults, EndlessLineIsCutOffWithBoundedMemoryAndTheLinesAreReadInstead) {
    // The phone answers the picture request with one line of digits that never ends (it stops
    // only when it is sent the next command) and serves picture lines normally.
    SimPhone sim(Display(kWidth, kHeight, "endless-line"));
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
    // The lines are read again one by one, once the tail of the stream is drained and the line is
    // back in step: every line is exact, the first included.
    const DisplayBitmap* picture = ReadImage(*sim.phone);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(sim.phone->GetReadFailure(), "");
    EXPECT_EQ(sim.phone->GetReadProgress(), capacity);
    EXPECT_EQ(DifferingPixels(*picture, sim.Expected(), kHeight), 0);
}

// A listener's key reports, also of a key press (reported before its OK); then a picture read with it
// still on. 32 x 32 pixels at 19200 baud: about two seconds of picture, long enough to stop the
// listener in the middle, which returns at once and switches the reporting off after the picture.
TEST(UnsolicitedReports, ABackgroundReadWhileListeningIsExactAndStoppingTheListenerWaitsForNoPicture) {
    sim::SimOptions options = Display(32, 32);
    options.unsolicited = true;
    options.baud = 19200;
    SimPhone sim(options);
    ASSERT_TRUE(sim.Connect());
    RecordingSink keys;
    ASSERT_EQ(sim.phone->StartKeyEvents(&keys), kPhoneOk);
    ASSERT_EQ(sim.phone->PressKey("123"), kPhoneOk);
    ASSERT_TRUE(keys.WaitForEvents(6, 5s));
    ASSERT_EQ(sim.phone->StartScreenRead(sim.display()), kPhoneOk);
    ASSERT_TRUE(WaitUntil([&] { return sim.phone->GetReadProgress() > 0; }, 5s));
    const auto start = Clock::now();
    EXPECT_EQ(sim.phone->StopKeyEvents(0), kPhoneOk);
    EXPECT_LT(Since(start), kPrompt);
    EXPECT_TRUE(sim.phone->IsReadRunning()) << "the stop did not wait for the picture";
    ASSERT_TRUE(WaitUntil([&] { return !sim.phone->IsReadRunning(); }, 10s));
    const DisplayBitmap* picture = ReadImage(*sim.phone);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(DifferingPixels(*picture, sim.Expected(), 32), 0);
    EXPECT_EQ(sim.phone->GetReadFailure(), "");
    EXPECT_EQ(keys.Events(), (std::vector<std::string>{"pressed 1", "released 1", "pressed 2", "released 2",
                                                       "pressed 3", "released 3"}));
    std::string answer;
    ASSERT_EQ(sim.phone->SendCommand("AT+CMER?\r", answer), kPhoneOk);
    EXPECT_NE(answer.find("+CMER: 0,0,0,0,0"), std::string::npos) << answer;
}

} // namespace
} // namespace panelgrab::test
