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

} // namespace panelgrab
