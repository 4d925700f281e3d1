#pragma once

#include <cstdint>
#include <string>

#include "capture/apng_writer.h"
#include "common/image/picture.h"

namespace panelgrab {

// A live view's pictures, as the refreshes left them, gathered into an animated PNG that is written
// when the recording ends. Times are milliseconds since the live view started.
class LiveRecording {
public:
    LiveRecording(std::string path, int scale) : path_(std::move(path)), writer_(scale) {}

    // The live picture as a refresh that ended at `atMs` left it. False with the reason when it
    // cannot be recorded.
    bool Add(const Picture& picture, int64_t atMs, std::string& error);
    // Writes the file, the last picture lasting until `endMs`.
    bool Finish(int64_t endMs, std::string& error) const { return writer_.Finish(endMs, path_, error); }

    // ", N frames recorded in FILE" for a summary line.
    std::string Summary() const;

    std::size_t frameCount() const { return writer_.frameCount(); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
    ApngWriter writer_;
};

} // namespace panelgrab
