#pragma once

#include <string>
#include <string_view>
#include <vector>

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

// Turns the text of successive port reads into key events. Every report is delivered once, in
// order, also when one read brings several reports or a report is split across reads.
class KeyReportParser {
public:
    // Longest unfinished text kept between reads. A report is a few characters; anything longer
    // without a line end is noise and is dropped rather than kept without bound.
    static constexpr std::size_t kMaxPending = 1024;

    // Adds the 8-bit text of one read; returns the reports it completed.
    std::vector<KeyEvent> Feed(std::string_view text);

private:
    std::string pending_;
};

} // namespace panelgrab
