#pragma once

#include <string>
#include <string_view>

namespace panelgrab::server {

// Keys a client may send: the keypad characters of AT+CKPD (digits, * #, letters for the named keys,
// < > [ ] ^ : ; @ % =). The phone library sends the text unescaped inside quotes, so anything else
// (a quote, CR, a second command) must never reach it.
inline constexpr std::string_view kKeypadCharacters = "0123456789*#<>[]^:;@%=ABCDEFLMPQRSTUVWXYZ";
inline constexpr std::size_t kMaxKeyTextLength = 64;
// AT+CKPD counts its times in tenths of a second, up to 255.
inline constexpr int kMaxPressMs = 25500;

// Empty when `keys` may be pressed, else why not.
std::string KeyTextProblem(std::string_view keys);

} // namespace panelgrab::server
