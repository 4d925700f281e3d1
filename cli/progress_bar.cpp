#include "cli/progress_bar.h"

#include <algorithm>
#include <cstdio>

namespace panelgrab::cli {

std::string FormatProgress(const ProgressSnapshot& snapshot, int barWidth,
                           std::optional<double> stalledSeconds) {
    int64_t total = std::max<int64_t>(snapshot.totalLines, 0);
    int64_t received = std::clamp<int64_t>(snapshot.linesReceived, 0, total);
    int filled = total > 0 ? static_cast<int>(received * barWidth / total) : barWidth;

    std::string text = "[";
    text.append(static_cast<std::size_t>(filled), '#');
    text.append(static_cast<std::size_t>(barWidth - filled), '-');
    text += "] ";

    char counts[64];
    std::snprintf(counts, sizeof counts, "%*lld/%lld lines", static_cast<int>(std::to_string(total).size()),
                  static_cast<long long>(received), static_cast<long long>(total));
    text += counts;

    if (stalledSeconds && received < total) {
        return text + "   stalled for " + FormatDuration(*stalledSeconds);
    }
    const std::optional<double> rate = LinesPerSecond(snapshot);
    const std::optional<double> left = SecondsLeft(snapshot);
    if (!rate || !left) {
        return text + "   -- lines/s   --:-- left";
    }
    char rateText[32];
    std::snprintf(rateText, sizeof rateText, "   %.1f lines/s   ", *rate);
    text += rateText;
    text += FormatDuration(*left) + " left";
    return text;
}

ProgressBar::ProgressBar(std::ostream& stream, bool enabled, std::chrono::milliseconds stallAfter)
    : stream_(stream), enabled_(enabled), stallAfter_(stallAfter), start_(std::chrono::steady_clock::now()),
      lastLineAt_(start_) {}

void ProgressBar::Update(int64_t linesReceived, int64_t totalLines) {
    if (!enabled_) {
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (linesReceived != lastLines_) {
        lastLines_ = linesReceived;
        lastLineAt_ = now;
    }
    const std::chrono::duration<double> elapsed = now - start_;
    const std::chrono::duration<double> quiet = now - lastLineAt_;
    std::optional<double> stalled;
    if (quiet > stallAfter_) {
        stalled = quiet.count();
    }
    std::string text = FormatProgress({linesReceived, totalLines, elapsed.count()}, 24, stalled);
    // Blank out what a longer previous line left behind.
    std::size_t length = text.size();
    if (length < lastLength_) {
        text.append(lastLength_ - length, ' ');
    }
    lastLength_ = length;
    stream_ << '\r' << text << std::flush;
    drawn_ = true;
}

void ProgressBar::Finish() {
    if (drawn_) {
        stream_ << '\n' << std::flush;
        drawn_ = false;
    }
}

} // namespace panelgrab::cli
