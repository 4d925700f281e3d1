#include "server/access_rule.h"

#include <fstream>

namespace panelgrab::server {

namespace {

std::string_view Trim(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

} // namespace

std::optional<AccessRule> AccessRule::FromTokenFile(const std::string& path, std::string& error) {
    std::ifstream file(path);
    std::string line;
    if (!file || !std::getline(file, line)) {
        error = "--token-file " + path + ": the file cannot be read";
        return std::nullopt;
    }
    const std::string token(Trim(line));
    if (token.size() < 8) {
        error = "--token-file " + path + ": its first line must hold a token of 8 characters or more";
        return std::nullopt;
    }
    return AccessRule(token);
}

bool AccessRule::Matches(std::string_view offered) const {
    // Every character is compared, so the time taken tells nothing about where they differ.
    unsigned difference = offered.size() == token_.size() ? 0 : 1;
    for (std::size_t i = 0; i < token_.size(); ++i) {
        difference |= static_cast<unsigned char>(token_[i]) ^
                      static_cast<unsigned char>(i < offered.size() ? offered[i] : 0);
    }
    return difference == 0;
}

bool AccessRule::Admits(std::string_view authorization, std::string_view cookies) const {
    if (!NeedsToken()) {
        return true;
    }
    constexpr std::string_view kBearer = "Bearer ";
    if (authorization.substr(0, kBearer.size()) == kBearer &&
        Matches(Trim(authorization.substr(kBearer.size())))) {
        return true;
    }
    const std::string_view cookie = CookieValue(cookies, kCookieName);
    return !cookie.empty() && Matches(cookie);
}

std::string AccessRule::CookieFor(std::string_view token) const {
    return std::string(kCookieName) + "=" + std::string(token) + "; Path=/; HttpOnly; SameSite=Strict";
}

std::string_view CookieValue(std::string_view cookies, std::string_view name) {
    while (!cookies.empty()) {
        const std::size_t end = cookies.find(';');
        const std::string_view pair = Trim(cookies.substr(0, end));
        if (pair.size() > name.size() && pair.substr(0, name.size()) == name && pair[name.size()] == '=') {
            return pair.substr(name.size() + 1);
        }
        if (end == std::string_view::npos) {
            break;
        }
        cookies.remove_prefix(end + 1);
    }
    return {};
}

} // namespace panelgrab::server
