#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace panelgrab {

// Separates a phone's unsolicited result codes from everything else it sends.
//
// A phone may put a report ("+CKEV: 5,1", "+CMTI: "SM",3", "*EMRDY: 1", "RING", ...) on the line at
// any moment: before an answer, between its lines, between the lines of a picture. A report is a
// whole line that is exactly "RING" or has the shape "+NAME:" or "*NAME:" (or another vendor
// prefix) where NAME is not named by the command in progress ("+CSQ: 20,99" answers AT+CSQ, and
// "+CBC: 0,80" answers AT+CSQ;+CBC, so they are kept). A message report ("+CMT:", "+CDS:",
// "+CBM:") takes the line after it, its PDU, along. The empty line the phone sends before a report
// goes with it.
//
// Text is judged line by line as it arrives, in any pieces: a line that can no longer become a report
// (a picture line, an echo, "OK") is released at once, so answers do not wait for their line end; a
// line that might be one is held until its end, or until it is too long to be one. Only whole lines
// that start at a line start are recognised: a report can never hide inside a picture line.
//
// Not thread-safe: its owner feeds it from one reader at a time.
class UnsolicitedSplitter {
public:
    // Longest line that is still taken for a report; a longer one is released as ordinary text.
    static constexpr std::size_t kMaxReportLength = 256;

    // Longest PDU line taken along with a message report.
    static constexpr std::size_t kMaxPduLength = 1024;

    // The command line now being answered: lines with a prefix it names are its answer.
    void ExpectAnswerTo(std::string_view command);

    // Takes the next piece of the stream. Complete reports (without their line end) are appended to
    // `reports`; the rest becomes ready text, in order.
    void Feed(std::string_view piece, std::vector<std::string>& reports);

    // Hands over up to `limit` characters of ready text, removing them.
    std::string TakeReady(std::size_t limit = std::string::npos);
    bool HasReady() const { return readyStart_ < ready_.size(); }

    // Forgets ready text and any line held back (after the line was drained, or at open).
    void Reset();

    // True when `line` (without its line end) is a report while `expectedNames` ("+CSQ", …) are
    // the prefixes the command in progress names.
    static bool IsReport(std::string_view line, const std::vector<std::string>& expectedNames);
    // True for a report header whose PDU follows on the next line ("+CMT: ,24").
    static bool IsTwoLineReport(std::string_view line);

private:
    // The held line is known not to be a report, or its end arrived: decide and move it on.
    void ReleaseHeld();
    void CompleteLine(std::vector<std::string>& reports);
    bool CouldStillBeReport() const;
    // Collects the PDU line of a message report; true while it is still incomplete.
    void FeedPdu(char c, std::vector<std::string>& reports);

    std::vector<std::string> expectedNames_;
    std::string ready_;
    std::size_t readyStart_ = 0;
    std::string held_;         // the start of the current line, held back while it may be a report
    std::string heldEmpty_;    // an empty line held back: it is dropped if a report follows
    bool passThrough_ = false; // the current line is released as it comes, up to its end
    std::string pduHeader_;    // a message report waiting for its PDU line (empty: none)
};

} // namespace panelgrab
