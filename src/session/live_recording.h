#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "capture/apng_writer.h"
#include "common/image/picture.h"

namespace panelgrab {

// A live view's pictures, as the refreshes left them, gathered into an animated PNG that is written
// when the recording ends. Times are milliseconds since the live view started.
class LiveRecording {
public:
    static constexpr int kMaxScale = ApngWriter::kMaxScale;

    LiveRecording(std::string path, int scale) : path_(std::move(path)), writer_(scale) {}
    // A recording kept in memory only, handed out by Encode.
    explicit LiveRecording(int scale) : writer_(scale) {}

    // The live picture as a refresh that ended at `atMs` left it. False with the reason when it
    // cannot be recorded.
    bool Add(const Picture& picture, int64_t atMs, std::string& error);
    // Writes the file, the last picture lasting until `endMs`.
    bool Finish(int64_t endMs, std::string& error) const { return writer_.Finish(endMs, path_, error); }

    // The whole file, the last picture lasting until `endMs`. False with the reason (no picture yet).
    bool Encode(int64_t endMs, std::vector<uint8_t>& apng, std::string& error) const {
        return writer_.Encode(endMs, apng, error);
    }
    // Frames so far: one for each change, the first picture included.
    std::size_t Frames() const { return writer_.frameCount(); }

    // ", N frames recorded in FILE" for a summary line.
    std::string Summary() const;

    std::size_t frameCount() const { return writer_.frameCount(); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
    ApngWriter writer_;
};

} // namespace panelgrab
