// The session file's records: bytes escaped into one printable line and back, times and directions,
// and the lines a hand-edited file may get wrong.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "common/session_record.h"

namespace panelgrab {
namespace {

using Direction = SessionRecord::Direction;

TEST(SessionRecord, BytesRoundTripThroughOnePrintableLine) {
    const std::pair<std::string, const char*> cases[] = {
        // bytes, and the line they make
        {"AT+CGMM\r", "AT+CGMM\\r"},
        {"AT\r\r\nOK\r\n", "AT\\r\\r\\nOK\\r\\n"},
        {"a\tb\\c", "a\\tb\\\\c"},
        {std::string("\0\x01\x1f\x7f", 4), "\\x00\\x01\\x1F\\x7F"},
        {"\xe9\xff caf\xe9", "\\xE9\\xFF caf\\xE9"}, // Latin-1 as on the wire
        {"+CMGS: \"x y\" ", "+CMGS: \"x y\"\\x20"},  // a trailing space survives trimming
        {"", ""},
    };
    for (const auto& [bytes, escaped] : cases) {
        EXPECT_EQ(EscapeSessionBytes(bytes), escaped);
        EXPECT_EQ(UnescapeSessionBytes(escaped), bytes) << escaped;
    }
    for (const char* bad : {"\\", "AT\\q", "\\x4", "\\xG0", "end\\x"}) {
        EXPECT_FALSE(UnescapeSessionBytes(bad).has_value()) << bad;
    }
}

TEST(SessionRecord, LinesParseAsTheyAreWritten) {
    const struct {
        const char* line;
        bool record;
        SessionRecord expected;
        const char* error; // for a line that is neither a record nor a comment
    } cases[] = {
        {"0.499 > AT\\r", true, {499, Direction::Sent, "AT\r"}, ""},
        {"12.030 < OK\\r\\n", true, {12030, Direction::Answer, "OK\r\n"}, ""},
        {"3600.001 ! +CKEV: 5,1", true, {3600001, Direction::Unsolicited, "+CKEV: 5,1"}, ""},
        {"1.000 <", true, {1000, Direction::Answer, ""}, ""},
        {"1.000 > AT\\r\r", true, {1000, Direction::Sent, "AT\r"}, ""}, // saved with CR LF line ends
        {"# panelgrab session: /dev/ttyACM0", false, {}, ""},
        {"", false, {}, ""},
        {"1.5 > AT", false, {}, "three decimals"},
        {".500 > AT", false, {}, "three decimals"},
        {"-1.000 > AT", false, {}, "three decimals"},
        {"1.0a0 > AT", false, {}, "three decimals"},
        {"1.000 ? AT", false, {}, "'>', '<' or '!'"},
        {"1.000 >AT", false, {}, "'>', '<' or '!'"},
        {"1.000", false, {}, "'>', '<' or '!'"},
        {"1.000 > AT\\z", false, {}, "a backslash must begin"},
    };
    for (const auto& c : cases) {
        SessionRecord record;
        std::string error;
        EXPECT_EQ(ParseSessionRecord(c.line, record, error), c.record) << c.line;
        if (c.record) {
            EXPECT_EQ(record, c.expected) << c.line;
            EXPECT_EQ(FormatSessionRecord(record) + (std::string(c.line).ends_with("\r") ? "\r" : ""),
                      c.line);
        }
        EXPECT_NE(error.find(c.error), std::string::npos) << c.line << ": " << error;
        EXPECT_EQ(error.empty(), std::string(c.error).empty()) << c.line << ": " << error;
    }
}

} // namespace
} // namespace panelgrab
