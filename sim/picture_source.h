#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/simulated_phone.h"

namespace panelgrab::sim {

// An RGB picture: 3 bytes a pixel (red, green, blue), rows top first, no padding.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;

    const uint8_t* At(int x, int y) const { return &rgb[(static_cast<std::size_t>(y) * width + x) * 3]; }
};

// The displays the options describe, with the dialect's defaults applied when none were given.
std::vector<SimDisplay> EffectiveDisplays(const SimOptions& options);

// The picture each display starts with, before it is fitted to the display: the test card drawn for
// it, or the --picture file. False with a message when the file cannot be read.
bool LoadSourcePictures(const SimOptions& options, std::vector<RgbImage>& sources, std::string& error);

// What display `index` shows, as a correct client decodes it: the source picture reduced to what
// the display's pixel format (and the dialect's pixel width) can carry.
RgbImage ExpectedPicture(const SimOptions& options, std::size_t index);

} // namespace panelgrab::sim
