#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace panelgrab {

// One key event as the phone reports it with "+CKEV: key,press".
struct KeyEvent {
    std::string key; // UTF-8, as the phone names the key
    bool pressed = false;

    bool operator==(const KeyEvent&) const = default;
};

// The event of one report line: `body` is the text after "+CKEV: " up to, not including, the line
// end. The key is the text up to the last comma with leading white space removed; the press value
// is the character after that comma ("1" pressed, anything else released). Without a comma the key
// is empty and the press value is the first character.
KeyEvent ParseKeyReport(std::string_view body);

// The key event of an unsolicited report line ("+CKEV: 5,1", without its line end); none for any
// other report.
std::optional<KeyEvent> KeyEventOfReport(std::string_view line);

} // namespace panelgrab
