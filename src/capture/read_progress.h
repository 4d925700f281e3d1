#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "capture/display_info.h"

namespace panelgrab {

// One state of a running read.
struct ProgressSnapshot {
    int64_t linesReceived = 0;
    int64_t totalLines = 0;
    double elapsedSeconds = 0;
};

// The average rate so far in lines a second; none while nothing has arrived.
std::optional<double> LinesPerSecond(const ProgressSnapshot& snapshot);

// The time the rest takes at the rate so far; none while nothing has arrived. More lines than the
// total (a phone sending extra data) leave nothing to wait for.
std::optional<double> SecondsLeft(const ProgressSnapshot& snapshot);

// "m:ss", or "h:mm:ss" from an hour on; rounded up, so a time left never reads 0:00 too early.
std::string FormatDuration(double seconds);

// How long the line takes to carry the whole picture of `display` at `baudRate`: its picture
// characters and the framing of each display line, 10 bits a character (start, 8 data, stop bit).
double PictureLineSeconds(const DisplayInfo& display, int32_t baudRate);

// The same for the picture characters from `received` on, with the framing of the lines left.
double RemainingLineSeconds(const DisplayInfo& display, int64_t received, int32_t baudRate);

} // namespace panelgrab
