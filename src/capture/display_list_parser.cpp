#include "capture/display_list_parser.h"

#include "capture/format_scan.h"

namespace panelgrab {

namespace {

constexpr std::string_view kLongForm = ": %d, %d, %d, (%d - %d), %d, %d, %d";
// The third group really is "(&d)": the phone's short form carries a third value we never read.
constexpr std::string_view kShortForm = ": (%d),(%d),(&d)";

DisplayInfo LongFormEntry(int32_t height, int32_t width, int32_t bitsPerPixel, uint16_t number) {
    const auto w = static_cast<uint16_t>(width);
    return DisplayInfo(w, static_cast<uint16_t>(height), static_cast<uint8_t>(bitsPerPixel), 8u * w, number);
}

} // namespace

bool AnswerReportsError(std::string_view answer) {
    return ToUpperAscii(answer).find("ERROR") != std::string::npos;
}

DisplayList ParseZisiDisplayList(std::string_view answer) {
    DisplayList list;
    const std::size_t colon = answer.find(':');
    if (colon == std::string_view::npos) {
        return list;
    }
    const std::string_view text = answer.substr(colon);
    int32_t n[8] = {};
    std::size_t count = ScanDecimals(text, kLongForm, n, 8);
    if (count == 0) {
        count = ScanDecimals(text, kShortForm, n, 8);
    }
    switch (count) {
    case 2: {
        const auto w = static_cast<uint16_t>(n[1]);
        list.emplace_back(w, static_cast<uint16_t>(n[0]), uint8_t{16}, 4u * w, uint16_t{0});
        break;
    }
    case 3:
    case 5:
        list.push_back(LongFormEntry(n[0], n[1], n[2], 0));
        break;
    case 8:
        list.push_back(LongFormEntry(n[0], n[1], n[2], 0));
        list.push_back(LongFormEntry(n[5], n[6], n[7], 1));
        break;
    default:
        // A partial description names no display we could read.
        break;
    }
    return list;
}

std::array<uint32_t, 6> ParseZipiGroups(std::string_view answer) {
    std::array<uint32_t, 6> groups{};
    std::size_t at = 0;
    for (uint32_t& group : groups) {
        while (at < answer.size() && (answer[at] < '0' || answer[at] > '9')) {
            ++at;
        }
        uint32_t value = 0;
        while (at < answer.size() && answer[at] >= '0' && answer[at] <= '9') {
            value = value * 10u + static_cast<uint32_t>(answer[at] - '0');
            ++at;
        }
        group = value;
    }
    return groups;
}

ZipiSize ZipiDisplaySize(const std::array<uint32_t, 6>& groups) {
    // Lines first (first, last), then columns (first, last).
    return ZipiSize{groups[3] + 1u, groups[1] + 1u};
}

DisplayInfo ZipiDisplayEntry(ZipiSize size, uint32_t lineCharacters) {
    const auto width = static_cast<uint16_t>(size.width);
    const auto height = static_cast<uint16_t>(size.height);
    if (size.width == 128 && size.height == 160) {
        return DisplayInfo(width, height, 16, 512, 0);
    }
    // A zero width (a range that wrapped) has no pixels to measure.
    const uint32_t bits = size.width == 0 ? 0 : (lineCharacters * 4u) / size.width;
    return DisplayInfo(width, height, static_cast<uint8_t>(bits), lineCharacters, 0);
}

} // namespace panelgrab
