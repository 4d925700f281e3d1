#include "background/crossed_bands.h"

#include <algorithm>
#include <numeric>
#include <vector>

namespace panelgrab {
namespace {

struct Span {
    int32_t first = 0;
    int32_t last = 0;
};

// Bands next to each other that differ (or one strip), with the sum of the phone's sums of them.
struct Run {
    Span span;
    int32_t sum = 0;
};

// Adds a band or strip that differs to the runs.
void AddToRuns(std::vector<Run>& runs, Span span, int32_t sum) {
    if (!runs.empty() && runs.back().span.last + 1 == span.first) {
        runs.back().span.last = span.last;
        runs.back().sum =
            static_cast<int32_t>(static_cast<uint32_t>(runs.back().sum) + static_cast<uint32_t>(sum));
    } else {
        runs.push_back({span, sum});
    }
}

// 0..total-1 cut at every position p with p % size == offset.
std::vector<Span> Cuts(int32_t total, int32_t size, int32_t offset) {
    std::vector<Span> spans;
    int32_t next = offset > 0 ? offset : size;
    for (int32_t first = 0; first < total; next = first + size) {
        const int32_t last = std::min(next, total) - 1;
        spans.push_back({first, last});
        first = last + 1;
    }
    return spans;
}

} // namespace

// One refresh's requests: each rectangle's phone sum against the picture's, until one fails.
class CrossedBands::Pass {
public:
    Pass(const AskSum& ask, const LocalSum& local, const FetchRow& fetch)
        : ask_(ask), local_(local), fetch_(fetch) {}

    // False when the request brought no sum (outcome() says why); else `differs` is set, and the
    // phone's sum in `phoneSum` when asked for.
    bool Check(const DisplayRegion& region, bool& differs, int32_t* phoneSum = nullptr) {
        int32_t sum = 0;
        const Answer answer = ask_(region, sum);
        if (answer != Answer::Sum) {
            outcome_ = answer == Answer::Refused ? Outcome::Refused : Outcome::Failed;
            return false;
        }
        differs = sum != local_(region);
        if (phoneSum != nullptr) {
            *phoneSum = sum;
        }
        return true;
    }
    // Looks at a run of bands that differ in two dimensions and fetches what differs.
    bool FetchRun(const Run& run, int32_t width, int32_t narrowest) {
        Span columns{width, -1};
        const auto piece = [&run](Span c) {
            return DisplayRegion{c.first, run.span.first, c.last, run.span.last};
        };
        if (!Bisect({0, width - 1}, run.sum, narrowest, piece, columns)) {
            return false;
        }
        if (columns.first > columns.last) {
            columns = {0, width - 1};
        }
        std::vector<int32_t> rows;
        if (!NarrowRows(run.span, columns, rows) || !Fetch(rows, columns)) {
            return false;
        }
        // Halves whose changes cancel (a highlight leaving one entry for the next, both in one run)
        // hide columns: a run that still differs is looked at in full width.
        bool differs = false;
        if (columns.first == 0 && columns.last == width - 1) {
            return true;
        }
        if (!Check({0, run.span.first, width - 1, run.span.last}, differs)) {
            return false;
        }
        return !differs || (NarrowRows(run.span, {0, width - 1}, rows) && Fetch(rows, {0, width - 1}));
    }
    // Looks at a strip that differs (a change that kept every band's sum) the same way, its rows
    // halved; what still differs then is crossed with every band.
    bool FetchStrip(const Run& run, const std::vector<Span>& bands, int32_t height, int32_t narrowest) {
        const Span columns = run.span;
        Span found{height, -1};
        const auto piece = [&columns](Span r) {
            return DisplayRegion{columns.first, r.first, columns.last, r.last};
        };
        if (!Bisect({0, height - 1}, run.sum, narrowest, piece, found)) {
            return false;
        }
        std::vector<int32_t> rows;
        bool differs = found.first <= found.last;
        if (differs && (!NarrowRows(found, columns, rows) || !Fetch(rows, columns) ||
                        !Check({columns.first, 0, columns.last, height - 1}, differs))) {
            return false;
        }
        for (std::size_t i = 0; differs && i < bands.size(); ++i) {
            bool crossingDiffers = false;
            if (!Check({columns.first, bands[i].first, columns.last, bands[i].last}, crossingDiffers)) {
                return false;
            }
            if (crossingDiffers && (!NarrowRows(bands[i], columns, rows) || !Fetch(rows, columns))) {
                return false;
            }
        }
        return true;
    }
    bool Fetch(const std::vector<int32_t>& rows, Span columns) {
        for (const int32_t row : rows) {
            if (!fetch_(row, columns.first, columns.last)) {
                outcome_ = Outcome::Failed;
                return false;
            }
        }
        return true;
    }
    // The rows of `rows` from the first to the last whose sums over `columns` differ; all of them
    // when none does. Rows in between are taken too: a row whose change keeps its sum, beside rows
    // that changed (a digit turning into another), would otherwise leave a remainder that may keep
    // every row's and column's sum, which no later band or strip would see.
    bool NarrowRows(Span rows, Span columns, std::vector<int32_t>& differing) {
        Span found{rows.last + 1, rows.first - 1};
        for (int32_t row = rows.first; rows.first < rows.last && row <= rows.last; ++row) {
            bool differs = false;
            if (!Check({columns.first, row, columns.last, row}, differs)) {
                return false;
            }
            if (differs) {
                found = {std::min(found.first, row), row};
            }
        }
        if (found.first > found.last) {
            found = rows;
        }
        differing.clear();
        for (int32_t row = found.first; row <= found.last; ++row) {
            differing.push_back(row);
        }
        return true;
    }
    Outcome outcome() const { return outcome_; }

private:
    // Widens `hull` by the parts of `span` that differ, halving down to pieces of at most
    // `narrowest`; `region` makes a piece's rectangle. `phoneSum` is the phone's sum of `span`: a
    // half is asked, the other half's is what remains, so each halving costs one request.
    template <typename Region>
    bool Bisect(Span span, int32_t phoneSum, int32_t narrowest, const Region& region, Span& hull) {
        if (phoneSum == local_(region(span))) {
            return true;
        }
        if (span.last - span.first + 1 <= narrowest) {
            hull = {std::min(hull.first, span.first), std::max(hull.last, span.last)};
            return true;
        }
        const Span lower{span.first, span.first + (span.last - span.first) / 2};
        bool ignored = false;
        int32_t lowerSum = 0;
        if (!Check(region(lower), ignored, &lowerSum)) {
            return false;
        }
        const auto upperSum =
            static_cast<int32_t>(static_cast<uint32_t>(phoneSum) - static_cast<uint32_t>(lowerSum));
        return Bisect(lower, lowerSum, narrowest, region, hull) &&
               Bisect({lower.last + 1, span.last}, upperSum, narrowest, region, hull);
    }

