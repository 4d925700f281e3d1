#include "session/live_recording.h"

#include "capture/display_bitmap.h"

namespace panelgrab {

bool LiveRecording::Add(const Picture& picture, int64_t atMs, std::string& error) {
    DisplayBitmap bitmap;
    if (!bitmap.SetFromPicture(picture)) {
        return true; // a picture no display could show is not recorded
    }
    return writer_.AddPicture(bitmap, atMs, error);
}

std::string LiveRecording::Summary() const {
    const std::size_t frames = writer_.frameCount();
    return ", " + std::to_string(frames) + (frames == 1 ? " frame" : " frames") + " recorded in " + path_;
}

} // namespace panelgrab
