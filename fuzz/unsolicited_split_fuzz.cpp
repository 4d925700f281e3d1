// The line's unsolicited-report split: a stream fed whole and the same stream fed in pieces (sizes
// from the input, empty reads included, ready text taken in pieces of random size) must give the
// same reports and the same remaining text; every report is a whole report line, or a message
// report's header with its PDU line.
#include <string>
#include <vector>

#include "background/key_report_parser.h"
#include "fuzz_input.h"
#include "transport/at/unsolicited_splitter.h"
#include "transport/at/v250_command.h"

namespace {

using panelgrab::UnsolicitedSplitter;
using panelgrab::fuzz::Check;

struct Split {
    std::vector<std::string> reports;
    std::string text;
};

Split Run(std::string_view command, const std::vector<std::string_view>& pieces,
          const std::vector<uint8_t>& takeSizes) {
    UnsolicitedSplitter splitter;
    splitter.ExpectAnswerTo(command);
    Split split;
    std::size_t turn = 0;
    for (const std::string_view piece : pieces) {
        splitter.Feed(piece, split.reports);
        const std::size_t limit =
            takeSizes.empty() ? std::string::npos : takeSizes[turn++ % takeSizes.size()];
        split.text += splitter.TakeReady(limit);
    }
    split.text += splitter.TakeReady();
    return split;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    panelgrab::fuzz::FuzzInput in(data, size);
    static const char* const kCommands[] = {"AT+CKPD=\"5\"\r", "AT+CSQ\r",      "AT*ZISI\r",  "AT+CGMM\r",
                                            "ATE0\r",          "AT+CSQ;+CBC\r", "ATE1 +CSQ\r"};
    const std::string_view command = kCommands[in.Byte() % std::size(kCommands)];
    std::vector<uint8_t> sizes;
    std::vector<uint8_t> takeSizes;
    for (unsigned n = in.Byte() % 8 + 1; n > 0; --n) {
        sizes.push_back(static_cast<uint8_t>(in.Byte() % 32));
        takeSizes.push_back(static_cast<uint8_t>(in.Byte() % 64 + 1));
    }
    const std::string_view text = in.Rest();

    const Split whole = Run(command, {text}, {});
    const Split pieces = Run(command, panelgrab::fuzz::SplitBySizes(text, sizes), takeSizes);
    Check(pieces.reports == whole.reports, "pieces give the reports of the whole stream");
    Check(pieces.text == whole.text, "pieces give the text of the whole stream");
    const std::vector<std::string> named = panelgrab::AnswerPrefixes(command);
    for (const std::string& report : whole.reports) {
        const std::string_view header = std::string_view(report).substr(0, report.find("\r\n"));
        Check(header.find('\n') == std::string::npos, "a report's header is one line");
        Check(header.size() <= UnsolicitedSplitter::kMaxReportLength, "a report is short");
        Check(header.size() == report.size() || UnsolicitedSplitter::IsTwoLineReport(header),
              "only message reports take a second line");
        Check(UnsolicitedSplitter::IsReport(header, named), "a report line");
        Check(!report.starts_with("+CSQ:") || command.find("+CSQ") == std::string_view::npos,
              "the command's answer stays");
        panelgrab::KeyEventOfReport(report);
    }
    Check(whole.text.size() <= text.size(), "no text is made up");
    return 0;
}
