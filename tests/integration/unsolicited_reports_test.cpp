// A phone that speaks unasked: reports between the echo and the answer, before per-line answers,
// between picture lines, and key reports before a key press's OK. No picture or answer may change,
// and every key report reaches a listener, also while a picture is on its way.
#include <gtest/gtest.h>

#include <string>

#include "integration/fault_harness.h"
#include "support/recording_sink.h"

namespace panelgrab::test {
namespace {

using namespace std::chrono_literals;

sim::SimOptions Talkative(int width, int height, const std::string& fault = {}, int baud = 0) {
    sim::SimOptions options = Display(width, height, fault);
    options.unsolicited = true;
    options.baud = baud;
    return options;
}

TEST(UnsolicitedReports, PicturesAreExactInTheBulkAndPerLinePathsAndTheModelIsRight) {
    for (const char* fault : {"", "error-bulk"}) {
        SimPhone sim(Talkative(40, 30, fault));
        ASSERT_TRUE(sim.Connect()) << fault;
        std::string model;
        EXPECT_EQ(sim.phone->GetModel(model), kPhoneOk);
        EXPECT_EQ(model, "P200");
        DisplayBitmap picture;
        ASSERT_EQ(sim.phone->ReadDisplay(picture, 0), kPhoneOk) << fault;
        EXPECT_EQ(DifferingPixels(picture, sim.Expected(), 30), 0) << fault;
    }
}

TEST(UnsolicitedReports, ABackgroundReadWhileListeningIsExactAndTheKeysStillArrive) {
    SimPhone sim(Talkative(40, 30));
    ASSERT_TRUE(sim.Connect());
    RecordingSink keys;
    ASSERT_EQ(sim.phone->StartKeyEvents(&keys), kPhoneOk);
    ASSERT_EQ(sim.phone->PressKey("123"), kPhoneOk); // reported before its OK
    ASSERT_TRUE(keys.WaitForEvents(6, 5s));
    ASSERT_EQ(sim.phone->StartScreenRead(sim.display()), kPhoneOk);
    ASSERT_TRUE(WaitUntil([&] { return !sim.phone->IsReadRunning(); }, 10s));
    const DisplayBitmap* picture = ReadImage(*sim.phone);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(DifferingPixels(*picture, sim.Expected(), 30), 0);
    EXPECT_EQ(sim.phone->GetReadFailure(), "");
    EXPECT_EQ(sim.phone->StopKeyEvents(0), kPhoneOk);
    EXPECT_EQ(keys.Events(), (std::vector<std::string>{"pressed 1", "released 1", "pressed 2", "released 2",
                                                       "pressed 3", "released 3"}));
}

// 32 x 32 pixels at 19200 baud: about two seconds of picture, long enough to stop in the middle.
TEST(UnsolicitedReports, StopDuringAPictureTransferReturnsAtOnceAndSwitchesOffAfterIt) {
    SimPhone sim(Talkative(32, 32, {}, 19200));
    ASSERT_TRUE(sim.Connect());
    RecordingSink keys;
    ASSERT_EQ(sim.phone->StartKeyEvents(&keys), kPhoneOk);
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
    std::string answer;
    ASSERT_EQ(sim.phone->SendCommand("AT+CMER?\r", answer), kPhoneOk);
    EXPECT_NE(answer.find("+CMER: 0,0,0,0,0"), std::string::npos) << answer;
}

} // namespace
} // namespace panelgrab::test
