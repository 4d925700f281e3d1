#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/picture_source.h"
#include "sim/pixel_codec.h"
#include "sim/simulated_phone.h"

namespace panelgrab::sim {

// True for the dialects whose display list is the long form: their lines are 8 characters a pixel.
bool IsLongForm(Dialect dialect);

// What one display of the phone shows, held as the display's own pixel values, and the hexadecimal
// text the phone sends for it.
class DisplayPicture {
public:
    // `source` is cropped or padded with black to the display's size.
    DisplayPicture(const SimDisplay& display, bool longForm, const Picture& source);

    const SimDisplay& display() const { return display_; }
    bool longForm() const { return longForm_; }
    // Characters one whole display line takes.
    uint32_t lineLength() const { return lineLength_; }

    // The text of columns first..last of line y (all inclusive, in range). The long form takes 8
    // characters a pixel; 1- and 8-bit pixels fill its start and '0' pads the rest.
    std::string LineText(int y, int first, int last) const;
    // Every line, line 0 first: height x lineLength characters.
    const std::string& PictureText() const { return pictureText_; }
    // The picture as a correct client decodes it.
    Picture Decoded() const;

private:
    PixelFormat Format() const { return {display_.bitsPerPixel, longForm_}; }

    SimDisplay display_;
    bool longForm_;
    std::vector<uint32_t> codes_; // one per pixel, rows top first
    uint32_t lineLength_ = 0;
    std::string pictureText_;
};

// The pictures of every display the options describe: the test card, or --picture on each display.
// False with a message when the picture file cannot be read.
bool LoadDisplayPictures(const SimOptions& options, std::vector<DisplayPicture>& pictures,
                         std::string& error);

} // namespace panelgrab::sim
