#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "background/row_span.h"

namespace panelgrab {

// Keeps a display's picture in step with the phone by its own checksums of bands of rows. Bands of
// `bandRows` rows cover the display top down, each cut into smallest bands of `smallestRows` rows.
// A refresh asks for every band's sum; a band whose sum changed has its smallest bands asked, and
// the rows of those that changed are fetched.
//
// Every smallest band of a changed band is asked, rather than halves split further only where
// they changed: a half whose sum stayed may still hold two rows that traded contents, as the blank
// rows between two list entries do when a highlight moves from one entry to the next.
//
// Sums are compared only with the phone's own earlier sums of the same rows, never with anything
// computed here, so nothing depends on how the phone sums. A stored sum must describe the rows as
// they were fetched, or a screen that changes and changes back would leave stale rows behind a sum
// that matches again. So a band's sum is asked before and after its rows are fetched: when the two
// differ, the screen changed meanwhile, and the band and the smallest bands fetched are looked at
// again by the next refresh, whatever their sums say. What a sum cannot see stays unseen: a
// change that keeps a band's sum (rows or pixels trading contents), or a smallest band's.
//
// Not thread-safe: one job owns it.
class BandChecksums {
public:
    // What asking the phone for the checksum of rows top..bottom (full width) brought.
    enum class Answer { Sum, Refused, Failed };
    using AskSum = std::function<Answer(int32_t top, int32_t bottom, int32_t& sum)>;
    // Fetches rows first..last (lines, or the whole picture); false when that failed.
    using FetchRows = std::function<bool(int32_t first, int32_t last)>;
    // Refused and Failed: a request did not bring a sum, or a fetch failed; nothing more was asked.
    enum class Outcome { Done, Refused, Failed };

    // height >= 0; bandRows and smallestRows are taken as at least 1, smallestRows at most bandRows.
    BandChecksums(int32_t height, int32_t bandRows, int32_t smallestRows);

    // Fetches every row, band by band, and learns every sum: the band's, its rows fetched, its
    // smallest bands', the band's again.
    Outcome ReadAll(const AskSum& ask, const FetchRows& fetch);
    // Asks for each band's sum; a band whose sum differs from the stored one (or that is due for a
    // second look) has its smallest bands asked, and those whose sums differ are fetched (all of
    // them when none differs: the phone's band sum is not made of theirs, or the screen changed back
    // meanwhile), then the band's sum is asked again. Fetches of touching rows are merged.
    Outcome Refresh(const AskSum& ask, const FetchRows& fetch);

    // Whether the phone sums as `local` does: its sums of the bands that stayed still while they
    // were fetched, against `local`'s sums of the same rows of the picture. Unknown when no such
    // band has a sum other than 0 (every plain sum of black is 0).
    enum class Agreement { Agree, Disagree, Unknown };
    using LocalSum = std::function<int32_t(int32_t top, int32_t bottom)>;
    Agreement SumsAgreeWith(const LocalSum& local) const;

    // Requests of a refresh that finds nothing changed.
    std::size_t bands() const { return bands_.size(); }
    // Requests of ReadAll: every band twice, every smallest band once (a band that is its own only
    // smallest band has none).
    std::size_t readAllRequests() const { return 2 * bands_.size() + smallest_.size(); }

private:
    struct Sum {
        int32_t top = 0;
        int32_t bottom = 0;
        bool known = false;
        int32_t value = 0;
    };
    struct Band : Sum {
        bool settled = false; // its sum was the same before and after its rows were fetched
        std::size_t firstSmall = 0;
        std::size_t endSmall = 0; // smallest_[firstSmall, endSmall); none when it is its own
    };

    // Asks for the sum and stores it; `changed`: it differs from the stored one, or none was stored.
    static Answer Learn(Sum& sum, const AskSum& ask, bool& changed);
    // Fetches `spans` and asks for the band's sum again: settled when it is still `before`; when it
    // is not, the smallest bands fetched are forgotten.
    Outcome FetchAndSettle(Band& band, int32_t before, const std::vector<RowSpan>& spans, const AskSum& ask,
                           const FetchRows& fetch);
    static Outcome OutcomeOf(Answer answer);
    static void Add(std::vector<RowSpan>& spans, int32_t first, int32_t last);

    std::vector<Band> bands_;
    std::vector<Sum> smallest_;
};

} // namespace panelgrab
