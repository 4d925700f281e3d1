#include "background/key_report_parser.h"

#include "common/text_codec.h"

namespace panelgrab {
namespace {

constexpr std::string_view kMarker = "+CKEV:";
constexpr std::string_view kWhiteSpace = " \t\n\v\f\r";

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

std::optional<KeyEvent> KeyEventOfReport(std::string_view line) {
    if (!line.starts_with(kMarker)) {
        return std::nullopt;
    }
    return ParseKeyReport(line.substr(kMarker.size()));
}

} // namespace panelgrab
