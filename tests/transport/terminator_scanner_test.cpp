#include "transport/terminator_scanner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace panelgrab {
namespace {

using Found = TerminatorScanner::Found;

struct WireCase {
    const char* name;
    std::string wire;
    std::string terminator;
    bool unsolicited;
    Found expected;
};

// Feeds `wire` in pieces of `piece` bytes; returns what the first non-Nothing feed found.
Found FeedInPieces(const WireCase& c, std::size_t piece) {
    TerminatorScanner scanner(c.terminator, c.unsolicited ? 1 : 0, c.unsolicited ? 3 : 0);
    for (std::size_t at = 0; at < c.wire.size(); at += piece) {
        const Found found = scanner.Feed(std::string_view(c.wire).substr(at, piece));
        if (found != Found::Nothing) {
            return found;
        }
    }
    return Found::Nothing;
}

// Feeds `wire` as two chunks split at `split`.
Found FeedSplit(const WireCase& c, std::size_t split) {
    TerminatorScanner scanner(c.terminator, c.unsolicited ? 1 : 0, c.unsolicited ? 3 : 0);
    const Found first = scanner.Feed(std::string_view(c.wire).substr(0, split));
    return first != Found::Nothing ? first : scanner.Feed(std::string_view(c.wire).substr(split));
}

const std::vector<WireCase>& Cases() {
    static const std::vector<WireCase> cases = {
        {"echo and ok", "AT\r\r\nOK\r\n", "OK\r\n", false, Found::Terminator},
        {"ok ending a word", "+CGMM: NOTEBOOK\r\n", "OK\r\n", false, Found::Terminator},
        {"error answer", "AT+X\r\r\nERROR\r\n", "OK\r\n", false, Found::ErrorAnswer},
        {"ok then error", "\r\nOK\r\nERROR\r\n", "OK\r\n", false, Found::Terminator},
        {"error without line end", "\r\nERROR", "OK\r\n", false, Found::Nothing},
        {"extended error", "\r\n+CME ERROR: 10\r\n", "OK\r\n", false, Found::Nothing},
        {"ok without lf", "\r\nOK\r", "OK\r\n", false, Found::Nothing},
        {"line end", "FFEE0011\r\n", "\r\n", false, Found::Terminator},
        {"ok after long text", std::string(3000, 'x') + "\r\nOK\r\n", "OK\r\n", false, Found::Terminator},
        {"error after long text", std::string(2500, '7') + "ERROR\r\n", "OK\r\n", false, Found::ErrorAnswer},
        {"long terminator", std::string(40, 'a') + "<<END-OF-DATA>>", "<<END-OF-DATA>>", false,
         Found::Terminator},
        {"leading line end alone", "\r\n", "\r\n", true, Found::Nothing},
        {"leading line end then report", "\r\n+CKEV: 1,1\r\n", "\r\n", true, Found::Terminator},
        {"report without leading line end", "+CKEV: 2,0\r\n", "\r\n", true, Found::Terminator},
        {"three characters", "x\r\n", "\r\n", true, Found::Terminator},
        {"leading line end and a cr", "\r\n\r", "\r\n", true, Found::Nothing},
        {"unsolicited error", "\r\nERROR\r\n", "+CKEV", true, Found::ErrorAnswer},
    };
    return cases;
}

TEST(TerminatorScanner, SameVerdictInEveryChunking) {
    for (const WireCase& c : Cases()) {
        for (std::size_t piece :
             {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{5}, c.wire.size()}) {
            EXPECT_EQ(FeedInPieces(c, piece), c.expected) << c.name << ", pieces of " << piece;
        }
        for (std::size_t split = 0; split <= c.wire.size(); ++split) {
            EXPECT_EQ(FeedSplit(c, split), c.expected) << c.name << ", split at " << split;
        }
    }
}

TEST(TerminatorScanner, TerminatorWinsOverErrorInTheSameChunk) {
    TerminatorScanner scanner("OK\r\n");
    EXPECT_EQ(scanner.Feed("\r\nERROR\r\nOK\r\n"), Found::Terminator);
}

TEST(TerminatorScanner, ErrorEndsTheWaitWhenItArrivesFirst) {
    TerminatorScanner scanner("OK\r\n");
    EXPECT_EQ(scanner.Feed("\r\nERROR\r\n"), Found::ErrorAnswer);
}

} // namespace
} // namespace panelgrab
