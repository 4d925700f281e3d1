// ScreenImage: some columns of one display line, for a picture kept current piece by piece.
#include <algorithm>

#include "capture/picture_text.h"
#include "capture/screen_image.h"

namespace panelgrab {

namespace {

// Where the pixels of a line sit in its text: `chars` characters for every `pixels` pixels.
struct PixelPacking {
    uint32_t chars = 0;
    uint32_t pixels = 0;
};

// None (zero) for a format whose pixels do not sit at fixed places in the text.
PixelPacking PackingOf(uint8_t bitsPerPixel, bool widePixels) {
    if (widePixels) {
        return bitsPerPixel == 16 || bitsPerPixel == 2 ? PixelPacking{8, 1} : PixelPacking{};
    }
    if (bitsPerPixel == 16 || bitsPerPixel == 8) {
        return {bitsPerPixel / 4u, 1};
    }
    if (bitsPerPixel == 1 || bitsPerPixel == 2) {
        return {1, 4u / bitsPerPixel};
    }
    return {};
}

} // namespace

bool ScreenImage::FetchLineColumns(SerialPort& port, int line, int firstColumn, int lastColumn,
                                   bool& served) {
    served = false;
    DisplayInfo entry;
    {
        std::lock_guard guard(lock_);
        if (!current_ || line < 0 || line >= current_->height) {
            return false;
        }
        entry = *current_;
    }
    const PixelPacking packing = PackingOf(entry.bitsPerPixel, widePixels_);
    if (packing.chars == 0 || uint64_t{entry.width} * packing.chars / packing.pixels > entry.lineLength) {
        return true;
    }
    // Pixels smaller than a character: whole characters only.
    const int first =
        std::max(firstColumn, 0) / static_cast<int>(packing.pixels) * static_cast<int>(packing.pixels);
    const int last = std::min<int>(
        entry.width - 1,
        (lastColumn / static_cast<int>(packing.pixels) + 1) * static_cast<int>(packing.pixels) - 1);
    if (first > last) {
        return true;
    }
    const uint32_t offset = static_cast<uint32_t>(first) / packing.pixels * packing.chars;
    const uint32_t expected = (static_cast<uint32_t>(last - first) / packing.pixels + 1) * packing.chars;
    std::string answer;
    if (!FetchPixelLine(port, line, first, last, expected, answer)) {
        return false;
    }
    std::vector<char> text(expected + 1);
    // One character more than asked for tells a phone that sent the whole line anyway.
    if (ExtractPixelLine(answer, text.data(), expected + 1) != expected) {
        return true;
    }
    std::lock_guard guard(lock_);
    const std::size_t start = std::size_t{entry.lineLength} * static_cast<std::size_t>(line) + offset;
    if (start + expected <= data_.size()) {
        std::copy_n(text.begin(), expected, data_.begin() + static_cast<std::ptrdiff_t>(start));
        served = true;
    }
    return true;
}

} // namespace panelgrab
