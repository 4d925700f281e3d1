#include "transport/at/unsolicited_splitter.h"

#include <algorithm>

#include "common/ascii_text.h"
#include "transport/at/v250_command.h"

namespace panelgrab {
namespace {

constexpr std::string_view kRing = "RING";

// The line without its line end (LF, and any CRs before it).
std::string_view Content(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.remove_suffix(1);
    }
    return line;
}

// "+NAME" of a line shaped "+NAME:..." (or "*NAME:..." and the other vendor prefixes; letters and
// digits in NAME), empty for any other line.
std::string_view ReportName(std::string_view line) {
    if (line.empty() || !IsExtendedPrefix(line.front())) {
        return {};
    }
    std::size_t end = 1;
    while (end < line.size() && IsAlnumAscii(line[end])) {
        ++end;
    }
    return end > 1 && end < line.size() && line[end] == ':' ? line.substr(0, end) : std::string_view();
}

bool IsNamed(std::string_view name, const std::vector<std::string>& names) {
    return std::any_of(names.begin(), names.end(),
                       [name](const std::string& named) { return EqualsIgnoringCase(name, named); });
}

} // namespace

void UnsolicitedSplitter::ExpectAnswerTo(std::string_view command) {
    expectedNames_ = AnswerPrefixes(command);
}

bool UnsolicitedSplitter::IsReport(std::string_view line, const std::vector<std::string>& expectedNames) {
    if (line == kRing) {
        return true;
    }
    const std::string_view name = ReportName(line);
    return !name.empty() && !IsNamed(name, expectedNames);
}

bool UnsolicitedSplitter::IsTwoLineReport(std::string_view line) {
    const std::string_view name = ReportName(line);
    return EqualsIgnoringCase(name, "+CMT") || EqualsIgnoringCase(name, "+CDS") ||
           EqualsIgnoringCase(name, "+CBM");
}

bool UnsolicitedSplitter::CouldStillBeReport() const {
    if (held_.size() > kMaxReportLength) {
        return false;
    }
    const std::string_view body = Content(held_);
    if (body.empty() || kRing.starts_with(body)) {
        return true; // an empty line to come, or "RING"
    }
    if (!IsExtendedPrefix(held_.front())) {
        return false;
    }
    // The command's own answer line can be let go as soon as its name is complete.
    std::size_t end = 1;
    while (end < held_.size() && IsAlnumAscii(held_[end])) {
        ++end;
    }
    const bool nameComplete = end < held_.size();
    return !(nameComplete && end > 1 && IsNamed(std::string_view(held_).substr(0, end), expectedNames_));
}

void UnsolicitedSplitter::ReleaseHeld() {
    ready_ += heldEmpty_;
    ready_ += held_;
    heldEmpty_.clear();
    held_.clear();
}

void UnsolicitedSplitter::CompleteLine(std::vector<std::string>& reports) {
    const std::string_view content = Content(held_);
    if (content.empty()) {
        // An empty line: it belongs to a report that may follow, so the decision waits one line.
        ready_ += heldEmpty_;
        heldEmpty_ = std::move(held_);
        held_.clear();
        return;
    }
    if (IsReport(content, expectedNames_)) {
        if (IsTwoLineReport(content)) {
            pduHeader_ = content;
        } else {
            reports.emplace_back(content);
        }
        heldEmpty_.clear();
        held_.clear();
        return;
    }
    ReleaseHeld();
}

void UnsolicitedSplitter::FeedPdu(char c, std::vector<std::string>& reports) {
    held_.push_back(c);
    if (c == '\n') {
        const std::string_view pdu = Content(held_);
        if (!pdu.empty()) {
            reports.push_back(pduHeader_ + "\r\n" + std::string(pdu));
            pduHeader_.clear();
        }
        held_.clear();
    } else if (held_.size() > kMaxPduLength) {
        // No PDU is this long: the header goes alone, and the line is ordinary text after all.
        reports.push_back(std::move(pduHeader_));
        pduHeader_.clear();
        ReleaseHeld();
        passThrough_ = true;
    }
}

void UnsolicitedSplitter::Feed(std::string_view piece, std::vector<std::string>& reports) {
    while (!piece.empty()) {
        if (passThrough_) {
            // The rest of a line already known to be ordinary text goes out in one run.
            const std::size_t lineEnd = piece.find('\n');
            const std::size_t run = lineEnd == std::string_view::npos ? piece.size() : lineEnd + 1;
            ready_.append(piece.substr(0, run));
            passThrough_ = lineEnd == std::string_view::npos;
            piece.remove_prefix(run);
            continue;
        }
        const char c = piece.front();
        piece.remove_prefix(1);
        if (!pduHeader_.empty()) {
            FeedPdu(c, reports);
            continue;
        }
        held_.push_back(c);
        if (c == '\n') {
            CompleteLine(reports);
        } else if (!CouldStillBeReport()) {
            ReleaseHeld();
            passThrough_ = true;
        }
    }
}
std::string UnsolicitedSplitter::TakeReady(std::size_t limit) {
    const std::size_t count = std::min(limit, ready_.size() - readyStart_);
    std::string taken = ready_.substr(readyStart_, count);
    readyStart_ += count;
    // Handed-over text is dropped once it is most of the buffer, so the buffer never keeps growing.
    if (readyStart_ * 2 >= ready_.size()) {
        ready_.erase(0, readyStart_);
        readyStart_ = 0;
    }
    return taken;
}

void UnsolicitedSplitter::Reset() {
    ready_.clear();
    readyStart_ = 0;
    held_.clear();
    heldEmpty_.clear();
    passThrough_ = false;
    pduHeader_.clear();
}

} // namespace panelgrab
