// Key-event reports, "+CKEV: key,press", as port reads bring them: the text fed whole and the same
// text fed in pieces (sizes from the input, empty reads included) must give the same reports in the
// same order, and every report must agree with parsing its line on its own.
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "tasks/key_report_parser.h"

namespace {

using panelgrab::KeyEvent;
using panelgrab::KeyReportParser;
using panelgrab::fuzz::Check;

std::vector<KeyEvent> FeedPieces(const std::vector<std::string_view>& pieces) {
    KeyReportParser parser;
    std::vector<KeyEvent> events;
    for (const std::string_view piece : pieces) {
        std::vector<KeyEvent> more = parser.Feed(piece);
        events.insert(events.end(), more.begin(), more.end());
    }
    return events;
}

// The reports of complete lines, straight from the line parser.
std::vector<KeyEvent> ReportsOfLines(std::string_view text) {
    constexpr std::string_view kMarker = "+CKEV: ";
    std::vector<KeyEvent> events;
    std::size_t at = 0;
    for (;;) {
        const std::size_t marker = text.find(kMarker, at);
        if (marker == std::string_view::npos) {
            return events;
        }
        const std::size_t body = marker + kMarker.size();
        const std::size_t end = text.find_first_of("\r\n", body);
        if (end == std::string_view::npos) {
            return events;
        }
        events.push_back(panelgrab::ParseKeyReport(text.substr(body, end - body)));
        at = end;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    panelgrab::fuzz::FuzzInput in(data, size);
    std::vector<uint8_t> sizes;
    for (unsigned n = in.Byte() % 8 + 1; n > 0; --n) {
        sizes.push_back(static_cast<uint8_t>(in.Byte() % 32));
    }
    const std::string_view text = in.Rest();

    const std::vector<KeyEvent> whole = FeedPieces({text});
    const std::vector<KeyEvent> pieces = FeedPieces(panelgrab::fuzz::SplitBySizes(text, sizes));
    // Unfinished text longer than the parser keeps is dropped as noise, which only pieces can hit.
    if (text.size() <= KeyReportParser::kMaxPending) {
        Check(pieces == whole, "pieces give the reports of the whole text");
        Check(whole == ReportsOfLines(text), "each report as its line parses");
    }
    return 0;
}
