#pragma once

// Shared pieces of the fault tests: a misbehaving simulated phone with a phone object on it, the
// time budgets the transport promises under the fast timing, and checks of a partial picture.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "capture/display_bitmap.h"
#include "phone/phone_link.h"
#include "sim/picture_source.h"
#include "sim/simulated_phone.h"
#include "transport/connection_settings.h"
#include "transport/port_timing.h"

namespace panelgrab::test {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

inline const PortTiming& FastTiming() {
    static const PortTiming timing = PortTiming::Fast();
    return timing;
}

// The longest a wait of `polls` idle polls may take: each is a full read wait plus the pause.
inline milliseconds IdlePolls(int polls) {
    return polls * (FastTiming().readWait + FastTiming().idlePause);
}

// Budgets of the exchanges, in idle polls: three attempts of (time-out + 1) polls each.
inline milliseconds ProbeBudget() {
    return 3 * IdlePolls(5 + 1);
}
inline milliseconds CommandBudget() {
    return 3 * IdlePolls(20 + 1);
}
inline milliseconds PictureLineBudget() {
    return IdlePolls(256 + 1);
}
// How long the line needs for `characters` at `baud` (10 bits a character).
inline milliseconds LineTime(std::size_t characters, int baud) {
    return milliseconds(characters * 10 * 1000 / static_cast<std::size_t>(baud) + 1);
}
// A read that keeps receiving without its terminator ends once its idle-poll budget has passed in
// wall time plus the line time of twice its answer's capacity.
inline milliseconds StreamingBudget(int polls, std::size_t capacity, int baud) {
    return IdlePolls(polls) + LineTime(2 * capacity, baud);
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

inline sim::SimOptions Display(int width, int height, sim::Dialect dialect = sim::Dialect::Long) {
    sim::SimOptions options;
    options.dialect = dialect;
    options.displays = {sim::SimDisplay{width, height, 16}};
    return options;
}

// A simulated phone with its misbehaviour, and phone objects opened on it.
class FaultyPhone {
public:
    explicit FaultyPhone(sim::SimOptions options) : options_(std::move(options)), sim_(options_) {
        std::string error;
        started_ = sim_.Start(error);
        EXPECT_TRUE(started_) << error;
    }

    // A phone object over the simulator's device with the fast timing, not yet opened.
    std::unique_ptr<PhoneLink> MakePhone() const {
        ConnectionSettings settings(sim_.DevicePath(), 115200);
        settings.SetTiming(FastTiming());
        return CreatePhone(settings);
    }

    // A phone object that has opened the port and read the display list.
    ::testing::AssertionResult Connect() {
        if (!started_) {
            return ::testing::AssertionFailure() << "simulator not started";
        }
        phone = MakePhone();
        if (phone->Open(false) != kPhoneOk) {
            return ::testing::AssertionFailure() << "open: " << phone->Port().errorText();
        }
        if (phone->GetDisplayList(displays) != kPhoneOk || displays.size() != 1) {
            return ::testing::AssertionFailure() << "display list";
        }
        return ::testing::AssertionSuccess();
    }

    sim::RgbImage Expected() const { return sim::ExpectedPicture(options_, 0); }
    const DisplayInfo& display() const { return displays.front(); }
    int64_t BytesSent() const { return sim_.BytesSent(); }

    std::unique_ptr<PhoneLink> phone;
    DisplayList displays;

private:
    sim::SimOptions options_;
    sim::SimulatedPhone sim_;
    bool started_ = false;
};

// Whether row `y` of the bitmap (blue, green, red) shows row `y` of the expected picture.
inline bool RowMatches(const DisplayBitmap& bitmap, const sim::RgbImage& expected, int y) {
    const uint8_t* row = bitmap.pixels() + static_cast<std::size_t>(y) * bitmap.rowSize();
    for (int x = 0; x < expected.width; ++x) {
        const uint8_t* rgb = expected.At(x, y);
        if (row[3 * x] != rgb[2] || row[3 * x + 1] != rgb[1] || row[3 * x + 2] != rgb[0]) {
            return false;
        }
    }
    return true;
}

inline bool RowBlack(const DisplayBitmap& bitmap, int y) {
    const uint8_t* row = bitmap.pixels() + static_cast<std::size_t>(y) * bitmap.rowSize();
    for (std::size_t x = 0; x < std::size_t{3} * bitmap.width(); ++x) {
        if (row[x] != 0) {
            return false;
        }
    }
    return true;
}

// How a partial picture looks: rows that match the phone's picture from the top, then (after at
// most one row that broke off) rows never received, which must be black and nothing else.
struct PartialPicture {
    int matchingRows = 0;   // leading rows equal to the expected picture
    bool restBlack = false; // every row after the broken one is black
};

inline PartialPicture InspectPartial(const DisplayBitmap& bitmap, const sim::RgbImage& expected) {
    PartialPicture result;
    if (bitmap.pixels() == nullptr || bitmap.width() != expected.width ||
        bitmap.height() != expected.height) {
        return result;
    }
    while (result.matchingRows < expected.height && RowMatches(bitmap, expected, result.matchingRows)) {
        ++result.matchingRows;
    }
    result.restBlack = true;
    for (int y = result.matchingRows + 1; y < expected.height; ++y) {
        result.restBlack = result.restBlack && RowBlack(bitmap, y);
    }
    return result;
}

} // namespace panelgrab::test
