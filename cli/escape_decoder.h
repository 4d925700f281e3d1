#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace panelgrab::cli {

// Decodes the C escapes of a command typed on the command line: \r \n \t \\ \" \' and \xHH (one
// or two hex digits; the character U+00HH, which goes on the wire as the byte HH). The result is
// UTF-8. Anything else after a backslash, a trailing backslash, or \x00 (a NUL cannot be part of
// a command) gives no value and a reason in `error`.
std::optional<std::string> DecodeEscapes(std::string_view text, std::string& error);

} // namespace panelgrab::cli
