#include "transport/at/terminator_scanner.h"

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

// Feeds the first `first` bytes of the wire, then the rest in pieces of `piece` bytes; returns what
// the first feed that found something found.
Found Feed(const WireCase& c, std::size_t first, std::size_t piece) {
    TerminatorScanner scanner(c.terminator, c.unsolicited ? 1 : 0, c.unsolicited ? 3 : 0);
    const std::string_view wire = c.wire;
    Found found = scanner.Feed(wire.substr(0, first));
    for (std::size_t at = first; found == Found::Nothing && at < wire.size(); at += piece) {
        found = scanner.Feed(wire.substr(at, piece));
    }
    return found;
}

const WireCase kCases[] = {
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

TEST(TerminatorScanner, SameVerdictInEveryChunking) {
    for (const WireCase& c : kCases) {
        for (std::size_t piece : {1u, 2u, 3u, 5u}) {
            EXPECT_EQ(Feed(c, piece, piece), c.expected) << c.name << ", pieces of " << piece;
        }
        for (std::size_t split = 0; split <= c.wire.size(); ++split) {
            EXPECT_EQ(Feed(c, split, c.wire.size()), c.expected) << c.name << ", split at " << split;
        }
    }
}

TEST(TerminatorScanner, TerminatorWinsOverErrorInTheSameChunk) {
    TerminatorScanner scanner("OK\r\n");
    EXPECT_EQ(scanner.Feed("\r\nERROR\r\nOK\r\n"), Found::Terminator);
}

} // namespace
} // namespace panelgrab
