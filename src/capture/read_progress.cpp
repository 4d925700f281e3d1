#include "capture/read_progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace panelgrab {

namespace {

constexpr double kBitsPerCharacter = 10;
// A picture line's answer text around its digits: the answer's prefix and the line end. Generous,
// so an estimate built on it is rather long than short.
constexpr int64_t kFramingPerLine = 16;

} // namespace

std::optional<double> LinesPerSecond(const ProgressSnapshot& snapshot) {
    const int64_t received =
        std::clamp<int64_t>(snapshot.linesReceived, 0, std::max<int64_t>(snapshot.totalLines, 0));
    if (received <= 0 || snapshot.elapsedSeconds <= 0) {
        return std::nullopt;
    }
    return static_cast<double>(received) / snapshot.elapsedSeconds;
}

std::optional<double> SecondsLeft(const ProgressSnapshot& snapshot) {
    const std::optional<double> rate = LinesPerSecond(snapshot);
    if (!rate) {
        return std::nullopt;
    }
    const int64_t left = std::max<int64_t>(snapshot.totalLines - snapshot.linesReceived, 0);
    return static_cast<double>(left) / *rate;
}

std::string FormatDuration(double seconds) {
    auto total = static_cast<int64_t>(std::ceil(std::max(0.0, seconds)));
    int64_t hours = total / 3600;
    int64_t minutes = (total / 60) % 60;
    int64_t secs = total % 60;
    char text[32];
    if (hours > 0) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(hours),
                      static_cast<long long>(minutes), static_cast<long long>(secs));
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(minutes),
                      static_cast<long long>(secs));
    }
    return text;
}

double PictureLineSeconds(const DisplayInfo& display, int32_t baudRate) {
    return RemainingLineSeconds(display, 0, baudRate);
}

double RemainingLineSeconds(const DisplayInfo& display, int64_t received, int32_t baudRate) {
    if (baudRate <= 0) {
        return 0;
    }
    const int64_t lineLength = display.lineLength;
    const int64_t total = lineLength * display.height;
    const int64_t digitsLeft = std::clamp<int64_t>(total - received, 0, total);
    // Lines not yet complete, each with its framing still to come.
    const int64_t linesLeft = lineLength > 0 ? (digitsLeft + lineLength - 1) / lineLength : 0;
    const auto characters = static_cast<double>(digitsLeft + linesLeft * kFramingPerLine);
    return characters * kBitsPerCharacter / baudRate;
}

} // namespace panelgrab
