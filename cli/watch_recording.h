#pragma once

#include <cstdint>
#include <string>

#include "capture/apng_writer.h"
#include "capture/display_bitmap.h"

namespace panelgrab::cli {

// watch --record: the live pictures, as the refreshes left them, gathered into an animated PNG
// that is written when the watch ends. Times are milliseconds since the live view started.
class WatchRecording {
public:
    WatchRecording(std::string path, int scale) : path_(std::move(path)), writer_(scale) {}

    // The live picture as a refresh that ended at `atMs` left it. False with the reason when it
    // cannot be recorded.
    bool Add(const DisplayBitmap& picture, int64_t atMs, std::string& error) {
        return writer_.AddPicture(picture, atMs, error);
    }
    // Writes the file, the last picture lasting until `endMs`.
    bool Finish(int64_t endMs, std::string& error) const { return writer_.Finish(endMs, path_, error); }

    // ", N frames recorded in FILE" for the watch's last line.
    std::string Summary() const;

private:
    std::string path_;
    ApngWriter writer_;
};

} // namespace panelgrab::cli
