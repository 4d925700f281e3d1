#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "background/screen_read_task.h"
#include "capture/display_bitmap.h"
#include "support/sim_phone_fixture.h"
#include "transport/at/serial_port.h"

namespace panelgrab {
namespace {

using namespace std::chrono_literals;
using test::DifferingPixels;
using test::SimPhone;
using test::SmallDisplay;
using test::WaitUntil;

// At 115200 baud a 32 x 24 display of 8-character pixels takes about half a second: long enough to
// ask questions while it runs.
constexpr int kPacedBaud = 115200;

// Waits for the background read to end and returns its picture.
const DisplayBitmap* FinishedPicture(SimPhone& sim) {
    EXPECT_TRUE(WaitUntil([&] { return !sim.phone->IsReadRunning(); }, 10s));
    const DisplayBitmap* picture = nullptr;
    EXPECT_EQ(sim.phone->GetReadImage(picture), kPhoneOk);
    return picture;
}

TEST(ScreenReadTask, ProgressAndPartialPictureGrowWhileTheReadRuns) {
    SimPhone sim(SmallDisplay(32, 24, 16, kPacedBaud));
    ASSERT_TRUE(sim.Connect());
    const Picture expected = sim.Expected(0);
    const uint32_t lineLength = sim.displays[0].lineLength;
    ASSERT_EQ(sim.phone->StartScreenRead(sim.displays[0]), kPhoneOk);

    int32_t last = 0;
    int partialFetches = 0;
    while (sim.phone->IsReadRunning()) {
        const int32_t progress = sim.phone->GetReadProgress();
        ASSERT_GE(progress, last);
        last = progress;
        const DisplayBitmap* picture = nullptr;
        ASSERT_EQ(sim.phone->GetReadImage(picture), kPhoneOk);
        if (picture != nullptr && progress > 0 && progress < sim.TotalCharacters(0)) {
            // Every line complete before the fetch is already right in the picture.
            const int completeLines = static_cast<int>(static_cast<uint32_t>(progress) / lineLength);
            EXPECT_EQ(DifferingPixels(*picture, expected, completeLines), 0) << "after " << progress;
            ++partialFetches;
        }
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_GE(partialFetches, 3);
    EXPECT_EQ(sim.phone->GetReadProgress(), sim.TotalCharacters(0));
    // The region checksum of the finished read: CliEndToEnd.SecondDisplayInBackgroundWithRegionChecksum.
}

TEST(ScreenReadTask, RunningReadOwnsThePortUntilItsTransferEnds) {
    SimPhone sim(SmallDisplay(32, 24, 16, kPacedBaud));
    ASSERT_TRUE(sim.Connect());
    ASSERT_EQ(sim.phone->StartScreenRead(sim.displays[0]), kPhoneOk);
    ASSERT_TRUE(WaitUntil([&] { return sim.phone->GetReadProgress() > 0; }, 5s));
    // Neither a second read nor anything else may talk over the port while the picture streams in.
    std::string model;
    EXPECT_EQ(sim.phone->StartScreenRead(sim.displays[0]), kPhoneFailed);
    EXPECT_EQ(sim.phone->GetModel(model), kPhoneFailed);
    EXPECT_EQ(sim.phone->PressKey("1"), kPhoneFailed);
    EXPECT_EQ(sim.phone->Open(false), kPhoneOpenFailed);
    EXPECT_TRUE(sim.phone->IsReadRunning());
    // Stop ends the job's running at once and its transfer within a picture line; the rest of the
    // picture the phone still sends is drained before the next command, which gets its own answer.
    EXPECT_EQ(sim.phone->StopScreenRead(), kPhoneFailed);
    EXPECT_FALSE(sim.phone->IsReadRunning());
    ASSERT_TRUE(WaitUntil([&] { return sim.phone->GetModel(model) == kPhoneOk; }, 5s));
    EXPECT_EQ(model, "P200");
    EXPECT_LT(sim.phone->GetReadProgress(), sim.TotalCharacters(0));
    EXPECT_THAT(sim.phone->GetReadFailure(), testing::MatchesRegex("stopped after [0-9]+ of 24 lines"));
    // A new read gives the whole picture.
    ASSERT_EQ(sim.phone->StartScreenRead(sim.displays[0]), kPhoneOk);
    const DisplayBitmap* picture = FinishedPicture(sim);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(DifferingPixels(*picture, sim.Expected(0), 24), 0);
}

TEST(ScreenReadTask, NothingBeforeTheStartAndNothingFromAFailedRead) {
    SimPhone sim(SmallDisplay(8, 4, 8));
    ASSERT_TRUE(sim.Connect());
    ScreenReadTask task(sim.displays[0], const_cast<SerialPort&>(sim.phone->Port()));
    EXPECT_EQ(task.GetPicture(), nullptr);
    int32_t checksum = 7;
    EXPECT_FALSE(task.GetRegionChecksum(DisplayRegion{0, 0, 1, 1}, checksum));
    EXPECT_EQ(checksum, 7);

    // A display number the phone does not have: the job fails without a digit, and never falls
    // back to the line request, which would bring display 0's picture.
    DisplayInfo missing = sim.displays[0];
    missing.displayNumber = 3;
    ASSERT_EQ(sim.phone->StartScreenRead(missing), kPhoneOk);
    FinishedPicture(sim);
    EXPECT_EQ(sim.phone->GetReadProgress(), 0);
    EXPECT_EQ(sim.phone->GetReadFailure(),
              "display 3 cannot be read line by line (AT*ZIPI serves display 0 only)");
}

} // namespace
} // namespace panelgrab
