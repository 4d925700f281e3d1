#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "capture/display_info.h"
#include "common/image/picture.h"

namespace panelgrab {

// The Windows BITMAPINFOHEADER, as it describes the in-memory rows (top-down, 24 bits).
struct BitmapInfoHeader {
    uint32_t biSize = 40;
    int32_t biWidth = 0;
    int32_t biHeight = 0; // negative: row 0 is the top row
    uint16_t biPlanes = 1;
    uint16_t biBitCount = 24;
    uint32_t biCompression = 0;
    uint32_t biSizeImage = 0;
    int32_t biXPelsPerMeter = 1;
    int32_t biYPelsPerMeter = 1;
    uint32_t biClrUsed = 0;
    uint32_t biClrImportant = 0;
};

// The decoded picture of one display as the phone interface hands it out: a device-independent
// bitmap of 24-bit rows, blue-green-red, row 0 at the top, each row padded to a multiple of 4 bytes.
// Files and other clients take it as the image module's Picture (ToPicture).
class DisplayBitmap {
public:
    DisplayBitmap() = default;
    virtual ~DisplayBitmap() = default;

    bool SetSize(const DisplayInfo& entry);
    // New size and a new pixel buffer, cleared to black. False (and no pixel rows) when the
    // allocation fails or a side exceeds kMaxDisplaySide.
    bool SetSize(uint16_t width, uint16_t height);
    // Writes a BMP file (bottom-up rows) with WriteFileAtomically: a failure leaves an existing file
    // as it was. False on any failure, with the system's reason in `error` where asked for.
    bool WriteBmpFile(const std::string& path) const;
    bool WriteBmpFile(const std::string& path, std::string& error) const;
    // The complete BMP file as bytes (what WriteBmpFile writes).
    std::vector<uint8_t> EncodeBmp() const;
    // The pixels as an RGB picture; an empty one without pixel rows.
    Picture ToPicture() const;
    // New size and pixels from a picture. False, as SetSize, when the size is refused.
    bool SetFromPicture(const Picture& picture);

    uint16_t width() const { return width_; }
    uint16_t height() const { return height_; }
    uint32_t rowSize() const { return rowSize_; }
    const BitmapInfoHeader& header() const { return header_; }
    bool hasPixels() const { return !pixels_.empty(); }
    uint8_t* pixels() { return pixels_.empty() ? nullptr : pixels_.data(); }
    const uint8_t* pixels() const { return pixels_.empty() ? nullptr : pixels_.data(); }
    std::size_t pixelBytes() const { return pixels_.size(); }

private:
    BitmapInfoHeader header_;
    uint16_t width_ = 0;
    uint16_t height_ = 0;
    std::vector<uint8_t> pixels_;
    uint32_t rowSize_ = 0;
};

} // namespace panelgrab
