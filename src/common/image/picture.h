#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace panelgrab {

// Sides and pixel count beyond which a picture is refused: far above any phone display, low enough
// that a damaged file cannot make us allocate gigabytes.
inline constexpr int32_t kMaxPictureSide = 16384;
inline constexpr int64_t kMaxPicturePixels = int64_t{1} << 24;

struct Rgb {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// A picture as plain values: 3 bytes a pixel (red, green, blue), row 0 at the top, no row padding.
class Picture {
public:
    Picture() = default;

    // A black picture of that size. False (and an empty picture) when a side is negative or too
    // large, or the rows cannot be allocated.
    bool Resize(int32_t width, int32_t height);

    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    bool empty() const { return width_ == 0 || height_ == 0; }
    bool Contains(int32_t x, int32_t y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }

    // (x, y) must lie inside the picture.
    Rgb At(int32_t x, int32_t y) const {
        const uint8_t* p = &rgb_[Offset(x, y)];
        return {p[0], p[1], p[2]};
    }
    void Set(int32_t x, int32_t y, Rgb colour) {
        uint8_t* p = &rgb_[Offset(x, y)];
        p[0] = colour.r;
        p[1] = colour.g;
        p[2] = colour.b;
    }
    uint8_t* Row(int32_t y) { return rgb_.data() + Offset(0, y); }
    const uint8_t* Row(int32_t y) const { return rgb_.data() + Offset(0, y); }

    friend bool operator==(const Picture&, const Picture&) = default;

private:
    std::size_t Offset(int32_t x, int32_t y) const {
        return (static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                static_cast<std::size_t>(x)) *
               3;
    }

    int32_t width_ = 0;
    int32_t height_ = 0;
    std::vector<uint8_t> rgb_;
};

} // namespace panelgrab
