// The split of a phone's stream into answer text and unsolicited reports, from raw wire strings.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "transport/at/unsolicited_splitter.h"

namespace panelgrab {
namespace {

using Strings = std::vector<std::string>;

struct Split {
    std::string text;
    Strings reports;
    bool operator==(const Split&) const = default;
};

// Feeds the stream in pieces of `piece` bytes, taking the ready text after each.
Split Feed(const char* command, const std::string& stream, std::size_t piece) {
    UnsolicitedSplitter splitter;
    splitter.ExpectAnswerTo(command);
    Split split;
    for (std::size_t at = 0; at < stream.size(); at += piece) {
        splitter.Feed(stream.substr(at, piece), split.reports);
        split.text += splitter.TakeReady();
    }
    return split;
}

TEST(UnsolicitedSplitter, TakesReportLinesOutWhereverTheyArriveWholeOrByteByByte) {
    const struct {
        const char* command;
        std::string stream;
        std::optional<std::string> text = std::nullopt; // what the reader gets; none: the whole stream
        Strings reports = {};
    } cases[] = {
        // Alone, and the empty line that comes before a report goes with it.
        {"AT\r", "\r\n+CKEV: 5,1\r\n", "", {"+CKEV: 5,1"}},
        {"AT\r", "\r\nRING\r\n\r\n+CRING: VOICE\r\n", "", {"RING", "+CRING: VOICE"}},
        // Inside an answer: between echo and answer, and before and after the OK.
        {"AT+CGMM\r",
         "AT+CGMM\r\r\n+CIEV: 1,5\r\n\r\nP200\r\n\r\nOK\r\n",
         "AT+CGMM\r\r\n\r\nP200\r\n\r\nOK\r\n",
         {"+CIEV: 1,5"}},
        {"AT+CKPD=\"5\"\r",
         "\r\n+CKEV: 5,1\r\n\r\n+CKEV: 5,0\r\n\r\nOK\r\n\r\n+CMTI: \"SM\",3\r\n",
         "\r\nOK\r\n",
         {"+CKEV: 5,1", "+CKEV: 5,0", "+CMTI: \"SM\",3"}},
        // Between the lines of a bulk picture, and at its start: the picture's digits stay whole.
        {"AT*ZISI\r",
         "\r\n+CKEV: 1,1\r\n*ZISI: 0A0B\r\n\r\n+CREG: 1\r\n*ZISI: C0DE\r\n\r\nOK\r\n",
         "*ZISI: 0A0B\r\n*ZISI: C0DE\r\n\r\nOK\r\n",
         {"+CKEV: 1,1", "+CREG: 1"}},
        // Before a per-line answer.
        {"AT*ZIPI=0,0,1\r",
         "\r\n+CIEV: 2,0\r\n\r\n*ZIPI: 00FF\r\n\r\nOK\r\n",
         "\r\n*ZIPI: 00FF\r\n\r\nOK\r\n",
         {"+CIEV: 2,0"}},
        // The command's own answer looks like a report but is not one, in any letter case.
        {"AT+CSQ\r", "\r\n+CSQ: 20,99\r\n\r\nOK\r\n"},
        {"at+cmer?\r", "\r\n+CMER: 3,2,0,0,0\r\n\r\nOK\r\n"},
        {"AT+CSQ\r", "\r\n+CSQX: 1\r\n", "", {"+CSQX: 1"}},
        // Lines that only look like reports: no "+NAME:", not a whole "RING", not at a line start.
        {"AT\r", "+5 dBm\r\nRINGING\r\n+:x\r\nRIN\r\nAB+CKEV: 1,1\r\n"},
        // An empty line not followed by a report stays, also several of them.
        {"AT\r", "\r\n\r\nOK\r\n"},
        // Vendor reports ("*NAME:") inside a picture, and the message reports whose PDU line (hex
        // digits, like a picture's) goes with them, also when the PDU is still to come.
        {"AT*ZISI\r",
         "*ZISI: 0A0B\r\n*EMRDY: 1\r\n\r\n+CMT: ,24\r\n07911326\r\n*ZISI: C0DE\r\n\r\nOK\r\n",
         "*ZISI: 0A0B\r\n*ZISI: C0DE\r\n\r\nOK\r\n",
         {"*EMRDY: 1", "+CMT: ,24\r\n07911326"}},
        {"AT\r", "\r\n+CDS: 6\r\n\r\n0011AB\r\nOK\r\n", "OK\r\n", {"+CDS: 6\r\n0011AB"}},
        // Every answer the command line names is kept: several commands, blanks, a basic command
        // before the extended one.
        {"AT+CSQ;+CBC\r", "\r\n+CSQ: 20,99\r\n\r\n+CBC: 0,80\r\n\r\nOK\r\n"},
        {"AT +CSQ\r", "\r\n+CSQ: 20,99\r\nOK\r\n"},
        {"ATE1+CSQ\r", "\r\n+CSQ: 20,99\r\n+CREG: 1\r\nOK\r\n", "\r\n+CSQ: 20,99\r\nOK\r\n", {"+CREG: 1"}},
        // A line far too long to be a report is text, however it starts.
        {"AT\r", "+X:" + std::string(300, '1') + "\r\n"},
    };
    for (const auto& c : cases) {
        const Split expected{c.text.value_or(c.stream), c.reports};
        for (const std::size_t piece : {c.stream.size(), std::size_t{1}}) {
            EXPECT_EQ(Feed(c.command, c.stream, piece), expected)
                << piece << ": " << testing::PrintToString(c.stream);
        }
    }
}

TEST(UnsolicitedSplitter, ReleasesOrdinaryTextBeforeItsLineEndButHoldsAPossibleReport) {
    UnsolicitedSplitter splitter;
    splitter.ExpectAnswerTo("AT*ZISI\r");
    Strings reports;
    splitter.Feed("*ZISI: 0A0", reports);
    EXPECT_EQ(splitter.TakeReady(), "*ZISI: 0A0"); // a picture line does not wait for its end
    splitter.Feed("B\r\n\r\n+CKE", reports);
    EXPECT_EQ(splitter.TakeReady(), "B\r\n");
    EXPECT_FALSE(splitter.HasReady()); // "\r\n+CKE" may still be a report
    splitter.Feed("V: 5,1\r\nOK", reports);
    EXPECT_EQ(reports, Strings{"+CKEV: 5,1"});
    EXPECT_EQ(splitter.TakeReady(2), "OK");

    // Ready text is handed over in pieces; a reset forgets it and what was held.
    splitter.Feed("0123456789\r\n+CK", reports);
    EXPECT_EQ(splitter.TakeReady(4), "0123");
    EXPECT_EQ(splitter.TakeReady(100), "456789\r\n");
    splitter.Feed("EV: 1,1", reports);
    splitter.Reset();
    splitter.Feed("\r\nOK\r\n", reports);
    EXPECT_EQ(splitter.TakeReady(), "\r\nOK\r\n");
    EXPECT_EQ(reports.size(), 1u);
}

} // namespace
} // namespace panelgrab
