#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "background/row_span.h"

namespace panelgrab {

// The phone's own checksums of a display's bands of rows, as last asked, and the search for the rows
// that changed since. Bands of `bandRows` rows cover the display top down; each is halved (the upper
// half takes the odd row) and halved again down to bands of at most `smallestRows` rows, so every
// band is the root of a small binary tree.
//
// Sums are compared only with the phone's own earlier sums of the same rows, never with anything
// computed here, so nothing depends on how the phone sums. A change that keeps a band's sum (two
// pixels trading values) is not seen.
//
// Not thread-safe: one job owns it.
class BandChecksums {
public:
    // What asking the phone for the checksum of rows top..bottom (full width) brought.
    enum class Answer { Sum, Refused, Failed };
    using AskSum = std::function<Answer(int32_t top, int32_t bottom, int32_t& sum)>;
    // Refused and Failed: the first request that did not bring a sum; nothing more was asked.
    enum class Outcome { Done, Refused, Failed };

    // height >= 0, 1 <= smallestRows <= bandRows.
    BandChecksums(int32_t height, int32_t bandRows, int32_t smallestRows);

    // Asks for the sum of every band of every level and stores them. Done before the lines are read
    // whole, so that each stored sum is no younger than the lines it covers: a change in between is
    // seen by the next search and its lines fetched again.
    Outcome AskAll(const AskSum& ask, int32_t& requests);
    // Asks for each top band's sum. Where it differs from the stored one (or none is stored) the new
    // sum is stored and the band's halves are searched the same way; a smallest band that differs
    // adds its rows to `changed`. A band whose sum changed while none of its halves' did adds all of
    // its rows (the phone's sum was not made of its halves', or the screen changed back meanwhile).
    // `changed` is emptied first and comes out top down, touching spans merged.
    Outcome FindChanged(const AskSum& ask, std::vector<RowSpan>& changed, int32_t& requests);

    // Bands of the top level; and of every level.
    std::size_t topBands() const { return roots_.size(); }
    std::size_t allBands() const { return nodes_.size(); }

private:
    struct Node {
        int32_t top = 0;
        int32_t bottom = 0;
        int32_t firstChild = -1; // the second is firstChild + 1; -1 for a smallest band
        bool known = false;
        int32_t sum = 0;
    };

    // Appends the two halves of node `index` (and theirs) while it is larger than a smallest band.
    void Split(int32_t index, int32_t smallestRows);
    // `added`: rows of this band went into `changed`.
    Answer Search(int32_t index, const AskSum& ask, std::vector<RowSpan>& changed, int32_t& requests,
                  bool& added);
    static void Add(std::vector<RowSpan>& spans, int32_t first, int32_t last);

    std::vector<Node> nodes_;
    std::vector<int32_t> roots_;
};

} // namespace panelgrab
