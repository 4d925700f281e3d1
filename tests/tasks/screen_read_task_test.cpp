#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "capture/display_bitmap.h"
#include "sim/simulated_phone.h"
#include "tasks/screen_read_task.h"
#include "tasks/sim_phone_fixture.h"
#include "transport/serial_port.h"

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

TEST(ScreenReadTask, BackgroundReadGivesTheSamePictureAsReadDisplay) {
    for (int bits : {1, 2, 8, 16}) {
        SimPhone sim(SmallDisplay(21, 13, bits));
        ASSERT_TRUE(sim.Connect()) << bits;
        DisplayBitmap direct;
        ASSERT_EQ(sim.phone->ReadDisplay(direct, 0), kPhoneOk) << bits;

        ASSERT_EQ(sim.phone->StartScreenRead(sim.displays[0]), kPhoneOk);
        ASSERT_TRUE(WaitUntil([&] { return !sim.phone->IsReadRunning(); }, 10s));
        const DisplayBitmap* picture = nullptr;
        ASSERT_EQ(sim.phone->GetReadImage(picture), kPhoneOk);
        ASSERT_NE(picture, nullptr);
        EXPECT_EQ(DifferingPixels(*picture, sim.Expected(0), 13), 0) << bits;
        EXPECT_EQ(picture->EncodeBmp(), direct.EncodeBmp()) << bits;
        EXPECT_EQ(sim.phone->GetReadProgress(), sim.TotalCharacters(0)) << bits;
        // The picture stays readable after the end, and a second fetch gives the same object.
        const DisplayBitmap* again = nullptr;
        ASSERT_EQ(sim.phone->GetReadImage(again), kPhoneOk);
        EXPECT_EQ(again, picture);
    }
}

TEST(ScreenReadTask, ProgressAndPartialPictureGrowWhileTheReadRuns) {
    SimPhone sim(SmallDisplay(32, 24, 16, kPacedBaud));
    ASSERT_TRUE(sim.Connect());
    const sim::RgbImage expected = sim.Expected(0);
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
    int32_t checksum = -5;
    EXPECT_EQ(sim.phone->GetRegionChecksum(DisplayRegion{0, 0, 31, 23}, checksum), kPhoneOk);
    int32_t phoneChecksum = 0;
    ASSERT_EQ(sim.phone->GetDisplayChecksum(DisplayRegion{0, 0, 31, 23}, 0, phoneChecksum), kPhoneOk);
    EXPECT_EQ(checksum, phoneChecksum);
}

TEST(ScreenReadTask, SecondStartDuringAReadIsRefusedAndTheReadGoesOn) {
    SimPhone sim(SmallDisplay(32, 24, 16, kPacedBaud));
    ASSERT_TRUE(sim.Connect());
    ASSERT_EQ(sim.phone->StartScreenRead(sim.displays[0]), kPhoneOk);
    ASSERT_TRUE(WaitUntil([&] { return sim.phone->GetReadProgress() > 0; }, 5s));
    EXPECT_EQ(sim.phone->StartScreenRead(sim.displays[0]), kPhoneFailed);
    EXPECT_TRUE(sim.phone->IsReadRunning());
    // Nothing else may talk over the port while the picture streams in.
    std::string model;
    EXPECT_EQ(sim.phone->GetModel(model), kPhoneFailed);
    EXPECT_EQ(sim.phone->PressKey("1"), kPhoneFailed);

    ASSERT_TRUE(WaitUntil([&] { return !sim.phone->IsReadRunning(); }, 10s));
    const DisplayBitmap* picture = nullptr;
    ASSERT_EQ(sim.phone->GetReadImage(picture), kPhoneOk);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(DifferingPixels(*picture, sim.Expected(0), 24), 0);
    // Once it has ended, a new read replaces it.
    EXPECT_EQ(sim.phone->GetModel(model), kPhoneOk);
    EXPECT_EQ(sim.phone->StartScreenRead(sim.displays[0]), kPhoneOk);
}

