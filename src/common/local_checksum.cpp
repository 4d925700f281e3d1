#include "common/local_checksum.h"

#include <algorithm>

#include "common/ascii_text.h"

namespace panelgrab {

namespace {

// The received text; characters past its end count as '0'.
struct PictureText {
    const char* data;
    std::size_t size;

    unsigned Digit(uint64_t index) const { return index < size ? HexDigitOrZero(data[index]) : 0; }
    uint32_t Number(uint64_t index, int digits) const {
        uint32_t value = 0;
        for (int i = 0; i < digits; ++i) {
            value = (value << 4) | Digit(index + static_cast<uint64_t>(i));
        }
        return value;
    }
};

// Packs small pixels into bytes, first pixel in the highest bits, and sums the completed bytes.
// Runs of pixels beyond the text are all zero: they are skipped a whole byte at a time, so a huge
// rectangle over a small picture costs no more than the picture.
class BytePacker {
public:
    explicit BytePacker(unsigned bitsPerPixel) : bits_(bitsPerPixel), perByte_(8 / bitsPerPixel) {}

    void Push(unsigned pixel) {
        pending_ = (pending_ << bits_) | pixel;
        if (++count_ == perByte_) {
            sum_ += pending_;
            pending_ = 0;
            count_ = 0;
        }
    }
    void PushZeros(uint64_t pixels) {
        while (pixels > 0 && count_ != 0) {
            Push(0);
            --pixels;
        }
        // Whole zero bytes add nothing; only the unfinished byte after them matters.
        for (pixels %= perByte_; pixels > 0; --pixels) {
            Push(0);
        }
    }
    unsigned pendingCount() const { return count_; }
    uint32_t pendingValue() const { return pending_; }
    uint32_t sum() const { return sum_; }

private:
    unsigned bits_;
    unsigned perByte_;
    unsigned count_ = 0;
    uint32_t pending_ = 0;
    uint32_t sum_ = 0;
};

// 8 and 16 bits: each pixel's characters as one number, located with `width` pixels per row.
uint32_t SumWholePixels(const PictureText& text, int digits, uint16_t width, uint16_t left, uint16_t top,
                        uint16_t right, uint16_t bottom) {
    uint32_t sum = 0;
    for (uint64_t y = top; y <= bottom; ++y) {
        const uint64_t rowStart = (y * width + left) * static_cast<uint64_t>(digits);
        if (rowStart >= text.size) {
            break; // every later row starts further on: nothing but zeros
        }
        for (uint64_t x = left; x <= right; ++x) {
            const uint64_t index = (y * width + x) * static_cast<uint64_t>(digits);
            if (index >= text.size) {
                break;
            }
            sum += text.Number(index, digits);
        }
    }
    return sum;
}

// 1 bit: rows of `lineLength` characters, packed afresh from `left` on every row.
uint32_t SumMonoRows(const PictureText& text, uint32_t lineLength, uint16_t left, uint16_t top,
                     uint16_t right, uint16_t bottom) {
    uint32_t sum = 0;
    const uint64_t pixelsPerRow = uint64_t{right} - left + 1;
    for (uint64_t y = top; y <= bottom; ++y) {
        const uint64_t rowStart = y * lineLength;
        if (rowStart >= text.size) {
            break;
        }
        BytePacker packer(1);
        const uint64_t available = std::min<uint64_t>(right + uint64_t{1}, (text.size - rowStart) * 4);
        const uint64_t end = std::max<uint64_t>(available, left);
        for (uint64_t x = left; x < end; ++x) {
            packer.Push((text.Digit(rowStart + x / 4) >> (3 - x % 4)) & 1u);
        }
        packer.PushZeros(pixelsPerRow - (end - left));
        sum += packer.sum();
        // The row's unfinished byte: up to 4 pixels count as a 4-bit number, more as a full byte.
        const unsigned rest = packer.pendingCount();
        if (rest > 0) {
            sum += rest <= 4 ? packer.pendingValue() << (4 - rest) : packer.pendingValue() << (8 - rest);
        }
    }
    return sum;
}

// 2 bits: `width` + 1 pixels per row, the half of a character chosen by the column, packed without
// restarting at a row.
uint32_t SumGreyPixels(const PictureText& text, uint16_t width, uint16_t left, uint16_t top, uint16_t right,
                       uint16_t bottom) {
    BytePacker packer(2);
    const uint64_t pixelsPerRow = uint64_t{right} - left + 1;
    const uint64_t pitch = uint64_t{width} + 1;
    for (uint64_t y = top; y <= bottom; ++y) {
        const uint64_t rowStart = pitch * y;
        if (rowStart / 2 >= text.size) {
            packer.PushZeros(pixelsPerRow * (bottom - y + 1));
            break;
        }
        uint64_t x = left;
        for (; x <= right && (rowStart + x) / 2 < text.size; ++x) {
            const unsigned value = text.Digit((rowStart + x) / 2);
            packer.Push(x % 2 == 0 ? value >> 2 : value & 3u);
        }
        packer.PushZeros(uint64_t{right} + 1 - x);
    }
    const uint32_t p = packer.pendingValue();
    switch (packer.pendingCount()) {
    case 1:
        return packer.sum() + p * 4; // p0 x 4
    case 2:
        return packer.sum() + ((p >> 2) * 4 + (p & 3u)); // p0 x 4 + p1
    case 3:
        return packer.sum() + ((p >> 4) * 64 + ((p >> 2) & 3u) * 16 + (p & 3u) * 4);
    default:
        return packer.sum();
    }
}

} // namespace

int32_t ChecksumOf(const char* data, std::size_t dataSize, uint8_t bitsPerPixel, uint32_t lineLength,
                   uint16_t width, uint16_t left, uint16_t top, uint16_t right, uint16_t bottom,
                   bool widePixels) {
    if (data == nullptr) {
        return -1;
    }
    if (top > bottom || left > right) {
        return 0;
    }
    const PictureText text{data, dataSize};
    uint32_t sum = 0;
    switch (bitsPerPixel) {
    case 16:
        sum = SumWholePixels(text, widePixels ? 8 : 4, width, left, top, right, bottom);
        break;
    case 8:
        sum = SumWholePixels(text, 2, width, left, top, right, bottom);
        break;
    case 1:
        sum = SumMonoRows(text, lineLength, left, top, right, bottom);
        break;
    case 2:
        sum = SumGreyPixels(text, width, left, top, right, bottom);
        break;
    default:
        break;
    }
    return static_cast<int32_t>(sum);
}

} // namespace panelgrab
