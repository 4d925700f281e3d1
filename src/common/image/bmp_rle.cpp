#include "common/image/bmp_rle.h"

#include <algorithm>

namespace panelgrab {

namespace {

enum Escape : uint8_t { kEndOfLine = 0, kEndOfPicture = 1, kDelta = 2 };

// Where the expansion writes, and how it reads the indices packed in a byte.
class RleCanvas {
public:
    RleCanvas(int bitsPerIndex, int32_t width, int32_t height, std::vector<uint8_t>& indices)
        : bits_(bitsPerIndex), width_(width), height_(height), indices_(indices) {
        indices_.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
    }

    // The `i`-th index of a run whose byte is `value`: RLE4 runs alternate its two halves.
    uint8_t IndexOf(uint8_t value, uint32_t i) const {
        if (bits_ == 8) {
            return value;
        }
        return i % 2 == 0 ? static_cast<uint8_t>(value >> 4) : static_cast<uint8_t>(value & 0x0F);
    }
    void Put(uint8_t index) {
        if (x_ < width_ && y_ < height_) {
            indices_[static_cast<std::size_t>(y_ * width_ + x_)] = index;
        }
        ++x_;
    }
    void NextLine() {
        x_ = 0;
        ++y_;
    }
    void Move(uint8_t dx, uint8_t dy) {
        x_ += dx;
        y_ += dy;
    }
    bool Full() const { return y_ >= height_; }
    // Bytes the indices of an absolute run of `count` take (the run is then padded to a whole word).
    std::size_t AbsoluteBytes(uint32_t count) const { return bits_ == 8 ? count : (count + 1) / 2; }

private:
    int bits_;
    int32_t width_;
    int32_t height_;
    // Wide enough that no file of runs and deltas can make them overflow.
    int64_t x_ = 0;
    int64_t y_ = 0;
    std::vector<uint8_t>& indices_;
};

} // namespace

bool ExpandBmpRle(std::span<const uint8_t> data, int bitsPerIndex, int32_t width, int32_t height,
                  std::vector<uint8_t>& indices, std::string& why) {
    RleCanvas canvas(bitsPerIndex, width, height, indices);
    std::size_t at = 0;
    while (!canvas.Full() && data.size() - at >= 2) {
        const uint8_t count = data[at];
        const uint8_t value = data[at + 1];
        at += 2;
        if (count > 0) {
            for (uint32_t i = 0; i < count; ++i) {
                canvas.Put(canvas.IndexOf(value, i));
            }
        } else if (value == kEndOfLine) {
            canvas.NextLine();
        } else if (value == kEndOfPicture) {
            return true;
        } else if (value == kDelta) {
            if (data.size() - at < 2) {
                break;
            }
            canvas.Move(data[at], data[at + 1]);
            at += 2;
        } else {
            const std::size_t bytes = canvas.AbsoluteBytes(value);
            if (data.size() - at < bytes) {
                break;
            }
            for (uint32_t i = 0; i < value; ++i) {
                canvas.Put(canvas.IndexOf(data[at + (bitsPerIndex == 8 ? i : i / 2)], i));
            }
            // The padding byte of a last run may be missing in a file that ends right there.
            at = std::min(data.size(), at + ((bytes + 1) & ~std::size_t{1}));
        }
    }
    if (canvas.Full()) {
        return true;
    }
    why = "the BMP file is cut short in its compressed pixels";
    return false;
}

} // namespace panelgrab
