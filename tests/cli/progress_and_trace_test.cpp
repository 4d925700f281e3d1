#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "cli/key_event_printer.h"
#include "cli/progress_bar.h"
#include "cli/trace_printer.h"

namespace panelgrab::cli {
namespace {

TEST(ProgressFormat, BarCountsRateAndTimeLeft) {
    struct Case {
        ProgressSnapshot snapshot;
        int barWidth;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {{0, 220, 0.0}, 10, "[----------]   0/220 lines   -- lines/s   --:-- left"},
        {{0, 220, 3.0}, 10, "[----------]   0/220 lines   -- lines/s   --:-- left"},
        {{110, 220, 2.0}, 10, "[#####-----] 110/220 lines   55.0 lines/s   0:02 left"},
        {{77, 220, 2.0}, 20, "[#######-------------]  77/220 lines   38.5 lines/s   0:04 left"},
        {{220, 220, 4.0}, 10, "[##########] 220/220 lines   55.0 lines/s   0:00 left"},
        // A phone that sends more than it announced never draws past the end.
        {{300, 220, 4.0}, 10, "[##########] 220/220 lines   55.0 lines/s   0:00 left"},
        {{1, 4000, 1.0}, 4, "[----]    1/4000 lines   1.0 lines/s   1:06:39 left"},
        {{-5, 10, 1.0}, 4, "[----]  0/10 lines   -- lines/s   --:-- left"},
        {{0, 0, 1.0}, 4, "[####] 0/0 lines   -- lines/s   --:-- left"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatProgress(c.snapshot, c.barWidth), c.expected)
            << c.snapshot.linesReceived << "/" << c.snapshot.totalLines;
    }
}

TEST(ProgressFormat, Durations) {
    EXPECT_EQ(FormatDuration(0), "0:00");
    EXPECT_EQ(FormatDuration(0.2), "0:01"); // rounded up: never "0:00 left" while lines remain
    EXPECT_EQ(FormatDuration(59.5), "1:00");
    EXPECT_EQ(FormatDuration(61), "1:01");
    EXPECT_EQ(FormatDuration(3600), "1:00:00");
    EXPECT_EQ(FormatDuration(-3), "0:00");
}

TEST(ProgressFormat, BarDrawsInPlaceOnlyWhenEnabled) {
    std::ostringstream off;
    ProgressBar silent(off, false);
    silent.Update(10, 20);
    silent.Finish();
    EXPECT_EQ(off.str(), "");

    std::ostringstream on;
    ProgressBar bar(on, true);
    bar.Update(100, 1000);
    bar.Update(5, 10);
    bar.Finish();
    std::string text = on.str();
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.front(), '\r');
    EXPECT_EQ(text.back(), '\n');
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1);
    // The second drawing covers all of the first (a shorter one is padded with blanks).
    std::size_t second = text.find('\r', 1);
    ASSERT_NE(second, std::string::npos);
    EXPECT_GE(text.size() - 2 - second, second - 1);
}

TEST(TraceOutput, ControlCharactersMadeVisible) {
    struct Case {
        std::string raw;
        const char* visible;
    };
    const std::vector<Case> cases = {
        {"AT\r", "AT\\r"},
        {"AT\r\r\nOK\r\n", "AT\\r\\r\\nOK\\r\\n"},
        {"a\\r", "a\\\\r"}, // a real backslash stays distinguishable from CR
        {std::string("x\0y", 3), "x\\x00y"},
        {"\x1a\x7f\t", "\\x1A\\x7F\\t"},
        {"caf\xC3\xA9", "caf\xC3\xA9"}, // UTF-8 text passes unchanged
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MakeVisible(c.raw), c.visible);
    }

    std::ostringstream stream;
    TracePrinter printer(stream);
    printer.OnCommandSent("AT+CGMM\r");
    printer.OnAnswerReceived("AT+CGMM\r\r\nX-1\r\nOK\r\n");
    EXPECT_EQ(stream.str(), "> AT+CGMM\\r\n< AT+CGMM\\r\\r\\nX-1\\r\\nOK\\r\\n\n");
}

TEST(KeyEventOutput, PrintsEventsAndStopsAtTheLimit) {
    std::ostringstream stream;
    KeyEventPrinter printer(stream, 3);
    EXPECT_FALSE(printer.WaitForLimit(std::chrono::milliseconds(1)));
    printer.OnKeyPressed("5");
    printer.OnKeyReleased("5");
    printer.OnKeyPressed("a,b");
    printer.OnKeyReleased("a,b"); // beyond the limit: dropped
    EXPECT_TRUE(printer.WaitForLimit(std::chrono::milliseconds(1)));
    EXPECT_EQ(printer.printed(), 3);
    EXPECT_EQ(stream.str(), "pressed 5\nreleased 5\npressed a,b\n");
}

} // namespace
} // namespace panelgrab::cli
