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

    // False when the request brought no sum (outcome() says why); else `differs` is set.
    bool Check(const DisplayRegion& region, bool& differs) {
        int32_t sum = 0;
        const Answer answer = ask_(region, sum);
        if (answer != Answer::Sum) {
            outcome_ = answer == Answer::Refused ? Outcome::Refused : Outcome::Failed;
            return false;
        }
        differs = sum != local_(region);
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

int32_t CrossedBands::stillRequests() const {
    // A cut off the start adds one piece at the front.
    const auto count = [](int32_t total, int32_t size) {
        return total == 0 ? 0 : (total + size - 2) / size + 1;
    };
    return count(height_, bandRows_) + count(width_, stripColumns_);
}

CrossedBands::Outcome CrossedBands::Refresh(const AskSum& ask, const LocalSum& local, const FetchRow& fetch) {
    const std::vector<Span> bands = Cuts(height_, bandRows_, RowOffset(refreshes_));
    const std::vector<Span> strips = Cuts(width_, stripColumns_, ColumnOffset(refreshes_));
    ++refreshes_;
    Pass pass(ask, local, fetch);
    std::vector<Span> differingBands;
    std::vector<Span> differingStrips;
    for (const Span& band : bands) {
        bool differs = false;
        if (!pass.Check({0, band.first, width_ - 1, band.last}, differs)) {
            return pass.outcome();
        }
        if (differs) {
            differingBands.push_back(band);
        }
    }
    for (const Span& strip : strips) {
        bool differs = false;
        if (!pass.Check({strip.first, 0, strip.last, height_ - 1}, differs)) {
            return pass.outcome();
        }
        if (differs) {
            differingStrips.push_back(strip);
        }
    }
    // Bands that differ next to each other are one run: a change across a boundary is narrowed
    // as one, so that its rows that kept their sums lie between rows that did not.
    std::vector<Span> runs;
    for (const Span& band : differingBands) {
        if (!runs.empty() && runs.back().last + 1 == band.first) {
            runs.back().last = band.last;
        } else {
            runs.push_back(band);
        }
    }
    std::vector<int32_t> rows;
    for (const Span& band : runs) {
        Span columns{width_, -1};
        for (const Span& strip : differingStrips) {
            bool differs = false;
            if (!pass.Check({strip.first, band.first, strip.last, band.last}, differs)) {
                return pass.outcome();
            }
            if (differs) {
                columns = {std::min(columns.first, strip.first), std::max(columns.last, strip.last)};
            }
        }
        if (columns.first > columns.last) {
            columns = {0, width_ - 1};
        }
        if (!pass.NarrowRows(band, columns, rows) || !pass.Fetch(rows, columns)) {
            return pass.outcome();
        }
        // The strips' sums may hide a change of this band behind another band's (a highlight
        // leaving one entry for the next): a band that still differs is looked at in full width.
        bool differs = false;
        if (columns.first == 0 && columns.last == width_ - 1) {
            continue;
        }
        if (!pass.Check({0, band.first, width_ - 1, band.last}, differs)) {
            return pass.outcome();
        }
        if (differs &&
            (!pass.NarrowRows(band, {0, width_ - 1}, rows) || !pass.Fetch(rows, {0, width_ - 1}))) {
            return pass.outcome();
        }
    }
    // A strip whose difference lies in bands that kept their sums: crossed with every band.
    for (const Span& strip : differingStrips) {
        bool differs = false;
        if (!pass.Check({strip.first, 0, strip.last, height_ - 1}, differs)) {
            return pass.outcome();
        }
        for (std::size_t i = 0; differs && i < bands.size(); ++i) {
            bool crossingDiffers = false;
            if (!pass.Check({strip.first, bands[i].first, strip.last, bands[i].last}, crossingDiffers)) {
                return pass.outcome();
            }
            if (crossingDiffers && (!pass.NarrowRows(bands[i], strip, rows) || !pass.Fetch(rows, strip))) {
                return pass.outcome();
            }
        }
    }
    return Outcome::Done;
}

} // namespace panelgrab
