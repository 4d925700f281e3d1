#include "cli/numbered_file_name.h"

namespace panelgrab::cli {

namespace {

constexpr int kMaxWidth = 20;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

std::optional<NumberedFileName> NumberedFileName::Parse(std::string_view pattern, std::string& error) {
    NumberedFileName name;
    int conversions = 0;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        std::string& text = conversions == 0 ? name.prefix_ : name.suffix_;
        if (pattern[i] != '%') {
            text.push_back(pattern[i]);
            continue;
        }
        const std::size_t start = i++;
        if (i < pattern.size() && pattern[i] == '%') {
            text.push_back('%');
            continue;
        }
        const bool zero = i < pattern.size() && pattern[i] == '0';
        i += zero ? 1 : 0;
        int width = 0;
        while (i < pattern.size() && IsDigit(pattern[i]) && width <= kMaxWidth) {
            width = width * 10 + (pattern[i++] - '0');
        }
        if (i >= pattern.size() || pattern[i] != 'd' || width > kMaxWidth) {
            error = "'" + std::string(pattern.substr(start, i + 1 - start)) +
                    "' is not a number conversion: use %d, %03d or the like (and %% for a percent sign)";
            return std::nullopt;
        }
        name.zeroPadded_ = zero;
        name.width_ = width;
        ++conversions;
    }
    if (conversions != 1) {
        error = "the file name pattern needs exactly one number conversion such as %03d (it has " +
                std::to_string(conversions) + ")";
        return std::nullopt;
    }
    return name;
}

std::string NumberedFileName::For(int64_t number) const {
    std::string digits = std::to_string(number);
    if (static_cast<int>(digits.size()) < width_) {
        digits.insert(0, static_cast<std::size_t>(width_) - digits.size(), zeroPadded_ ? '0' : ' ');
    }
    return prefix_ + digits + suffix_;
}

} // namespace panelgrab::cli
