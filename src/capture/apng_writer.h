#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "capture/display_bitmap.h"

namespace panelgrab {

// Records a screen flow as an animated PNG: the pictures a display showed, each for as long as it
// stayed. A picture equal to the last one adds no frame, so a static screen stays one frame however
// long it is recorded; a changed one adds a frame holding only the rectangle that changed (drawn
// over the one before), so a ticking clock costs little. Each pixel may be enlarged to
// scale x scale pixels, as the window shows it.
//
// The frames are kept compressed in memory and the file is written whole at the end, atomically
// and flushed to the disk: a recording that was cut short never leaves half a file.
// Not thread-safe: one recorder is fed from one thread.
class ApngWriter {
public:
    static constexpr int kMaxScale = 8;

    // `scale` from 1 to kMaxScale (clamped).
    explicit ApngWriter(int scale = 1);

    // The picture shown from `atMs` on (milliseconds on any clock that does not go back; an earlier
    // time counts as the last one). False with the reason for a picture without pixels, one whose
    // size differs from the first picture's, or one that cannot be encoded.
    bool AddPicture(const DisplayBitmap& picture, int64_t atMs, std::string& error);

    // The whole file, the last frame lasting until `endMs`. False with the reason when no picture
    // was added.
    bool Encode(int64_t endMs, std::vector<uint8_t>& apng, std::string& error) const;
    // Encode, then written over `path` atomically.
    bool Finish(int64_t endMs, const std::string& path, std::string& error) const;

    // Frames so far: one for each change, the first picture included.
    std::size_t frameCount() const { return frames_.size(); }

private:
    struct Frame {
        uint32_t x = 0; // the changed rectangle, in the file's (scaled) pixels
        uint32_t y = 0;
        uint32_t width = 0;
        uint32_t height = 0;
        int64_t startMs = 0;
        std::vector<uint8_t> data; // compressed rows
        uint8_t corner[3] = {};    // red, green, blue of the rectangle's top-left pixel
    };
    struct Box {
        uint32_t left = 0;
        uint32_t top = 0;
        uint32_t right = 0; // exclusive
        uint32_t bottom = 0;
    };

    // The rectangle in which `picture` differs from the last one; empty (right == left) if none.
    Box ChangedBox(const DisplayBitmap& picture) const;
    bool AddFrame(const DisplayBitmap& picture, const Box& box, int64_t atMs, std::string& error);
    void PutFrames(std::vector<uint8_t>& apng, int64_t endMs) const;

    int scale_;
    DisplayBitmap last_;
    std::vector<Frame> frames_;
};

} // namespace panelgrab
