#include "common/session_record.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>

namespace panelgrab {
namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// "12.345" (digits, a point, three digits) as milliseconds.
std::optional<int64_t> ParseTime(std::string_view text) {
    const std::size_t point = text.find('.');
    if (point == std::string_view::npos || point == 0 || text.size() != point + 4) {
        return std::nullopt;
    }
    int64_t seconds = 0;
    int64_t fraction = 0;
    const char* end = text.data() + point;
    if (std::from_chars(text.data(), end, seconds).ptr != end || seconds < 0) {
        return std::nullopt;
    }
    const std::string_view millis = text.substr(point + 1);
    for (char c : millis) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        fraction = fraction * 10 + (c - '0');
    }
    if (seconds > INT64_MAX / 1000 - 1) {
        return std::nullopt;
    }
    return seconds * 1000 + fraction;
}

bool ParseDirection(char c, SessionRecord::Direction& direction) {
    switch (c) {
    case '>':
    case '<':
    case '!':
        direction = static_cast<SessionRecord::Direction>(c);
        return true;
    default:
        return false;
    }
}

} // namespace

std::string EscapeSessionBytes(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + 8);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (c < 0x20 || c >= 0x7F || (c == ' ' && i + 1 == bytes.size())) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            out += escaped;
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out;
}

std::optional<std::string> UnescapeSessionBytes(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out.push_back(text[i]);
            continue;
        }
        if (++i >= text.size()) {
            return std::nullopt;
        }
        switch (text[i]) {
        case 'r':
            out.push_back('\r');
            break;
        case 'n':
            out.push_back('\n');
            break;
        case 't':
            out.push_back('\t');
            break;
        case '\\':
            out.push_back('\\');
            break;
        case 'x': {
            const int high = i + 1 < text.size() ? HexValue(text[i + 1]) : -1;
            const int low = i + 2 < text.size() ? HexValue(text[i + 2]) : -1;
            if (high < 0 || low < 0) {
                return std::nullopt;
            }
            out.push_back(static_cast<char>(high * 16 + low));
            i += 2;
            break;
        }
        default:
            return std::nullopt;
        }
    }
    return out;
}

std::string FormatSessionRecord(const SessionRecord& record) {
    char time[32];
    std::snprintf(time, sizeof time, "%lld.%03lld", static_cast<long long>(record.ms / 1000),
                  static_cast<long long>(record.ms % 1000));
    std::string line = std::string(time) + " " + static_cast<char>(record.direction);
    if (!record.bytes.empty()) {
        line += " " + EscapeSessionBytes(record.bytes);
    }
    return line;
}

bool ParseSessionRecord(std::string_view line, SessionRecord& record, std::string& error) {
    error.clear();
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1); // a file saved with Windows line ends
    }
    if (line.empty() || line.front() == '#') {
        return false;
    }
    const std::size_t space = line.find(' ');
    const std::optional<int64_t> ms = ParseTime(line.substr(0, space));
    if (!ms) {
        error = "expected a time in seconds with three decimals (12.345) at the start";
        return false;
    }
    SessionRecord parsed;
    parsed.ms = *ms;
    if (space + 2 > line.size() || !ParseDirection(line[space + 1], parsed.direction) ||
        (space + 2 < line.size() && line[space + 2] != ' ')) {
        error = "expected '>', '<' or '!' after the time";
        return false;
    }
    const std::string_view text = space + 3 <= line.size() ? line.substr(space + 3) : std::string_view();
    std::optional<std::string> bytes = UnescapeSessionBytes(text);
    if (!bytes) {
        error = "a backslash must begin \\r, \\n, \\t, \\\\ or \\xHH";
        return false;
    }
    parsed.bytes = std::move(*bytes);
    record = std::move(parsed);
    return true;
}

} // namespace panelgrab
