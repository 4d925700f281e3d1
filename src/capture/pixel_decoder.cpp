#include "capture/pixel_decoder.h"

#include <algorithm>

#include "common/ascii_text.h"

namespace panelgrab {

namespace {

struct Bgr {
    uint8_t blue;
    uint8_t green;
    uint8_t red;
};

// Reads hex digits of one line. The checked variant treats characters past the end of the text as
// '0', so a line near the end of a partly sized buffer never reads outside it.
template <bool Checked> struct LineReader {
    const char* data;
    std::size_t size;
    std::size_t start;

    unsigned Digit(std::size_t offset) const {
        const std::size_t index = start + offset;
        if constexpr (Checked) {
            if (index >= size) {
                return 0;
            }
        }
        return HexDigitOrZero(data[index]);
    }
    uint32_t Number(std::size_t offset, int digits) const {
        uint32_t value = 0;
        for (int i = 0; i < digits; ++i) {
            value = (value << 4) | Digit(offset + static_cast<std::size_t>(i));
        }
        return value;
    }
};

struct Mono {
    static constexpr unsigned kPixelsPerChar = 4;
    template <class R> static Bgr Pixel(const R& line, std::size_t x) {
        const unsigned bit = (line.Digit(x / 4) >> (3 - x % 4)) & 1u;
        const auto level = static_cast<uint8_t>(bit ? 255 : 0);
        return {level, level, level};
    }
};

struct Grey {
    static constexpr unsigned kPixelsPerChar = 2;
    template <class R> static Bgr Pixel(const R& line, std::size_t x) {
        const unsigned value = line.Digit(x / 2);
        const unsigned level = (x % 2 == 0 ? value >> 2 : value & 3u) * 85u;
        const auto grey = static_cast<uint8_t>(level);
        return {grey, grey, grey};
    }
};

struct Colour8 {
    static constexpr unsigned kCharsPerPixel = 2;
    template <class R> static Bgr Pixel(const R& line, std::size_t x) {
        const uint32_t v = line.Number(x * 2, 2);
        return {static_cast<uint8_t>((v & 3u) * 85u), static_cast<uint8_t>(((v >> 2) & 7u) * 36u),
                static_cast<uint8_t>((v >> 5) * 36u)};
    }
};

struct Colour16 {
    static constexpr unsigned kCharsPerPixel = 4;
    template <class R> static Bgr Pixel(const R& line, std::size_t x) {
        const uint32_t v = line.Number(x * 4, 4);
        return {static_cast<uint8_t>((v & 0x1Fu) << 3), static_cast<uint8_t>(((v >> 5) & 0x3Fu) << 2),
                static_cast<uint8_t>((v >> 11) << 3)};
    }
};

// Eight characters a pixel; the first two carry nothing we show.
struct Wide {
    static constexpr unsigned kCharsPerPixel = 8;
    template <class R> static Bgr Pixel(const R& line, std::size_t x) {
        const uint32_t v = line.Number(x * 8 + 2, 6);
        return {static_cast<uint8_t>(v & 0xF8u), static_cast<uint8_t>((v >> 8) & 0xFCu),
                static_cast<uint8_t>((v >> 16) & 0xF8u)};
    }
};

// Pixels one line yields, and how many characters they read from the line's start.
template <class Format> std::size_t PixelsInLine(uint16_t width, uint16_t lineLength) {
    std::size_t available;
    if constexpr (requires { Format::kPixelsPerChar; }) {
        available = std::size_t{lineLength} * Format::kPixelsPerChar;
    } else {
        // A group counts while its first character lies within the line.
        available = (std::size_t{lineLength} + Format::kCharsPerPixel - 1) / Format::kCharsPerPixel;
    }
    return std::min<std::size_t>(width, available);
}

template <class Format> std::size_t CharsRead(std::size_t pixels) {
    if constexpr (requires { Format::kPixelsPerChar; }) {
        return (pixels + Format::kPixelsPerChar - 1) / Format::kPixelsPerChar;
    } else {
        return pixels * Format::kCharsPerPixel;
    }
}

template <class Format, bool Checked>
void EmitPixels(const LineReader<Checked>& line, std::size_t count, uint8_t* out) {
    for (std::size_t x = 0; x < count; ++x) {
        const Bgr pixel = Format::Pixel(line, x);
        out[0] = pixel.blue;
        out[1] = pixel.green;
        out[2] = pixel.red;
        out += 3;
    }
}

// One pass over the lines. The write position runs on from row to row and is aligned to 4 bytes
// after each line, so a line that yields `width` pixels fills exactly one bitmap row.
template <class Format>
void DecodeLines(uint16_t width, uint16_t height, uint16_t lineLength, const char* data, std::size_t dataSize,
                 uint8_t* pixels, std::size_t pixelBytes) {
    const std::size_t count = PixelsInLine<Format>(width, lineLength);
    const std::size_t charsNeeded = CharsRead<Format>(count);
    std::size_t position = 0;
    for (std::size_t row = 0; row < height; ++row) {
        const std::size_t start = row * lineLength;
        const std::size_t room = position < pixelBytes ? (pixelBytes - position) / 3 : 0;
        const std::size_t written = std::min(count, room);
        if (written > 0) {
            if (start + charsNeeded <= dataSize) {
                EmitPixels<Format>(LineReader<false>{data, dataSize, start}, written, pixels + position);
            } else {
                EmitPixels<Format>(LineReader<true>{data, dataSize, start}, written, pixels + position);
            }
        }
        position = (position + count * 3 + 3) & ~std::size_t{3};
    }
}

} // namespace

bool DecodeRows(uint16_t width, uint16_t height, uint8_t bitsPerPixel, uint16_t lineLength, const char* data,
                std::size_t dataSize, uint8_t* pixels, std::size_t pixelBytes, bool widePixels) {
    if (data == nullptr) {
        dataSize = 0;
    }
    if (pixels == nullptr) {
        pixelBytes = 0;
    }
    switch (bitsPerPixel) {
    case 1:
        DecodeLines<Mono>(width, height, lineLength, data, dataSize, pixels, pixelBytes);
        break;
    case 2:
        if (widePixels) {
            DecodeLines<Wide>(width, height, lineLength, data, dataSize, pixels, pixelBytes);
        } else {
            DecodeLines<Grey>(width, height, lineLength, data, dataSize, pixels, pixelBytes);
        }
        break;
    case 8:
        DecodeLines<Colour8>(width, height, lineLength, data, dataSize, pixels, pixelBytes);
        break;
    case 16:
        if (widePixels) {
            DecodeLines<Wide>(width, height, lineLength, data, dataSize, pixels, pixelBytes);
        } else {
            DecodeLines<Colour16>(width, height, lineLength, data, dataSize, pixels, pixelBytes);
        }
        break;
    default:
        // Unknown formats write nothing.
        break;
    }
    return true;
}

} // namespace panelgrab
