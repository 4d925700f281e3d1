#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "tasks/key_report_parser.h"

namespace panelgrab {

void PrintTo(const KeyEvent& event, std::ostream* os) {
    *os << (event.pressed ? "pressed " : "released ") << testing::PrintToString(event.key);
}

namespace {

using Events = std::vector<KeyEvent>;

KeyEvent Pressed(std::string key) {
    return {std::move(key), true};
}
KeyEvent Released(std::string key) {
    return {std::move(key), false};
}

TEST(KeyReportParser, OneReportLine) {
    const struct {
        const char* body;
        KeyEvent expected;
    } cases[] = {
        {"5,1", Pressed("5")},
        {"5,0", Released("5")},
        {"5,2", Released("5")},        // only "1" is a press
        {"  \t#,1", Pressed("#")},     // leading white space goes
        {"a b ,1", Pressed("a b ")},   // trailing characters stay
        {"\",\",1", Pressed("\",\"")}, // a key holding a comma is delivered whole
        {"1,2,3,1", Pressed("1,2,3")},
        {"1", Pressed("")}, // no comma: empty key, direction from the first character
        {"", Released("")},
        {"5,", Released("5")},
        {"\xE9,1", Pressed("\xC3\xA9")}, // Latin-1 from the wire becomes UTF-8
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseKeyReport(c.body), c.expected) << testing::PrintToString(c.body);
    }
}

// Each stream fed whole and then one byte at a time gives the same events in order.
TEST(KeyReportParser, StreamsWholeAndByteByByte) {
    const struct {
        std::string stream;
        Events expected;
    } cases[] = {
        {"+CKEV: 1\r\n+CKEV: 0\r\n", {Pressed(""), Released("")}},
        {"\r\n+CKEV: 5,1\r\n\r\n+CKEV: 5,0\r\n+CKEV: *,1\r\n+CKEV: *,0\r\n",
         {Pressed("5"), Released("5"), Pressed("*"), Released("*")}},
        // Text around the reports is ignored.
        {"AT+CKPD=\"5\"\r\r\nOK\r\n\r\n+CKEV: 5,1\r\nRING\r\n\r\nOK\r\n", {Pressed("5")}},
        {"", {}},
    };
    for (const auto& c : cases) {
        KeyReportParser whole;
        EXPECT_EQ(whole.Feed(c.stream), c.expected) << testing::PrintToString(c.stream);
        KeyReportParser bytes;
        Events events;
        for (const char ch : c.stream) {
            for (KeyEvent& e : bytes.Feed(std::string(1, ch))) {
                events.push_back(std::move(e));
            }
        }
        EXPECT_EQ(events, c.expected) << testing::PrintToString(c.stream);
    }
}

TEST(KeyReportParser, ReportSplitAcrossReadsIsDeliveredOnce) {
    // Every split position of two reports, so the marker, the key, the comma and the line end are
    // each cut once.
    const std::string stream = "\r\n+CKEV: 12,1\r\n\r\n+CKEV: 12,0\r\n";
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        KeyReportParser parser;
        Events events = parser.Feed(stream.substr(0, cut));
        const Events rest = parser.Feed(stream.substr(cut));
        events.insert(events.end(), rest.begin(), rest.end());
        EXPECT_EQ(events, (Events{Pressed("12"), Released("12")})) << "cut at " << cut;
    }
}

TEST(KeyReportParser, EndlessLineIsDroppedAndLaterReportsStillArrive) {
    KeyReportParser parser;
    EXPECT_TRUE(parser.Feed("+CKEV: ").empty());
    for (int i = 0; i < 100; ++i) {
        EXPECT_TRUE(parser.Feed(std::string(100, 'x')).empty());
    }
    EXPECT_EQ(parser.Feed("\r\n+CKEV: 9,1\r\n"), Events{Pressed("9")});
}

} // namespace
} // namespace panelgrab
