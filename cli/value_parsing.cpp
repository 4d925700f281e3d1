#include "cli/value_parsing.h"

#include <charconv>
#include <cmath>
#include <vector>

namespace panelgrab::cli {

namespace {

constexpr int64_t kMaxCoordinate = 65535; // the phone and the local checksum use 16-bit coordinates

std::vector<std::string_view> SplitAtCommas(std::string_view text) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string_view::npos) {
            parts.push_back(text.substr(start));
            return parts;
        }
        parts.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
}

} // namespace

std::optional<int64_t> ParseInteger(std::string_view text, int64_t min, int64_t max) {
    if (text.empty() || text.front() == '+') {
        return std::nullopt;
    }
    int64_t value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || value < min || value > max) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> ParseSeconds(std::string_view text) {
    if (text.empty() || text.front() == '-' || text.front() == '+') {
        return std::nullopt;
    }
    double value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value, std::chars_format::fixed);
    if (ec != std::errc() || ptr != end || !std::isfinite(value) || value < 0) {
        return std::nullopt;
    }
    return value;
}

std::optional<DisplayRegion> ParseRegion(std::string_view text, std::string& error) {
    std::vector<std::string_view> parts = SplitAtCommas(text);
    if (parts.size() != 4) {
        error = "a region is four numbers L,T,R,B";
        return std::nullopt;
    }
    int32_t values[4] = {};
    for (std::size_t i = 0; i < 4; ++i) {
        std::optional<int64_t> value = ParseInteger(parts[i], 0, kMaxCoordinate);
        if (!value) {
            error = "region coordinate '" + std::string(parts[i]) + "' is not a number from 0 to 65535";
            return std::nullopt;
        }
        values[i] = static_cast<int32_t>(*value);
    }
    DisplayRegion region{values[0], values[1], values[2], values[3]};
    if (region.left > region.right || region.top > region.bottom) {
        error = "region is empty: left must not exceed right, nor top bottom";
        return std::nullopt;
    }
    return region;
}

} // namespace panelgrab::cli
