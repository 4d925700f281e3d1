#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/image/picture.h"
#include "session/live_recording.h"

namespace panelgrab::server {

// How far one recording may go: it ends by itself at the first bound it reaches.
struct RecordingBounds {
    std::chrono::seconds maxTime{30 * 60};
    std::size_t maxFrames = 20000;
    // The changed rectangles' pixels, uncompressed and scaled: what the frames can hold at most.
    std::size_t maxPixelBytes = std::size_t{64} << 20;
};

// What a recording has gathered so far.
struct RecordingStatus {
    bool running = false;
    std::size_t frames = 0;
    double seconds = 0;
    int scale = 1;
    std::string ended; // why it ended by itself; empty while it runs or when it was stopped
};

// One phone's screen recording: the live view's settled pictures, each as long as it stayed,
// gathered by the session's live recording (a frame only when the picture changed), within bounds. It ends
// when stopped, at a bound, or when a picture cannot be added; what it gathered stays until encoded. Not
// thread-safe.
class PhoneRecording {
public:
    using Clock = std::chrono::steady_clock;

    PhoneRecording(int scale, RecordingBounds bounds, Clock::time_point start);

    // The picture shown from `at` on. Ignored once the recording ended.
    void Add(const Picture& picture, Clock::time_point at);
    // Ends it at `at` unless it ended before; `reason` says why when it ended by itself.
    void End(Clock::time_point at, std::string reason = {});
    // Ends it at the time bound when `now` is past it.
    void CheckTime(Clock::time_point now);

    RecordingStatus Status(Clock::time_point now) const;
    bool Running() const { return running_; }
    // The whole file (ending it now if it still runs). False with the reason (no picture yet).
    bool Encode(Clock::time_point now, std::vector<uint8_t>& apng, std::string& error);

private:
    int64_t MsSinceStart(Clock::time_point at) const;
    // Bytes of the rectangle in which `picture` differs from the last one, scaled.
    std::size_t ChangedBytes(const Picture& picture) const;

    const int scale_;
    const RecordingBounds bounds_;
    const Clock::time_point start_;
    Clock::time_point end_{};
    bool running_ = true;
    std::string ended_;
    std::size_t pixelBytes_ = 0;
    Picture last_;
    LiveRecording frames_;
};

} // namespace panelgrab::server
