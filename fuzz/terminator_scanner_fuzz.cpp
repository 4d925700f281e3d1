// The exchange framing: TerminatorScanner fed a stream whole and in pieces (sizes from the input,
// empty reads included, as a read of NUL bytes only gives). After every piece the verdict must be
// what the plain rule gives for the prefix fed so far: the terminator, counted only from its
// earliest start and once the stream is long enough, wins over "ERROR\r\n"; the reader stops at the
// first piece that decides, so the pieces give the whole stream's verdict or an earlier, correct one.
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "transport/at/terminator_scanner.h"

namespace {

using Found = panelgrab::TerminatorScanner::Found;
using panelgrab::fuzz::Check;

struct Framing {
    std::string terminator;
    std::size_t earliestStart;
    std::size_t minimumLength;
};

Framing ReadFraming(panelgrab::fuzz::FuzzInput& in) {
    const uint8_t choice = in.Byte();
    Framing framing{"", 0, 0};
    switch (choice % 4) {
    case 0:
        framing.terminator = "OK\r\n";
        break;
    case 1:
        framing.terminator = "\r\n";
        break;
    case 2: // an unsolicited report, as the key listener reads them
        framing = Framing{"\r\n", 1, 3};
        break;
    default:
        framing.terminator = std::string(in.Take(in.Byte() % 9));
        framing.earliestStart = in.Byte() % 16;
        framing.minimumLength = in.Byte() % 16;
        break;
    }
    return framing;
}

// The verdict for a stream prefix, straight from the rule.
Found Reference(const Framing& framing, std::string_view prefix) {
    if (prefix.size() >= framing.minimumLength && framing.earliestStart <= prefix.size() &&
        prefix.find(framing.terminator, framing.earliestStart) != std::string_view::npos) {
        return Found::Terminator;
    }
    if (prefix.find("ERROR\r\n") != std::string_view::npos) {
        return Found::ErrorAnswer;
    }
    return Found::Nothing;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    panelgrab::fuzz::FuzzInput in(data, size);
    const Framing framing = ReadFraming(in);
    std::vector<uint8_t> sizes;
    for (unsigned n = in.Byte() % 8 + 1; n > 0; --n) {
        sizes.push_back(static_cast<uint8_t>(in.Byte() % 24));
    }
    const std::string_view stream = in.Rest();

    panelgrab::TerminatorScanner whole(framing.terminator, framing.earliestStart, framing.minimumLength);
    const Found wholeVerdict = whole.Feed(stream);
    Check(wholeVerdict == Reference(framing, stream), "whole stream: verdict of the rule");

    panelgrab::TerminatorScanner scanner(framing.terminator, framing.earliestStart, framing.minimumLength);
    std::size_t fed = 0;
    Found verdict = Found::Nothing;
    const std::vector<std::string_view> pieces = panelgrab::fuzz::SplitBySizes(stream, sizes);
    for (const std::string_view piece : pieces) {
        verdict = scanner.Feed(piece);
        fed += piece.size();
        Check(verdict == Reference(framing, stream.substr(0, fed)),
              "pieces: verdict of the rule for the prefix");
        if (verdict != Found::Nothing) {
            break;
        }
    }
    // An empty stream brings no read at all, so there is no verdict of pieces to compare.
    if (verdict == Found::Nothing && !pieces.empty()) {
        Check(wholeVerdict == Found::Nothing, "pieces that never decide mean an undecided stream");
    }
    if (verdict == Found::Terminator) {
        Check(wholeVerdict == Found::Terminator, "a terminator in a prefix is one in the whole stream");
    }
    return 0;
}
