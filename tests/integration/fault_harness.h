#pragma once

// Shared pieces of the fault tests: the time budgets the transport promises under the fast timing,
// and checks of a partial picture.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>

#include "capture/display_bitmap.h"
#include "sim/picture_source.h"
#include "sim/simulated_phone.h"
#include "support/sim_phone_fixture.h"
#include "transport/bytes/port_timing.h"

namespace panelgrab::test {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

inline const PortTiming& FastTiming() {
    static const PortTiming timing = PortTiming::Fast();
    return timing;
}

// A port's settings at 115200 baud with the fast timing.
inline ConnectionSettings FastSettings(const std::string& port) {
    ConnectionSettings settings(port, 115200);
    settings.SetTiming(FastTiming());
    return settings;
}

// The longest a wait of `polls` idle polls may take: each is a full read wait plus the pause.
inline milliseconds IdlePolls(int polls) {
    return polls * (FastTiming().readWait + FastTiming().idlePause);
}

// The budget of one picture line's exchange, in idle polls: its time-out + 1.
inline milliseconds PictureLineBudget() {
    return IdlePolls(256 + 1);
}
// A read that keeps receiving without its terminator ends once its idle-poll budget has passed in
// wall time plus the line time of twice its answer's capacity (10 bits a character).
inline milliseconds StreamingBudget(int polls, std::size_t capacity, int baud) {
    return IdlePolls(polls) + milliseconds(2 * capacity * 10 * 1000 / static_cast<std::size_t>(baud) + 1);
}
// The drain before the probe gives up on a line that never falls quiet after this many read waits.
inline milliseconds DrainBudget() {
    return 20 * FastTiming().readWait;
}

// What a busy, shared machine may add to any budget.
inline constexpr milliseconds kSchedulingSlack{750};
// A failure that needs no time-out (a hang-up, a closed port) ends within this.
inline constexpr milliseconds kPrompt{500};

inline milliseconds Since(Clock::time_point start) {
    return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

// One 16-bit display of the given size, with a misbehaviour of the simulated phone.
inline sim::SimOptions Display(int width, int height, const std::string& fault = {},
                               sim::Dialect dialect = sim::Dialect::Long) {
    sim::SimOptions options = SmallDisplay(width, height, 16);
    options.dialect = dialect;
    options.fault = fault;
    return options;
}

// A picture that broke off: its leading rows match the phone's picture, at least `atLeast` of them
// (and at most `atMost` when given) but not all; after the one row that may have broken off, the rows
// never received are black and nothing else.
inline ::testing::AssertionResult IsPartial(const DisplayBitmap* picture, const Picture& expected,
                                            int atLeast, int atMost = -1) {
    if (picture == nullptr || DifferingPixels(*picture, expected, 0) < 0) {
        return ::testing::AssertionFailure() << "no picture of the expected size";
    }
    int exact = 0;
    while (exact < expected.height() && DifferingPixels(*picture, expected, exact + 1, exact) == 0) {
        ++exact;
    }
    const std::size_t unreceived = std::min<std::size_t>(exact + 1, picture->height()) * picture->rowSize();
    const bool restBlack =
        std::all_of(picture->pixels() + unreceived, picture->pixels() + picture->pixelBytes(),
                    [](uint8_t byte) { return byte == 0; });
    if (exact < atLeast || exact >= expected.height() || (atMost >= 0 && exact > atMost) || !restBlack) {
        return ::testing::AssertionFailure()
               << exact << " rows exact, rest " << (restBlack ? "black" : "not black");
    }
    return ::testing::AssertionSuccess();
}

// The background read's picture once the read has ended; null on failure.
inline const DisplayBitmap* ReadImage(PhoneLink& phone) {
    const DisplayBitmap* picture = nullptr;
    EXPECT_EQ(phone.GetReadImage(picture), kPhoneOk);
    return picture;
}

} // namespace panelgrab::test
