#include "capture/format_scan.h"

#include <algorithm>
#include <limits>

namespace panelgrab {

namespace {

std::size_t SkipBlanks(std::string_view text, std::size_t at) {
    while (at < text.size() && IsBlank(text[at])) {
        ++at;
    }
    return at;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Converts a signed decimal at `at` (after white space). False when no digit follows.
bool ConvertDecimal(std::string_view text, std::size_t& at, int32_t& value) {
    std::size_t pos = SkipBlanks(text, at);
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    if (pos >= text.size() || !IsDigit(text[pos])) {
        return false;
    }
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    int64_t magnitude = 0;
    while (pos < text.size() && IsDigit(text[pos])) {
        magnitude = std::min<int64_t>(magnitude * 10 + (text[pos] - '0'), kLimit);
        ++pos;
    }
    const int64_t signedValue = negative ? -magnitude : std::min<int64_t>(magnitude, kLimit - 1);
    value = static_cast<int32_t>(signedValue);
    at = pos;
    return true;
}

} // namespace

bool IsBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

std::size_t ScanDecimals(std::string_view text, std::string_view pattern, int32_t* values,
                         std::size_t capacity) {
    std::size_t converted = 0;
    std::size_t at = 0;
    for (std::size_t p = 0; p < pattern.size(); ++p) {
        const char expected = pattern[p];
        if (IsBlank(expected)) {
            at = SkipBlanks(text, at);
        } else if (expected == '%' && p + 1 < pattern.size() && pattern[p + 1] == 'd') {
            ++p;
            int32_t value = 0;
            if (!ConvertDecimal(text, at, value)) {
                break;
            }
            if (converted < capacity) {
                values[converted] = value;
            }
            ++converted;
        } else {
            if (at >= text.size() || text[at] != expected) {
                break;
            }
            ++at;
        }
    }
    return converted;
}

} // namespace panelgrab
