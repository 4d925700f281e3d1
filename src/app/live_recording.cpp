#include "app/live_recording.h"

#include "capture/display_bitmap.h"

namespace panelgrab {

bool LiveRecording::Add(const Picture& picture, int64_t refresh, int64_t atMs, std::string& error) {
    if (refresh == lastRefresh_) {
        return true;
    }
    DisplayBitmap bitmap;
    if (!bitmap.SetFromPicture(picture)) {
        error = "the live picture could not be copied";
        return false;
    }
    if (!writer_.AddPicture(bitmap, atMs, error)) {
        return false;
    }
    lastRefresh_ = refresh;
    return true;
}

bool LiveRecording::Finish(int64_t endMs, std::string& error) const {
    return writer_.Finish(endMs, path_, error);
}

} // namespace panelgrab
