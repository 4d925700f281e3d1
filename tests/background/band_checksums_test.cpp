// Keeping a picture in step by band checksums, against a fake phone whose sum of a band is a mix of
// its row values, and a fake picture that copies a row's value when the row is fetched.
#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <numeric>
#include <random>
#include <utility>
#include <vector>

#include "background/band_checksums.h"
#include "background/changed_rows.h"

namespace panelgrab {
namespace {

using Answer = BandChecksums::Answer;
using Outcome = BandChecksums::Outcome;

class FakePhone {
public:
    explicit FakePhone(std::vector<uint32_t> rows) : rows_(std::move(rows)), picture_(rows_.size(), 0xDEAD) {}

    // Any change of a row changes every band over it (but for 32-bit collisions), and rows that
    // trade values keep the sum, as with a phone's plain sum.
    BandChecksums::AskSum Asker() {
        return [this](int32_t top, int32_t bottom, int32_t& sum) {
            ++requests;
            uint32_t total = 0;
            for (int32_t row = top; row <= bottom; ++row) {
                total += rows_[static_cast<std::size_t>(row)] * 2654435761u + 0x9E3779B9u;
            }
            sum = static_cast<int32_t>(total);
            if (answers.empty()) {
                return Answer::Sum;
            }
            const Answer answer = answers.front();
            answers.pop_front();
            return answer;
        };
    }
    BandChecksums::FetchRows Fetcher() {
        return [this](int32_t first, int32_t last) {
            fetches.push_back(RowSpan{first, last});
            for (int32_t row = first; row <= last && !fetchFails; ++row) {
                picture_[static_cast<std::size_t>(row)] = rows_[static_cast<std::size_t>(row)];
                if (afterFetch) {
                    afterFetch(row);
                }
            }
            return !fetchFails;
        };
    }
    Outcome ReadAll(BandChecksums& bands) { return Run(bands, true); }
    Outcome Refresh(BandChecksums& bands) { return Run(bands, false); }

    uint32_t& row(std::size_t index) { return rows_[index]; }
    // Rows where the picture differs from the screen.
    std::vector<int32_t> Stale() const {
        std::vector<int32_t> stale;
        for (std::size_t row = 0; row < rows_.size(); ++row) {
            if (picture_[row] != rows_[row]) {
                stale.push_back(static_cast<int32_t>(row));
            }
        }
        return stale;
    }

    int32_t requests = 0;
    std::vector<RowSpan> fetches;
    std::deque<Answer> answers;              // scripted answers (after the sums), used up in turn
    std::function<void(int32_t)> afterFetch; // the screen changing right after a row was fetched
    bool fetchFails = false;

private:
    Outcome Run(BandChecksums& bands, bool all) {
        requests = 0;
        fetches.clear();
        return all ? bands.ReadAll(Asker(), Fetcher()) : bands.Refresh(Asker(), Fetcher());
    }

