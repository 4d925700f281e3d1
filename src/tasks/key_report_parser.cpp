#include "tasks/key_report_parser.h"

#include <algorithm>

#include "phone/text_codec.h"

namespace panelgrab {
namespace {

constexpr std::string_view kMarker = "+CKEV: ";
constexpr std::string_view kWhiteSpace = " \t\n\v\f\r";
constexpr std::string_view kLineEnds = "\r\n";

} // namespace

KeyEvent ParseKeyReport(std::string_view body) {
    KeyEvent event;
    const auto comma = body.rfind(',');
    std::string_view key;
    std::size_t pressAt = 0;
    if (comma != std::string_view::npos) {
        key = body.substr(0, comma);
        pressAt = comma + 1;
        const auto first = key.find_first_not_of(kWhiteSpace);
        key = first == std::string_view::npos ? std::string_view() : key.substr(first);
    }
    event.key = FromNarrow(key);
    event.pressed = pressAt < body.size() && body[pressAt] == '1';
    return event;
}

std::vector<KeyEvent> KeyReportParser::Feed(std::string_view text) {
    pending_.append(text);
    std::vector<KeyEvent> events;
    std::size_t consumed = 0;
    for (;;) {
        const auto marker = pending_.find(kMarker, consumed);
        if (marker == std::string::npos) {
            // Keep only what could be the start of a marker split by the read boundary.
            const std::size_t keep = std::min(pending_.size() - consumed, kMarker.size() - 1);
            consumed = pending_.size() - keep;
            break;
        }
        const std::size_t bodyStart = marker + kMarker.size();
        const auto lineEnd = pending_.find_first_of(kLineEnds, bodyStart);
        if (lineEnd == std::string::npos) {
            consumed = marker; // the report's line end comes with a later read
            break;
        }
        events.push_back(ParseKeyReport(std::string_view(pending_).substr(bodyStart, lineEnd - bodyStart)));
        consumed = lineEnd;
    }
    pending_.erase(0, consumed);
    if (pending_.size() > kMaxPending) {
        pending_.clear();
    }
    return events;
}

} // namespace panelgrab
