#include "capture/picture_text.h"

#include <limits>

#include "capture/format_scan.h"

namespace panelgrab {

namespace {

// Where an answer's payload starts: after the first ':' and the blank that follows it.
std::size_t PayloadStart(std::string_view answer) {
    const std::size_t colon = answer.find(':');
    return colon == std::string_view::npos ? answer.size() : colon + 2;
}

} // namespace

uint32_t ExtractPixelLine(std::string_view answer, char* dest, uint32_t room) {
    uint32_t stored = 0;
    for (std::size_t at = PayloadStart(answer); at < answer.size() && answer[at] != '\r'; ++at) {
        if (stored == room) {
            break;
        }
        dest[stored++] = answer[at];
    }
    return stored;
}

bool IsLongListForm(std::string_view answer) {
    const std::string upper = ToUpperAscii(answer);
    if (upper.find("ERROR") != std::string::npos) {
        return false;
    }
    std::string_view rest = upper;
    for (const char separator : {':', ','}) {
        const std::size_t at = rest.find(separator);
        if (at == std::string_view::npos) {
            return false;
        }
        rest.remove_prefix(at + 1);
    }
    const std::size_t third = rest.find(',');
    if (third == std::string_view::npos) {
        return false;
    }
    int32_t ignored = 0;
    return ScanDecimals(rest.substr(third), ", %d", &ignored, 1) == 1;
}

BulkHarvest HarvestBulkText(std::string_view text, bool first, char* data, uint32_t capacity,
                            uint32_t& received) {
    std::size_t at = 0;
    // An echoing phone sends its refusal only after the echo line: an "ERROR" before any digit is a
    // refusal too, not a picture of one digit.
    if ((first || received == 0) && text.find("ERROR") != std::string_view::npos) {
        return BulkHarvest::Error;
    }
    if (first) {
        at = PayloadStart(text);
    }
    uint32_t n = received;
    for (; at < text.size(); ++at) {
        const char c = text[at];
        if (IsHexDigit(c)) {
            if (n < capacity) {
                data[n] = c;
            }
            if (n < std::numeric_limits<uint32_t>::max()) {
                ++n;
            }
        } else if (c == 'O') {
            received = n;
            return BulkHarvest::Done;
        }
    }
    received = n;
    return BulkHarvest::More;
}

} // namespace panelgrab