    std::vector<uint32_t> rows_;
    std::vector<uint32_t> picture_;
};

std::vector<uint32_t> Rows(std::size_t count) {
    std::vector<uint32_t> rows(count);
    std::iota(rows.begin(), rows.end(), 0u);
    return rows;
}

TEST(BandChecksums, AFullReadFetchesEveryRowOnceAndLearnsEverySum) {
    const struct {
        int32_t height, band, smallest;
        std::size_t bands, requests;
    } cases[] = {
        {220, 8, 1, 28, 2 * 28 + 220},
        {220, 8, 2, 28, 2 * 28 + 110},
        {220, 16, 3, 14, 2 * 14 + 13 * 6 + 4}, // the last band's 12 rows: 4 smallest bands
        {5, 5, 2, 1, 2 + 3},                   // 2, 2 and 1 rows
        {3, 8, 8, 1, 2},                       // a band that is its own smallest band
        {0, 8, 2, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.height << "/" << c.band << "/" << c.smallest);
        BandChecksums bands(c.height, c.band, c.smallest);
        EXPECT_EQ(std::pair(bands.bands(), bands.readAllRequests()), std::pair(c.bands, c.requests));
        FakePhone phone(Rows(static_cast<std::size_t>(c.height)));
        ASSERT_EQ(phone.ReadAll(bands), Outcome::Done);
        EXPECT_EQ(static_cast<std::size_t>(phone.requests), c.requests);
        EXPECT_TRUE(phone.Stale().empty());
        int32_t next = 0; // the spans follow each other from the top row to the bottom one
        for (const RowSpan& span : phone.fetches) {
            EXPECT_EQ(span.first, next);
            next = span.last + 1;
        }
        EXPECT_EQ(next, c.height);
        ASSERT_EQ(phone.Refresh(bands), Outcome::Done);
        EXPECT_EQ(static_cast<std::size_t>(phone.requests), c.bands) << "nothing changed: one sum a band";
        EXPECT_TRUE(phone.fetches.empty());
    }
}

TEST(BandChecksums, AChangedBandCostsItsSmallestBandsAndOneMoreSum) {
    BandChecksums bands(220, 8, 2);
    FakePhone phone(Rows(220));
    ASSERT_EQ(phone.ReadAll(bands), Outcome::Done);

    phone.row(13) += 1000; // band 8-15, smallest band 12-13
    ASSERT_EQ(phone.Refresh(bands), Outcome::Done);
    EXPECT_EQ(phone.fetches, (std::vector<RowSpan>{{12, 13}}));
    EXPECT_EQ(phone.requests, 28 + 4 + 1);

    // A clock-sized change over rows 2-10, and the bottom row: touching smallest bands are fetched
    // together, each band's on its own.
    for (std::size_t row = 2; row <= 10; ++row) {
        phone.row(row) += 5;
    }
    phone.row(219) += 9;
    ASSERT_EQ(phone.Refresh(bands), Outcome::Done);
    EXPECT_EQ(phone.fetches, (std::vector<RowSpan>{{2, 7}, {8, 11}, {218, 219}}));
    EXPECT_EQ(phone.requests, 28 + (4 + 1) + (4 + 1) + (2 + 1));
    EXPECT_TRUE(phone.Stale().empty());

    ASSERT_EQ(phone.Refresh(bands), Outcome::Done);
    EXPECT_TRUE(phone.fetches.empty()) << "the new sums were kept";
}

TEST(BandChecksums, ABandWhoseSmallestBandsKeptTheirSumsIsFetchedWhole) {
    // A phone whose sum of a band is not made of its smallest bands' (or a screen that changed back
    // between the requests): the band changed, so all of it is fetched rather than nothing.
    BandChecksums bands(8, 8, 2);
    int32_t bandSum = 0;
    const BandChecksums::AskSum ask = [&bandSum](int32_t top, int32_t bottom, int32_t& sum) {
        sum = top == 0 && bottom == 7 ? bandSum : top * 100 + bottom;
        return Answer::Sum;
    };
    std::vector<RowSpan> fetched;
    const BandChecksums::FetchRows fetch = [&fetched](int32_t first, int32_t last) {
        fetched.push_back(RowSpan{first, last});
        return true;
    };
    ASSERT_EQ(bands.ReadAll(ask, fetch), Outcome::Done);
    ASSERT_EQ(bands.Refresh(ask, fetch), Outcome::Done);
    EXPECT_EQ(fetched, (std::vector<RowSpan>{{0, 7}})) << "settled by the full read: nothing more";
    bandSum = 1;
    ASSERT_EQ(bands.Refresh(ask, fetch), Outcome::Done);
    EXPECT_EQ(fetched, (std::vector<RowSpan>{{0, 7}, {0, 7}}));
}

TEST(BandChecksums, RefusedOrFailedRequestsAndFailedFetchesEndTheRun) {
    for (const Answer failing : {Answer::Refused, Answer::Failed}) {
        BandChecksums bands(64, 8, 2);
        FakePhone phone(Rows(64));
        phone.answers = {Answer::Sum, Answer::Sum, Answer::Sum, failing};
        const Outcome expected = failing == Answer::Refused ? Outcome::Refused : Outcome::Failed;
        EXPECT_EQ(phone.ReadAll(bands), expected);
        EXPECT_EQ(phone.requests, 4) << "nothing is asked after the first request without a sum";
        phone.answers = {failing};
        EXPECT_EQ(phone.Refresh(bands), expected);
    }
    BandChecksums bands(16, 8, 1);
    FakePhone phone(Rows(16));
    phone.fetchFails = true;
    EXPECT_EQ(phone.ReadAll(bands), Outcome::Failed);
    EXPECT_EQ(phone.fetches.size(), 1u);
}

// Changes between refreshes, and now and then right after some row was fetched: a band's sum asked
// afterwards then matches the screen while a row holds what was there before, and the band's sums
// before and after the fetch differ, so its rows are looked at again.
TEST(BandChecksums, RandomChangesEvenDuringFetchesLeaveNoStaleRowAfterAQuietRefresh) {
    std::mt19937 random(20261206);
    for (int round = 0; round < 300; ++round) {
        const int32_t height = std::uniform_int_distribution<int32_t>(1, 240)(random);
        const int32_t band = std::uniform_int_distribution<int32_t>(1, 24)(random);
        BandChecksums bands(height, band, 1);
        std::vector<uint32_t> rows(static_cast<std::size_t>(height));
        for (uint32_t& row : rows) {
            row = static_cast<uint32_t>(random());
        }
        FakePhone phone(rows);
        const auto pick = [&] { return std::uniform_int_distribution<int32_t>(0, height - 1)(random); };
        // Now and then a row changes right after some fetched row: a screen that moves on.
        phone.afterFetch = [&](int32_t) {
            if (random() % 5 == 0) {
                phone.row(static_cast<std::size_t>(pick())) ^= 1u + static_cast<uint32_t>(random() % 999u);
            }
        };
        ASSERT_EQ(phone.ReadAll(bands), Outcome::Done);
        for (int i = 0; i < 3; ++i) {
            const int changes = std::uniform_int_distribution<int>(0, 5)(random);
            for (int j = 0; j < changes; ++j) {
                phone.row(static_cast<std::size_t>(pick())) += 1u + static_cast<uint32_t>(random() % 77u);
            }
            ASSERT_EQ(phone.Refresh(bands), Outcome::Done);
        }
        // Two quiet refreshes: the first may still be catching up with changes during fetches.
        phone.afterFetch = nullptr;
        ASSERT_EQ(phone.Refresh(bands), Outcome::Done);
        ASSERT_EQ(phone.Refresh(bands), Outcome::Done);
        EXPECT_TRUE(phone.Stale().empty()) << "round " << round;
        ASSERT_EQ(phone.Refresh(bands), Outcome::Done);
        EXPECT_TRUE(phone.fetches.empty()) << "round " << round;
    }
}

TEST(ChangedRows, MarksComeOutAsSpansOnce) {
    ChangedRows rows(10);
    rows.Mark(8, 20); // clipped to the display
    rows.Mark(-3, 0);
    rows.Mark(1, 2);
    rows.Mark(5, 4); // empty
    std::vector<RowSpan> spans;
    rows.Take(spans);
    EXPECT_EQ(spans, (std::vector<RowSpan>{{0, 2}, {8, 9}}));
    rows.Take(spans);
    EXPECT_TRUE(spans.empty());
}

} // namespace
} // namespace panelgrab