    const AskSum& ask_;
    const LocalSum& local_;
    const FetchRow& fetch_;
    Outcome outcome_ = Outcome::Done;
};

CrossedBands::CrossedBands(int32_t width, int32_t height, int32_t bandRows, int32_t stripColumns)
    : width_(std::max(width, 0)), height_(std::max(height, 0)), bandRows_(std::max(bandRows, 1)),
      stripColumns_(std::max(stripColumns, 1)), rowStep_(StepFor(bandRows_)),
      columnStep_(StepFor(stripColumns_)) {}

int32_t CrossedBands::StepFor(int32_t size) {
    int32_t step = std::max(1, size * 3 / 8);
    while (std::gcd(step, size) != 1) {
        ++step;
    }
    return step;
}

int32_t CrossedBands::Offset(int64_t k, int32_t size, int32_t step) {
    return static_cast<int32_t>(k % size * step % size);
}

void CrossedBands::NoteHot(int32_t top, int32_t bottom) {
    std::erase_if(hot_, [&](const HotRows& h) {
        const bool overlaps = h.top <= bottom && top <= h.bottom;
        if (overlaps) {
            top = std::min(top, h.top);
            bottom = std::max(bottom, h.bottom);
        }
        return overlaps;
    });
    hot_.push_back({top, bottom, refreshes_});
    if (hot_.size() > kHotSpots) {
        hot_.erase(hot_.begin());
    }
}

CrossedBands::Outcome CrossedBands::LookAtHotSpots(const AskSum& ask, const LocalSum& local, bool& differs) {
    differs = false;
    FetchRow none;
    Pass pass(ask, local, none);
    for (const HotRows& h : hot_) {
        if (!pass.Check({0, h.top, width_ - 1, h.bottom}, differs)) {
            return pass.outcome();
        }
        if (differs) {
            break;
        }
    }
    return Outcome::Done;
}

int32_t CrossedBands::stillRequests() const {
    // A cut off the start adds one piece at the front.
    const auto count = [](int32_t total, int32_t size) {
        return total == 0 ? 0 : (total + size - 2) / size + 1;
    };
    return count(height_, bandRows_) + count(width_, stripColumns_);
}

CrossedBands::Outcome CrossedBands::Refresh(const AskSum& ask, const LocalSum& local, const FetchRow& fetch,
                                            const RunsFetched& runsFetched) {
    const std::vector<Span> bands = Cuts(height_, bandRows_, RowOffset(refreshes_));
    const std::vector<Span> strips = Cuts(width_, stripColumns_, ColumnOffset(refreshes_));
    ++refreshes_;
    Pass pass(ask, local, fetch);
    // Bands that differ next to each other are one run: a change across a boundary is narrowed
    // as one, so that its rows that kept their sums lie between rows that did not.
    std::vector<Run> runs;
    for (const Span& band : bands) {
        bool differs = false;
        int32_t sum = 0;
        if (!pass.Check({0, band.first, width_ - 1, band.last}, differs, &sum)) {
            return pass.outcome();
        }
        if (differs) {
            AddToRuns(runs, band, sum);
        }
    }
    // Runs first: a change is fetched before the strips are asked.
    for (const Run& run : runs) {
        if (!pass.FetchRun(run, width_, stripColumns_)) {
            return pass.outcome();
        }
        NoteHot(run.span.first, run.span.last);
    }
    std::erase_if(hot_, [this](const HotRows& h) { return refreshes_ - h.changedAt > kHotRefreshes; });
    if (runsFetched && !runs.empty()) {
        runsFetched();
    }
    // A strip that differs now holds a change that kept the sums of the bands. Strips are looked
    // at one by one: the two edges of a block moved sideways differ by opposite sums, which two
    // strips taken together would not show.
    for (const Span& strip : strips) {
        bool differs = false;
        int32_t sum = 0;
        if (!pass.Check({strip.first, 0, strip.last, height_ - 1}, differs, &sum)) {
            return pass.outcome();
        }
        if (differs && !pass.FetchStrip({strip, sum}, bands, height_, bandRows_)) {
            return pass.outcome();
        }
    }
    return Outcome::Done;
}

} // namespace panelgrab
