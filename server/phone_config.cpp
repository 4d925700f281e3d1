#include "server/phone_config.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "session/ports.h"

namespace panelgrab::server {

namespace {

constexpr std::size_t kMaxNameLength = 64;

bool AllDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(),
                                        [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

} // namespace

bool IsValidPhoneName(std::string_view name) {
    if (name.empty() || name.size() > kMaxNameLength || name == "." || name == "..") {
        return false;
    }
    return std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.';
    });
}

std::optional<PhoneConfig> ParsePhoneConfig(std::string_view text, std::string& error) {
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos) {
        error = "expected NAME=PORT[@BAUD]";
        return std::nullopt;
    }
    PhoneConfig entry;
    entry.name = std::string(text.substr(0, equals));
    if (!IsValidPhoneName(entry.name)) {
        error = "the name \"" + entry.name + "\" is not 1 to 64 letters, digits, '-', '_' or '.'";
        return std::nullopt;
    }
    std::string_view port = text.substr(equals + 1);
    if (const std::size_t at = port.rfind('@');
        at != std::string_view::npos && AllDigits(port.substr(at + 1))) {
        const std::string_view digits = port.substr(at + 1);
        int32_t baud = 0;
        const auto [end, failure] = std::from_chars(digits.data(), digits.data() + digits.size(), baud);
        std::string why;
        if (failure != std::errc() || end != digits.data() + digits.size() ||
            !IsSettableBaudRate(baud, why)) {
            error = "the rate " + std::string(digits) + " cannot be used" + (why.empty() ? "" : ": " + why);
            return std::nullopt;
        }
        entry.baud = baud;
        port = port.substr(0, at);
    }
    if (port.empty()) {
        error = "no port after \"" + entry.name + "=\"";
        return std::nullopt;
    }
    entry.port = std::string(port);
    return entry;
}

} // namespace panelgrab::server
