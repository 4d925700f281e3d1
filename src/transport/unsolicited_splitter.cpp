#include "transport/unsolicited_splitter.h"

#include <algorithm>

#include "common/ascii_text.h"

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

// "+NAME" of a line shaped "+NAME:..." (letters and digits in NAME), empty for any other line.
std::string_view ReportName(std::string_view line) {
    if (line.empty() || line.front() != '+') {
        return {};
    }
    std::size_t end = 1;
    while (end < line.size() && IsAlnumAscii(line[end])) {
        ++end;
    }
    return end > 1 && end < line.size() && line[end] == ':' ? line.substr(0, end) : std::string_view();
}

} // namespace

void UnsolicitedSplitter::ExpectAnswerTo(std::string_view command) {
    expectedName_.clear();
    const std::size_t start = command.find_first_not_of(" \t\r\n");
    if (start == std::string_view::npos || !StartsWithIgnoringCase(command.substr(start), "AT+")) {
        return;
    }
    const std::string_view rest = command.substr(start + 2);
    std::size_t end = 1;
    while (end < rest.size() && IsAlnumAscii(rest[end])) {
        ++end;
    }
    expectedName_ = ToUpperAscii(rest.substr(0, end));
}

bool UnsolicitedSplitter::IsReport(std::string_view line, std::string_view expectedName) {
    if (line == kRing) {
        return true;
    }
    const std::string_view name = ReportName(line);
    return !name.empty() && !EqualsIgnoringCase(name, expectedName);
}

bool UnsolicitedSplitter::CouldStillBeReport() const {
    if (held_.size() > kMaxReportLength) {
        return false;
    }
    const std::string_view body = Content(held_);
    if (body.empty() || kRing.starts_with(body)) {
        return true; // an empty line to come, or "RING"
    }
    if (held_.front() != '+') {
        return false;
    }
    // The command's own answer line can be let go as soon as its name is complete.
    const bool ownAnswer = expectedName_.size() > 1 && held_.size() > expectedName_.size() &&
                           StartsWithIgnoringCase(held_, expectedName_) &&
                           !IsAlnumAscii(held_[expectedName_.size()]);
    return !ownAnswer;
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
    if (IsReport(content, expectedName_)) {
        reports.emplace_back(content);
        heldEmpty_.clear();
        held_.clear();
        return;
    }
    ReleaseHeld();
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
}

} // namespace panelgrab
