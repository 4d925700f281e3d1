#include "capture/checksum_answer.h"

#include "capture/format_scan.h"

namespace panelgrab {

namespace {

constexpr std::string_view kMarker = "ZAPC: ";

// The value's text: from after the marker to the next carriage return. Without the marker the
// phone's answer is read from its sixth character, where the marker's end would be.
std::string_view ValueText(std::string_view answer) {
    const std::size_t marker = answer.find(kMarker);
    const std::size_t start = marker == std::string_view::npos ? kMarker.size() - 1 : marker + kMarker.size();
    if (start > answer.size()) {
        return {};
    }
    const std::size_t end = answer.find('\r', start);
    if (end == std::string_view::npos) {
        return {};
    }
    return answer.substr(start, end - start);
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// One hexadecimal number (optional 0X prefix) at the start of an upper-cased text.
bool ScanHex(std::string_view text, uint32_t& value) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    if (text.size() >= 2 && text[0] == '0' && text[1] == 'X') {
        if (text.size() == 2 || HexDigitValue(text[2]) < 0) {
            value = 0; // "0X" alone: the 0 is the number
            return true;
        }
        text.remove_prefix(2);
    }
    if (text.empty() || HexDigitValue(text.front()) < 0) {
        return false;
    }
    uint32_t number = 0;
    for (const char c : text) {
        const int digit = HexDigitValue(c);
        if (digit < 0) {
            break;
        }
        number = (number << 4) | static_cast<uint32_t>(digit);
    }
    value = number;
    return true;
}

} // namespace

bool ParseChecksum(std::string_view answer, int32_t& value) {
    const std::string upper = ToUpperAscii(Trimmed(ValueText(answer)));
    std::string_view text = upper;
    if (!text.empty() && text.front() == '"') {
        text.remove_prefix(1);
        if (!text.empty() && text.back() == '"') {
            text.remove_suffix(1);
        }
    }
    uint32_t number = 0;
    if (!ScanHex(text, number)) {
        return false;
    }
    value = static_cast<int32_t>(number);
    return true;
}

} // namespace panelgrab
