#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "common/display_region.h"

namespace panelgrab {

// Finds where a picture differs from what the phone shows by comparing the phone's checksums of
// rectangles with the same sums computed over the picture, and fetches what differs. It serves a
// phone whose AT*ZAPC sums as we do (the live view checks that first): every rectangle can then be
// judged on its own, at any refresh, so the rectangles asked may change from refresh to refresh.
//
// A refresh asks the sums of row bands (full width, `bandRows` high) and of column strips (full
// height, `stripColumns` wide). Their boundaries move on every refresh: refresh k puts the row
// boundaries at the rows r with r % bandRows == RowOffset(k), and the offsets go through every
// remainder once in every bandRows refreshes (likewise for the columns).
//
// Why that leaves no lasting blind spot: let d be the difference between the screen and the
// picture, and P(y) the sum of d over the rows above y. A band [a, b] differs by P(b + 1) - P(a).
// If some row of d has a non-zero sum, P is not zero at the row y right under the first such row;
// the refresh whose boundary lies at y (one of any bandRows refreshes in a row) then finds a
// band that differs. The same holds for columns. So a difference that changes some row's sum or
// some column's sum is found within max(bandRows, stripColumns) refreshes of a still screen. Only
// a difference that keeps the sum of every row and of every column (a 2 x 2 checkerboard flipping)
// escapes every band and strip; see docs/LIVE-VIEW.md for what catches that.
//
// A band that differs (with the bands next to it that differ, as one run) is looked at in two
// dimensions at once, before the strips are asked: its columns are halved down to pieces of
// stripColumns, asking one half (the other's sum is what remains), and descending only into halves
// that differ; the sums of its rows over the columns found narrow the rows (from the first to the
// last that differs; all when none does); those rows are fetched over those columns, and a run that
// still differs then (halves whose changes cancel) is narrowed again over all columns. A strip that
// differs after that holds a change that kept every band's sum: it is looked at the same way, its
// rows halved down to pieces of bandRows; what still differs then is crossed with every band, and the
// crossings that differ are fetched over the strip's columns. What a
// narrowing misses is a difference of its own, found again by a later refresh with other boundaries.
//
// Not thread-safe: one job owns it.
class CrossedBands {
public:
    enum class Answer { Sum, Refused, Failed };
    // The phone's sum of a rectangle.
    using AskSum = std::function<Answer(const DisplayRegion& region, int32_t& sum)>;
    // The same sum over the picture as it is now.
    using LocalSum = std::function<int32_t(const DisplayRegion& region)>;
    // Fetches columns firstColumn..lastColumn of `row` into the picture; false when that failed.
    using FetchRow = std::function<bool(int32_t row, int32_t firstColumn, int32_t lastColumn)>;
    enum class Outcome { Done, Refused, Failed };

    // width, height >= 0; bandRows and stripColumns are taken as at least 1.
    CrossedBands(int32_t width, int32_t height, int32_t bandRows, int32_t stripColumns);

    // Called once the runs of bands that differ are fetched, before the strips are asked.
    using RunsFetched = std::function<void()>;

    // One refresh: the next boundaries, then what differs fetched.
    Outcome Refresh(const AskSum& ask, const LocalSum& local, const FetchRow& fetch,
                    const RunsFetched& runsFetched = {});

    // Between refreshes: asks the sums of the rows that changed lately (a clock, a progress bar),
    // full width; `differs` when one of them differs from the picture. Nothing is fetched: the
    // caller then starts a refresh at once. At most kHotSpots requests.
    static constexpr std::size_t kHotSpots = 4;
    // Rows are forgotten after this many refreshes that did not find them changed.
    static constexpr int64_t kHotRefreshes = 16;
    Outcome LookAtHotSpots(const AskSum& ask, const LocalSum& local, bool& differs);
    bool hasHotSpots() const { return !hot_.empty(); }

    // Where refresh `k` (0 first) puts its boundaries: a remainder of bandRows (stripColumns).
    int32_t RowOffset(int64_t k) const { return Offset(k, bandRows_, rowStep_); }
    int32_t ColumnOffset(int64_t k) const { return Offset(k, stripColumns_, columnStep_); }
    // Requests of a refresh that finds nothing: its bands and strips, at most this many.
    int32_t stillRequests() const;
    int64_t refreshes() const { return refreshes_; }

private:
    class Pass;

    static int32_t Offset(int64_t k, int32_t size, int32_t step);
    // A step through the remainders of `size` that visits every one and jumps far each time.
    static int32_t StepFor(int32_t size);

    int32_t width_;
    int32_t height_;
    int32_t bandRows_;
    int32_t stripColumns_;
    int32_t rowStep_;
    int32_t columnStep_;
    int64_t refreshes_ = 0;
    struct HotRows {
        int32_t top = 0;
        int32_t bottom = 0;
        int64_t changedAt = 0; // the refresh that last found them changed
    };
    // Rows fetched by a run lately, newest last.
    void NoteHot(int32_t top, int32_t bottom);
    std::vector<HotRows> hot_;
};

} // namespace panelgrab
