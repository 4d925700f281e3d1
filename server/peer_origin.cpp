#include "server/peer_origin.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace panelgrab::server {

namespace {

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

bool IsHostCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '[' || c == ']' ||
           c == ':';
}

} // namespace

std::optional<std::string> PeerOrigin(std::string_view url) {
    const std::size_t marker = url.find("://");
    if (marker == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string scheme = Lower(url.substr(0, marker));
    if (scheme != "http" && scheme != "https") {
        return std::nullopt;
    }
    std::string_view authority = url.substr(marker + 3);
    authority = authority.substr(0, authority.find_first_of("/?#"));
    // The port follows the last colon outside an IPv6 address's brackets.
    const std::size_t bracket = authority.rfind(']');
    const std::size_t colon = authority.rfind(':');
    const bool hasPort =
        colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket);
    const std::string_view host = hasPort ? authority.substr(0, colon) : authority;
    if (host.empty() || !std::all_of(host.begin(), host.end(), IsHostCharacter) ||
        (host.front() == '[') != (host.back() == ']')) {
        return std::nullopt;
    }
    std::string origin = scheme + "://" + Lower(host);
    if (hasPort) {
        const std::string_view digits = authority.substr(colon + 1);
        unsigned port = 0;
        const auto [end, failure] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
        if (digits.empty() || failure != std::errc() || end != digits.data() + digits.size() || port == 0 ||
            port > 65535) {
            return std::nullopt;
        }
        if (!(scheme == "http" && port == 80) && !(scheme == "https" && port == 443)) {
            origin += ":" + std::to_string(port);
        }
    }
    return origin;
}

} // namespace panelgrab::server
