#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace panelgrab {

// One line of a recorded serial session: when, which way, and the bytes. The file format, written
// by the session recorder and read by the simulated phone's replay, is described in
// docs/SESSIONS.md:
//   12.345 > AT+CGMM\r
//   12.351 < AT+CGMM\r\r\nPANELSIM-P200\r\n\r\nOK\r\n
// Lines that begin with '#' and empty lines are comments.
struct SessionRecord {
    enum class Direction : char { Sent = '>', Answer = '<', Unsolicited = '!' };

    int64_t ms = 0; // since the recording began
    Direction direction = Direction::Sent;
    std::string bytes; // as on the line

    friend bool operator==(const SessionRecord&, const SessionRecord&) = default;
};

// The bytes as one line of printable ASCII: CR, LF and tab as \r \n \t, a backslash as \\, every
// other byte below 0x20 or from 0x7F on as \xHH, and a space at the end as \x20 (so that an editor
// that trims lines changes nothing).
std::string EscapeSessionBytes(std::string_view bytes);
// The reverse; none for an unknown escape or a malformed \xHH.
std::optional<std::string> UnescapeSessionBytes(std::string_view text);

// "SECONDS.MMM D ESCAPED" (no line end).
std::string FormatSessionRecord(const SessionRecord& record);
// One line of a session file: true with `record` set; false for a comment or empty line (`error`
// empty) or a malformed line (`error` says what is wrong).
bool ParseSessionRecord(std::string_view line, SessionRecord& record, std::string& error);

} // namespace panelgrab
