#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "capture/apng_writer.h"
#include "common/image/picture.h"

namespace panelgrab {

// "Record...": the live view's settled pictures gathered into an animated PNG, a frame only when the
// picture changed, each lasting until the next, at the window's scale of 1. Written whole, atomically
// and flushed to the disk, when the recording ends. Times are milliseconds on the live view's clock.
class LiveRecording {
public:
    explicit LiveRecording(std::string path) : path_(std::move(path)) {}

    // The settled picture of refresh `refresh`, shown from `atMs` on; the refresh recorded last adds
    // nothing. False with the reason when it cannot be recorded.
    bool Add(const Picture& picture, int64_t refresh, int64_t atMs, std::string& error);
    // Writes the file, the last picture lasting until `endMs`. False with the reason, also when no
    // picture was added (then no file is written).
    bool Finish(int64_t endMs, std::string& error) const;

    std::size_t frames() const { return writer_.frameCount(); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
    ApngWriter writer_{1};
    int64_t lastRefresh_ = 0;
};

} // namespace panelgrab
