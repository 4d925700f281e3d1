#include "background/band_checksums.h"

#include <algorithm>

namespace panelgrab {

BandChecksums::BandChecksums(int32_t height, int32_t bandRows, int32_t smallestRows) {
    bandRows = std::max(bandRows, 1);
    smallestRows = std::clamp(smallestRows, 1, bandRows);
    for (int32_t top = 0; top < height; top += bandRows) {
        Band band;
        band.top = top;
        band.bottom = std::min(top + bandRows, height) - 1;
        band.firstSmall = smallest_.size();
        if (band.bottom - band.top + 1 > smallestRows) {
            for (int32_t row = band.top; row <= band.bottom; row += smallestRows) {
                smallest_.push_back(Sum{row, std::min(row + smallestRows - 1, band.bottom)});
            }
        }
        band.endSmall = smallest_.size();
        bands_.push_back(band);
    }
}

BandChecksums::Answer BandChecksums::Learn(Sum& sum, const AskSum& ask, bool& changed) {
    int32_t value = 0;
    const Answer answer = ask(sum.top, sum.bottom, value);
    if (answer == Answer::Sum) {
        changed = !sum.known || sum.value != value;
        sum.known = true;
        sum.value = value;
    }
    return answer;
}

BandChecksums::Outcome BandChecksums::OutcomeOf(Answer answer) {
    return answer == Answer::Refused ? Outcome::Refused : Outcome::Failed;
}

BandChecksums::Outcome BandChecksums::ReadAll(const AskSum& ask, const FetchRows& fetch) {
    for (Band& band : bands_) {
        int32_t before = 0;
        if (const Answer answer = ask(band.top, band.bottom, before); answer != Answer::Sum) {
            return OutcomeOf(answer);
        }
        if (!fetch(band.top, band.bottom)) {
            return Outcome::Failed;
        }
        // Asked after the fetch: should a row change in between, the band's second sum says so.
        for (std::size_t i = band.firstSmall; i < band.endSmall; ++i) {
            bool ignored = false;
            if (const Answer answer = Learn(smallest_[i], ask, ignored); answer != Answer::Sum) {
                return OutcomeOf(answer);
            }
        }
        if (const Outcome outcome = FetchAndSettle(band, before, {}, ask, fetch); outcome != Outcome::Done) {
            return outcome;
        }
        if (!band.settled) {
            for (std::size_t i = band.firstSmall; i < band.endSmall; ++i) {
                smallest_[i].known = false;
            }
        }
    }
    return Outcome::Done;
}

BandChecksums::Outcome BandChecksums::Refresh(const AskSum& ask, const FetchRows& fetch) {
    for (Band& band : bands_) {
        int32_t before = 0;
        if (const Answer answer = ask(band.top, band.bottom, before); answer != Answer::Sum) {
            return OutcomeOf(answer);
        }
        const bool bandChanged = !band.known || band.value != before;
        if (!bandChanged && band.settled) {
            continue;
        }
        std::vector<RowSpan> spans;
        for (std::size_t i = band.firstSmall; i < band.endSmall; ++i) {
            bool changed = false;
            if (const Answer answer = Learn(smallest_[i], ask, changed); answer != Answer::Sum) {
                return OutcomeOf(answer);
            }
            if (changed) {
                Add(spans, smallest_[i].top, smallest_[i].bottom);
            }
        }
        const bool ownSmallest = band.firstSmall == band.endSmall;
        // A band that is its own smallest band is fetched when its sum changed or it is due for a
        // second look; a settled band whose sum changed while its smallest bands' did not, whole.
        if (spans.empty() && (ownSmallest || (bandChanged && band.settled))) {
            Add(spans, band.top, band.bottom);
        }
        if (spans.empty()) {
            // A second look that found every smallest band as it was fetched.
            band.known = true;
            band.value = before;
            band.settled = true;
            continue;
        }
        if (const Outcome outcome = FetchAndSettle(band, before, spans, ask, fetch);
            outcome != Outcome::Done) {
            return outcome;
        }
    }
    return Outcome::Done;
}

BandChecksums::Outcome BandChecksums::FetchAndSettle(Band& band, int32_t before,
                                                     const std::vector<RowSpan>& spans, const AskSum& ask,
                                                     const FetchRows& fetch) {
    for (const RowSpan& span : spans) {
        if (!fetch(span.first, span.last)) {
            return Outcome::Failed;
        }
    }
    bool ignored = false;
    if (const Answer answer = Learn(band, ask, ignored); answer != Answer::Sum) {
        return OutcomeOf(answer);
    }
    band.settled = band.value == before;
    if (!band.settled) {
        // Their sums were asked before they were fetched, and the screen changed meanwhile.
        for (std::size_t i = band.firstSmall; i < band.endSmall; ++i) {
            for (const RowSpan& span : spans) {
                if (smallest_[i].top >= span.first && smallest_[i].bottom <= span.last) {
                    smallest_[i].known = false;
                }
            }
        }
    }
    return Outcome::Done;
}

BandChecksums::Agreement BandChecksums::SumsAgreeWith(const LocalSum& local) const {
    Agreement agreement = Agreement::Unknown;
    for (const Band& band : bands_) {
        if (!band.known || !band.settled) {
            continue;
        }
        if (local(band.top, band.bottom) != band.value) {
            return Agreement::Disagree;
        }
        if (band.value != 0) {
            agreement = Agreement::Agree;
        }
    }
    return agreement;
}

void BandChecksums::Add(std::vector<RowSpan>& spans, int32_t first, int32_t last) {
    if (!spans.empty() && spans.back().last + 1 >= first) {
        spans.back().last = std::max(spans.back().last, last);
        return;
    }
    spans.push_back(RowSpan{first, last});
}

} // namespace panelgrab
