// Finding where a picture differs from the screen by plain sums over moving bands and strips,
// against a fake screen of pixel values: every change that alters some row's or column's sum is
// fetched within 8 refreshes, wherever it lies against the boundaries.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "background/crossed_bands.h"

namespace panelgrab {
namespace {

using Answer = CrossedBands::Answer;
using Outcome = CrossedBands::Outcome;

class FakeScreen {
public:
    FakeScreen(int32_t width, int32_t height)
        : width_(width), screen_(static_cast<std::size_t>(width * height)) {
        for (std::size_t i = 0; i < screen_.size(); ++i) {
            screen_[i] = static_cast<uint32_t>((i * 7919) % 251);
        }
        picture_ = screen_;
    }

    uint32_t& at(int32_t x, int32_t y) { return screen_[static_cast<std::size_t>(y * width_ + x)]; }
    bool Exact() const { return screen_ == picture_; }

    CrossedBands::AskSum Asker() {
        return [this](const DisplayRegion& r, int32_t& value) {
            ++requests;
            value = Sum(screen_, r);
            return refuse ? Answer::Refused : Answer::Sum;
        };
    }
    CrossedBands::LocalSum Local() {
        return [this](const DisplayRegion& r) { return Sum(picture_, r); };
    }
    int32_t Sum(const std::vector<uint32_t>& pixels, const DisplayRegion& r) const {
        uint32_t total = 0;
        for (int32_t y = r.top; y <= r.bottom; ++y) {
            for (int32_t x = r.left; x <= r.right; ++x) {
                total += pixels[static_cast<std::size_t>(y * width_ + x)];
            }
        }
        return static_cast<int32_t>(total);
    }

    Outcome Refresh(CrossedBands& bands) {
        const auto fetch = [&](int32_t row, int32_t first, int32_t last) {
            for (int32_t x = first; x <= last; ++x) {
                const auto i = static_cast<std::size_t>(row * width_ + x);
                picture_[i] = screen_[i];
                ++pixelsFetched;
            }
            return true;
        };
        return bands.Refresh(Asker(), Local(), fetch);
    }

    // Refreshes until the picture equals the screen; how many it took (limit + 1: never).
    int RefreshesUntilExact(CrossedBands& bands, int limit) {
        for (int n = 1; n <= limit; ++n) {
            EXPECT_EQ(Refresh(bands), Outcome::Done);
            if (Exact()) {
                return n;
            }
        }
        return limit + 1;
    }

