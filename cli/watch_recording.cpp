#include "cli/watch_recording.h"

namespace panelgrab::cli {

std::string WatchRecording::Summary() const {
    const std::size_t frames = writer_.frameCount();
    return ", " + std::to_string(frames) + (frames == 1 ? " frame" : " frames") + " recorded in " + path_;
}

} // namespace panelgrab::cli
