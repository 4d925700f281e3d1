#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "tasks/key_report_parser.h"

namespace panelgrab {
namespace {} // namespace

void PrintTo(const KeyEvent& event, std::ostream* os) {
    *os << (event.pressed ? "pressed " : "released ") << testing::PrintToString(event.key);
}

namespace {

KeyEvent Pressed(std::string key) {
    return {std::move(key), true};
}
KeyEvent Released(std::string key) {
    return {std::move(key), false};
}

TEST(KeyReportParser, OneReportLine) {
    struct Case {
        const char* body;
        KeyEvent expected;
    };
    const Case cases[] = {
        {"5,1", Pressed("5")},
        {"5,0", Released("5")},
        {"5,2", Released("5")},        // only "1" is a press
        {"  \t#,1", Pressed("#")},     // leading white space goes
        {"a b ,1", Pressed("a b ")},   // trailing characters stay
        {"\",\",1", Pressed("\",\"")}, // a key holding a comma is delivered whole
        {"1,2,3,1", Pressed("1,2,3")},
        {"1", Pressed("")}, // no comma: empty key, direction from the first character
        {"1x", Pressed("")},
        {"0", Released("")},
        {"", Released("")},
        {"5,", Released("5")},
        {"\xE9,1", Pressed("\xC3\xA9")}, // Latin-1 from the wire becomes UTF-8
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseKeyReport(c.body), c.expected) << testing::PrintToString(c.body);
    }
}

TEST(KeyReportParser, ReportWithoutCommaThroughTheStream) {
    KeyReportParser parser;
    EXPECT_EQ(parser.Feed("+CKEV: 1\r\n+CKEV: 0\r\n"), (std::vector<KeyEvent>{Pressed(""), Released("")}));
}

TEST(KeyReportParser, ReadsWithSeveralReportsDeliverEachInOrder) {
    KeyReportParser parser;
    const std::vector<KeyEvent> expected{Pressed("5"), Released("5"), Pressed("*"), Released("*")};
    EXPECT_EQ(parser.Feed("\r\n+CKEV: 5,1\r\n\r\n+CKEV: 5,0\r\n+CKEV: *,1\r\n+CKEV: *,0\r\n"), expected);
}

TEST(KeyReportParser, TextAroundReportsIsIgnored) {
    KeyReportParser parser;
    EXPECT_EQ(parser.Feed("AT+CKPD=\"5\"\r\r\nOK\r\n\r\n+CKEV: 5,1\r\nRING\r\n"),
              std::vector<KeyEvent>{Pressed("5")});
    EXPECT_TRUE(parser.Feed("\r\nOK\r\n").empty());
    EXPECT_TRUE(parser.Feed("").empty());
}

TEST(KeyReportParser, ReportSplitAcrossReadsIsDeliveredOnce) {
    // Every split position of two reports, so the marker, the key, the comma and the line end are
    // each cut once.
    const std::string stream = "\r\n+CKEV: 12,1\r\n\r\n+CKEV: 12,0\r\n";
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        KeyReportParser parser;
        std::vector<KeyEvent> events = parser.Feed(stream.substr(0, cut));
        const std::vector<KeyEvent> rest = parser.Feed(stream.substr(cut));
        events.insert(events.end(), rest.begin(), rest.end());
        EXPECT_EQ(events, (std::vector<KeyEvent>{Pressed("12"), Released("12")})) << "cut at " << cut;
    }
}

TEST(KeyReportParser, ByteByByteDeliveryKeepsEveryReport) {
    const std::string stream = "+CKEV: 1,1\r\n+CKEV: 2,1\r\n+CKEV: 2,0\r\n+CKEV: 1,0\r\n";
    KeyReportParser parser;
    std::vector<KeyEvent> events;
    for (char c : stream) {
        for (KeyEvent& e : parser.Feed(std::string(1, c))) {
            events.push_back(std::move(e));
        }
    }
    EXPECT_EQ(events, (std::vector<KeyEvent>{Pressed("1"), Pressed("2"), Released("2"), Released("1")}));
}

TEST(KeyReportParser, EndlessLineIsDroppedAndLaterReportsStillArrive) {
    KeyReportParser parser;
    EXPECT_TRUE(parser.Feed("+CKEV: ").empty());
    for (int i = 0; i < 100; ++i) {
        EXPECT_TRUE(parser.Feed(std::string(100, 'x')).empty());
    }
    EXPECT_EQ(parser.Feed("\r\n+CKEV: 9,1\r\n"), std::vector<KeyEvent>{Pressed("9")});
}

} // namespace
} // namespace panelgrab
