#include "sim/display_picture.h"

namespace panelgrab::sim {

bool IsLongForm(Dialect dialect) {
    return dialect == Dialect::Long || dialect == Dialect::LongRange || dialect == Dialect::TwoDisplays;
}

DisplayPicture::DisplayPicture(const SimDisplay& display, bool longForm, const Picture& source)
    : display_(display), longForm_(longForm) {
    const int w = display.width;
    const int h = display.height;
    codes_.reserve(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            Rgb colour; // black where the source does not reach
            if (source.Contains(x, y)) {
                colour = source.At(x, y);
            }
            codes_.push_back(NearestCode(colour, display.bitsPerPixel));
        }
    }
    pictureText_.reserve(static_cast<std::size_t>(h) * (longForm ? 8u : 4u) * w);
    for (int y = 0; y < h; ++y) {
        pictureText_ += LineText(y, 0, w - 1);
    }
    lineLength_ = h > 0 ? static_cast<uint32_t>(pictureText_.size() / h) : 0;
}

std::string DisplayPicture::LineText(int y, int first, int last) const {
    const auto begin = codes_.begin() + static_cast<std::ptrdiff_t>(y) * display_.width;
    const std::vector<uint32_t> codes(begin + first, begin + last + 1);
    std::string text = EncodeCodes(codes, Format());
    if (longForm_) {
        text.resize(codes.size() * 8, '0');
    }
    return text;
}

Picture DisplayPicture::Decoded() const {
    Picture image;
    image.Resize(display_.width, display_.height);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            image.Set(x, y,
                      DecodedColour(codes_[static_cast<std::size_t>(y) * display_.width + x], Format()));
        }
    }
    return image;
}

} // namespace panelgrab::sim