    int requests = 0;
    int pixelsFetched = 0;
    bool refuse = false;

private:
    int32_t width_;
    std::vector<uint32_t> screen_;
    std::vector<uint32_t> picture_;
};

struct HardChange {
    const char* name;
    std::function<void(FakeScreen&, int32_t x, int32_t y)> apply;
};

// Changes that keep the sums of many rectangles, each tried at every position against the
// boundaries of every refresh number.
const std::vector<HardChange> kHardChanges = {
    {"two neighbouring rows trade contents",
     [](FakeScreen& s, int32_t, int32_t y) {
         for (int32_t c = 0; c < 40; ++c) {
             std::swap(s.at(c, y), s.at(c, y + 1));
         }
     }},
    {"two neighbouring pixels of a row trade values",
     [](FakeScreen& s, int32_t x, int32_t y) { std::swap(s.at(x, y), s.at(x + 1, y)); }},
    {"two pixels far apart in a row trade values",
     [](FakeScreen& s, int32_t x, int32_t y) { std::swap(s.at(x, y), s.at(x + 9, y)); }},
    {"a flat block moves one pixel right",
     [](FakeScreen& s, int32_t x, int32_t y) {
         for (int32_t r = y; r < y + 5; ++r) {
             s.at(x, r) = 0;
             s.at(x + 6, r) = 200; // the block (x..x+5) before, (x+1..x+6) after, on a black ground
         }
     }},
    {"two pixels of a column trade values",
     [](FakeScreen& s, int32_t x, int32_t y) { std::swap(s.at(x, y), s.at(x, y + 3)); }},
};

TEST(CrossedBands, EveryChangeOfSomeRowOrColumnSumIsFetchedWithinEightRefreshes) {
    for (const HardChange& change : kHardChanges) {
        for (int32_t start = 0; start < 8; ++start) {
            for (int32_t at = 0; at < 9; ++at) {
                FakeScreen screen(48, 40);
                CrossedBands bands(48, 40, 8, 8);
                for (int32_t i = 0; i < start; ++i) {
                    ASSERT_EQ(screen.Refresh(bands), Outcome::Done);
                }
                change.apply(screen, 10 + at, 13 + at);
                EXPECT_LE(screen.RefreshesUntilExact(bands, 8), 8)
                    << change.name << ", refresh " << start << ", at " << at;
            }
        }
    }
}

// A still screen costs its bands and strips and no fetch; a change then is fetched over its own
// columns only.
TEST(CrossedBands, AStillScreenFetchesNothingAndAChangeOnlyItsOwnColumns) {
    FakeScreen screen(176, 220);
    CrossedBands bands(176, 220, 8, 8);
    for (int i = 0; i < 8; ++i) {
        screen.requests = 0;
        ASSERT_EQ(screen.Refresh(bands), Outcome::Done);
        EXPECT_LE(screen.requests, bands.stillRequests());
        EXPECT_GE(screen.requests, 220 / 8 + 176 / 8);
    }
    EXPECT_EQ(screen.pixelsFetched, 0);

    for (int32_t y = 3; y < 10; ++y) {
        for (int32_t x = 140; x < 170; ++x) {
            screen.at(x, y) += 1 + static_cast<uint32_t>(x % 3);
        }
    }
    ASSERT_EQ(screen.Refresh(bands), Outcome::Done);
    EXPECT_TRUE(screen.Exact());
    EXPECT_LE(screen.pixelsFetched, 7 * 48) << "the changed rows over the strips that changed";
}

TEST(CrossedBands, RowsThatChangedLatelyAreWatchedBetweenRefreshesForAWhile) {
    FakeScreen screen(176, 220);
    CrossedBands bands(176, 220, 8, 8);
    const auto look = [&] {
        bool differs = false;
        screen.requests = 0;
        EXPECT_EQ(bands.LookAtHotSpots(screen.Asker(), screen.Local(), differs), Outcome::Done);
        EXPECT_LE(screen.requests, static_cast<int>(CrossedBands::kHotSpots));
        return differs;
    };
    EXPECT_FALSE(bands.hasHotSpots());
    screen.at(150, 5) += 3; // a clock ticks
    ASSERT_EQ(screen.Refresh(bands), Outcome::Done);
    ASSERT_TRUE(bands.hasHotSpots());
    EXPECT_FALSE(look());
    screen.at(151, 6) += 1;
    EXPECT_TRUE(look()) << "the clock's rows again";
    ASSERT_EQ(screen.Refresh(bands), Outcome::Done);
    screen.at(10, 200) += 1;
    EXPECT_FALSE(look()) << "elsewhere waits for the next refresh";
    for (int64_t i = 0; i <= CrossedBands::kHotRefreshes + 1; ++i) {
        ASSERT_EQ(screen.Refresh(bands), Outcome::Done);
    }
    EXPECT_FALSE(bands.hasHotSpots()) << "forgotten once still for a while";
}

TEST(CrossedBands, TheOffsetsGoThroughEveryRemainderAndARefusalEndsTheRefresh) {
    const CrossedBands bands(176, 220, 8, 6);
    std::vector<int> rows(8), columns(6);
    for (int64_t k = 3; k < 3 + 8; ++k) {
        ++rows[static_cast<std::size_t>(bands.RowOffset(k))];
    }
    for (int64_t k = 5; k < 5 + 6; ++k) {
        ++columns[static_cast<std::size_t>(bands.ColumnOffset(k))];
    }
    EXPECT_EQ(rows, std::vector<int>(8, 1));
    EXPECT_EQ(columns, std::vector<int>(6, 1));
    EXPECT_NE(bands.RowOffset(1), 1) << "the boundaries jump, so a change near one is soon far from it";

    FakeScreen screen(16, 16);
    CrossedBands small(16, 16, 8, 8);
    screen.refuse = true;
    EXPECT_EQ(screen.Refresh(small), Outcome::Refused);
    EXPECT_EQ(screen.requests, 1);
}

} // namespace
} // namespace panelgrab