TEST(ScreenReadTask, StopEndsRunningAtOnceWhileTheTransferCompletes) {
    SimPhone sim(SmallDisplay(32, 24, 16, kPacedBaud));
    ASSERT_TRUE(sim.Connect());
    ASSERT_EQ(sim.phone->StartScreenRead(sim.displays[0]), kPhoneOk);
    ASSERT_TRUE(WaitUntil([&] { return sim.phone->GetReadProgress() > 0; }, 5s));
    EXPECT_EQ(sim.phone->StopScreenRead(), kPhoneFailed);
    EXPECT_FALSE(sim.phone->IsReadRunning());
    const int32_t atStop = sim.phone->GetReadProgress();
    // The stopped job still owns the port: a new read must not free it under its worker.
    EXPECT_EQ(sim.phone->StartScreenRead(sim.displays[0]), kPhoneFailed);
    ASSERT_TRUE(WaitUntil([&] { return sim.phone->GetReadProgress() == sim.TotalCharacters(0); }, 10s));
    EXPECT_LT(atStop, sim.TotalCharacters(0));
    ASSERT_TRUE(WaitUntil([&] { return sim.phone->StartScreenRead(sim.displays[0]) == kPhoneOk; }, 5s));
    ASSERT_TRUE(WaitUntil([&] { return !sim.phone->IsReadRunning(); }, 10s));
    const DisplayBitmap* picture = nullptr;
    ASSERT_EQ(sim.phone->GetReadImage(picture), kPhoneOk);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(DifferingPixels(*picture, sim.Expected(0), 24), 0);
}

TEST(ScreenReadTask, DestroyingThePhoneDuringAReadReturnsPromptly) {
    // The default display at this rate would take about half a minute.
    sim::SimOptions options;
    options.baud = kPacedBaud;
    SimPhone sim(options);
    ASSERT_TRUE(sim.Connect());
    ASSERT_EQ(sim.phone->StartScreenRead(sim.displays[0]), kPhoneOk);
    ASSERT_TRUE(WaitUntil([&] { return sim.phone->GetReadProgress() > 0; }, 5s));
    const auto started = std::chrono::steady_clock::now();
    sim.phone.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1s);
}

TEST(ScreenReadTask, JobQueriesBeforeStartAndSynchronousRun) {
    SimPhone sim(SmallDisplay(8, 4, 8));
    ASSERT_TRUE(sim.Connect());
    SerialPort& port = const_cast<SerialPort&>(sim.phone->Port());
    ScreenReadTask task(sim.displays[0], port);
    EXPECT_FALSE(task.IsRunning());
    EXPECT_EQ(task.GetProgress(), 0);
    EXPECT_EQ(task.GetPicture(), nullptr);
    int32_t checksum = 7;
    EXPECT_FALSE(task.GetRegionChecksum(DisplayRegion{0, 0, 1, 1}, checksum));
    EXPECT_EQ(checksum, 7);
    bool supported = false;
    EXPECT_EQ(task.IsSupported(supported), 0);
    EXPECT_TRUE(supported);
    EXPECT_EQ(task.Run(), 0);
    EXPECT_EQ(task.GetProgress(), 0); // the synchronous run reads into a scratch buffer
}

TEST(ScreenReadTask, LineByLinePhoneAndFailedReadEndTheJob) {
    sim::SimOptions options = SmallDisplay(16, 6, 16);
    options.dialect = sim::Dialect::PerLine;
    SimPhone sim(options);
    ASSERT_TRUE(sim.Connect());
    ASSERT_EQ(sim.phone->StartScreenRead(sim.displays[0]), kPhoneOk);
    ASSERT_TRUE(WaitUntil([&] { return !sim.phone->IsReadRunning(); }, 10s));
    const DisplayBitmap* picture = nullptr;
    ASSERT_EQ(sim.phone->GetReadImage(picture), kPhoneOk);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(DifferingPixels(*picture, sim.Expected(0), 6), 0);

    // A display number the phone does not have: the job ends without a picture.
    DisplayInfo missing = sim.displays[0];
    missing.displayNumber = 3;
    ASSERT_EQ(sim.phone->StartScreenRead(missing), kPhoneOk);
    ASSERT_TRUE(WaitUntil([&] { return !sim.phone->IsReadRunning(); }, 10s));
    EXPECT_EQ(sim.phone->GetReadImage(picture), kPhoneOk);
    EXPECT_EQ(picture, nullptr);
    EXPECT_EQ(sim.phone->GetReadProgress(), 0);
}

} // namespace
} // namespace panelgrab
