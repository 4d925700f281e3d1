#include "sim/pixel_codec.h"

#include <algorithm>

namespace panelgrab::sim {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Nearest level k of 0..maxLevel for a value shown as k * step.
uint32_t NearestLevel(int value, int step, int maxLevel) {
    return static_cast<uint32_t>(std::min(maxLevel, (value + step / 2) / step));
}

// Nearest multiple of 2^(8-bits) for an 8-bit value, as a code of `bits` bits.
uint32_t NearestTruncated(int value, int bits) {
    const int step = 1 << (8 - bits);
    return NearestLevel(value, step, (1 << bits) - 1);
}

int Luminance(Rgb c) {
    return (299 * c.r + 587 * c.g + 114 * c.b + 500) / 1000;
}

uint8_t Byte(uint32_t v) {
    return static_cast<uint8_t>(v & 0xFF);
}

// The 24-bit value a wide group carries for a pixel value.
uint32_t WideValue(uint32_t code, int bitsPerPixel) {
    if (bitsPerPixel == 2) {
        const uint32_t grey = code * 85;
        return grey << 16 | grey << 8 | grey;
    }
    // Expand 5-6-5 to 8 bits each by repeating the top bits, as display controllers do.
    const uint32_t r5 = code >> 11 & 0x1F;
    const uint32_t g6 = code >> 5 & 0x3F;
    const uint32_t b5 = code & 0x1F;
    const uint32_t r = r5 << 3 | r5 >> 2;
    const uint32_t g = g6 << 2 | g6 >> 4;
    const uint32_t b = b5 << 3 | b5 >> 2;
    return r << 16 | g << 8 | b;
}

void AppendHex(std::string& text, uint32_t value, int digits) {
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
        text.push_back(kHexDigits[value >> shift & 0xF]);
    }
}

// 1-bit and narrow 2-bit pixels: several pixels per character, first pixel in the highest bits.
void AppendPacked(std::string& text, const std::vector<uint32_t>& codes, int bitsPerPixel) {
    const std::size_t perChar = static_cast<std::size_t>(4 / bitsPerPixel);
    for (std::size_t i = 0; i < codes.size(); i += perChar) {
        uint32_t value = 0;
        for (std::size_t k = 0; k < perChar; ++k) {
            const uint32_t code = i + k < codes.size() ? codes[i + k] : 0;
            value = value << bitsPerPixel | code;
        }
        text.push_back(kHexDigits[value & 0xF]);
    }
}

} // namespace

uint32_t NearestCode(Rgb colour, int bitsPerPixel) {
    switch (bitsPerPixel) {
    case 1:
        return Luminance(colour) >= 128 ? 1u : 0u;
    case 2:
        return NearestLevel(Luminance(colour), 85, 3);
    case 8:
        return NearestLevel(colour.r, 36, 7) << 5 | NearestLevel(colour.g, 36, 7) << 2 |
               NearestLevel(colour.b, 85, 3);
    default:
        return NearestTruncated(colour.r, 5) << 11 | NearestTruncated(colour.g, 6) << 5 |
               NearestTruncated(colour.b, 5);
    }
}

Rgb DecodedColour(uint32_t code, PixelFormat format) {
    if (format.widePixels && (format.bitsPerPixel == 2 || format.bitsPerPixel == 16)) {
        const uint32_t v = WideValue(code, format.bitsPerPixel);
        return {Byte(v >> 16 & 0xF8), Byte(v >> 8 & 0xFC), Byte(v & 0xF8)};
    }
    switch (format.bitsPerPixel) {
    case 1: {
        const uint8_t level = code != 0 ? 255 : 0;
        return {level, level, level};
    }
    case 2: {
        const uint8_t grey = Byte(code * 85);
        return {grey, grey, grey};
    }
    case 8:
        return {Byte((code >> 5) * 36), Byte((code >> 2 & 7) * 36), Byte((code & 3) * 85)};
    default:
        return {Byte((code >> 11) << 3), Byte((code >> 5 & 0x3F) << 2), Byte((code & 0x1F) << 3)};
    }
}

std::string EncodeCodes(const std::vector<uint32_t>& codes, PixelFormat format) {
    std::string text;
    if (format.widePixels && (format.bitsPerPixel == 2 || format.bitsPerPixel == 16)) {
        text.reserve(codes.size() * 8);
        for (uint32_t code : codes) {
            text += "00";
            AppendHex(text, WideValue(code, format.bitsPerPixel), 6);
        }
        return text;
    }
    switch (format.bitsPerPixel) {
    case 1:
    case 2:
        AppendPacked(text, codes, format.bitsPerPixel);
        break;
    case 8:
        for (uint32_t code : codes) {
            AppendHex(text, code, 2);
        }
        break;
    default:
        for (uint32_t code : codes) {
            AppendHex(text, code, 4);
        }
        break;
    }
    return text;
}

} // namespace panelgrab::sim
