#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/image/picture.h"
#include "sim/simulated_phone.h"

namespace panelgrab::sim {

// The displays the options describe, with the dialect's defaults applied when none were given.
std::vector<SimDisplay> EffectiveDisplays(const SimOptions& options);

// The picture each display starts with, before it is fitted to the display: the test card drawn for
// it, or the --picture file (BMP or PNG). False with a message when the file cannot be read.
bool LoadSourcePictures(const SimOptions& options, std::vector<Picture>& sources, std::string& error);

// What display `index` shows, as a correct client decodes it: the source picture reduced to what
// the display's pixel format (and the dialect's pixel width) can carry.
Picture ExpectedPicture(const SimOptions& options, std::size_t index);

} // namespace panelgrab::sim
