#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "session/grab_progress.h"

namespace panelgrab::cli {

// "[#######-------------]   77/220 lines   38.5 lines/s   0:04 left": a bar of `barWidth` cells,
// lines received of total, the average rate so far and the time left at that rate ("--" while
// nothing has arrived yet). More lines than the total (a phone sending extra data) show as full.
// `stalledSeconds`, when given, is how long no line has come: the rate and the time left, which
// would only grow, give way to "stalled for 0:03".
std::string FormatProgress(const ProgressSnapshot& snapshot, int barWidth = 24,
                           std::optional<double> stalledSeconds = std::nullopt);

// Draws FormatProgress in place on a terminal (carriage return, no new line until Finish), as
// stalled once no line has come for longer than `stallAfter` (two of the port's read waits make a
// phone that stopped sending, not one that pauses). When disabled it draws nothing, so callers
// need not ask.
class ProgressBar {
public:
    ProgressBar(std::ostream& stream, bool enabled,
                std::chrono::milliseconds stallAfter = std::chrono::milliseconds(1000));

    void Update(int64_t linesReceived, int64_t totalLines);
    // Ends the bar's line, if one was drawn.
    void Finish();

private:
    std::ostream& stream_;
    bool enabled_;
    bool drawn_ = false;
    std::size_t lastLength_ = 0;
    std::chrono::milliseconds stallAfter_;
    std::chrono::steady_clock::time_point start_;
    int64_t lastLines_ = 0;
    std::chrono::steady_clock::time_point lastLineAt_; // when lastLines_ changed
};

} // namespace panelgrab::cli
