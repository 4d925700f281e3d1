#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace panelgrab::server {

// Who may use the API: anyone (no token), or whoever shows the token, as "Authorization: Bearer
// TOKEN" or in the page's cookie.
class AccessRule {
public:
    static constexpr std::string_view kCookieName = "panelgrab_token";

    AccessRule() = default;
    explicit AccessRule(std::string token) : token_(std::move(token)) {}

    // Reads the token from the first line of `path`. None with a message when the file cannot be
    // read or holds no token.
    static std::optional<AccessRule> FromTokenFile(const std::string& path, std::string& error);

    bool NeedsToken() const { return !token_.empty(); }
    bool Matches(std::string_view offered) const;
    // True when no token is needed or the headers carry the right one.
    bool Admits(std::string_view authorization, std::string_view cookies) const;
    // The Set-Cookie value that keeps the token in the browser, out of the page's scripts' reach.
    std::string CookieFor(std::string_view token) const;

private:
    std::string token_;
};

// The value of cookie `name` in a Cookie header; empty when absent.
std::string_view CookieValue(std::string_view cookies, std::string_view name);

} // namespace panelgrab::server
