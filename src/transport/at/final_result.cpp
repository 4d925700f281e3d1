#include "transport/at/final_result.h"

#include "common/ascii_text.h"

namespace panelgrab {
namespace {

std::string_view Trimmed(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) {
        line.remove_suffix(1);
    }
    while (!line.empty() && (line.front() == '\r' || line.front() == ' ')) {
        line.remove_prefix(1);
    }
    return line;
}

} // namespace

FinalResult ClassifyFinalLine(std::string_view line) {
    line = Trimmed(line);
    if (line == "OK") {
        return FinalResult::Ok;
    }
    for (const std::string_view error : {"ERROR", "NO CARRIER", "BUSY", "NO ANSWER", "NO DIALTONE"}) {
        if (line == error) {
            return FinalResult::Error;
        }
    }
    for (const std::string_view prefix : {"+CME ERROR:", "+CMS ERROR:"}) {
        if (StartsWithIgnoringCase(line, prefix)) {
            return FinalResult::Error;
        }
    }
    return FinalResult::None;
}

bool FinalResultScanner::Feed(std::string_view piece) {
    while (result_ == FinalResult::None && !piece.empty()) {
        const std::size_t end = piece.find('\n');
        const std::string_view part = piece.substr(0, end);
        if (!overlong_) {
            current_.append(
                part.substr(0, kLongestFinalLine + 1 - std::min(current_.size(), kLongestFinalLine + 1)));
            overlong_ = current_.size() > kLongestFinalLine;
        }
        if (end == std::string_view::npos) {
            return false;
        }
        piece.remove_prefix(end + 1);
        if (!overlong_) {
            result_ = ClassifyFinalLine(current_);
            if (result_ != FinalResult::None) {
                finalLine_ = std::string(Trimmed(current_));
            }
        }
        current_.clear();
        overlong_ = false;
    }
    return result_ != FinalResult::None;
}

} // namespace panelgrab
