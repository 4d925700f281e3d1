#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace panelgrab::server {

// One phone the server serves: its name in the API, its port as the command line names it (a
// device, tcp://, rfc2217://, sim or sim:OPTIONS) and the line's rate.
struct PhoneConfig {
    std::string name;
    std::string port;
    int32_t baud = 115200;
};

// Names are what a URL path segment holds without escaping: letters, digits, '-', '_' and '.'.
bool IsValidPhoneName(std::string_view name);

// Parses "NAME=PORT[@BAUD]". Only the first '=' separates (simulator options hold '='), and only a
// trailing "@DIGITS" is a rate. None with a reason in `error`.
std::optional<PhoneConfig> ParsePhoneConfig(std::string_view text, std::string& error);

} // namespace panelgrab::server
