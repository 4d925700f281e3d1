#include "transport/at/terminator_scanner.h"

#include <algorithm>

namespace panelgrab {
namespace {

constexpr std::string_view kErrorAnswer = "ERROR\r\n";

} // namespace

TerminatorScanner::TerminatorScanner(std::string_view terminator, std::size_t earliestStart,
                                     std::size_t minimumLength)
    : terminator_(terminator), earliestStart_(earliestStart), minimumLength_(minimumLength) {}

TerminatorScanner::Found TerminatorScanner::Feed(std::string_view chunk) {
    window_.append(chunk);
    total_ += chunk.size();
    if (total_ >= minimumLength_) {
        const std::size_t from = earliestStart_ > windowStart_ ? earliestStart_ - windowStart_ : 0;
        if (from <= window_.size() && window_.find(terminator_, from) != std::string::npos) {
            return Found::Terminator;
        }
    }
    if (window_.find(kErrorAnswer) != std::string::npos) {
        return Found::ErrorAnswer;
    }
    // A match not found yet must end in a later chunk, so it starts within the last (length - 1)
    // characters. While the terminator is not looked for yet, the stream is shorter than the tail.
    const std::size_t keep = std::max(terminator_.size(), kErrorAnswer.size()) - 1;
    if (window_.size() > keep && total_ >= minimumLength_) {
        const std::size_t drop = window_.size() - keep;
        window_.erase(0, drop);
        windowStart_ += drop;
    }
    return Found::Nothing;
}

} // namespace panelgrab
