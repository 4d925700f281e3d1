#include "sim/test_card.h"

#include <algorithm>

#include "sim/bitmap_font.h"

namespace panelgrab::sim {
namespace {

struct Colour {
    uint8_t r, g, b;
};

void Put(Picture& image, int x, int y, Colour c) {
    if (image.Contains(x, y)) {
        image.Set(x, y, {c.r, c.g, c.b});
    }
}

uint8_t Ramp(int x, int width) {
    return static_cast<uint8_t>(width > 1 ? x * 255 / (width - 1) : 0);
}

void DrawBars(Picture& image, int top, int bottom) {
    static constexpr Colour kBars[8] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                                        {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0}};
    for (int y = top; y < bottom; ++y) {
        for (int x = 0; x < image.width(); ++x) {
            Put(image, x, y, kBars[x * 8 / image.width()]);
        }
    }
}

void DrawRamps(Picture& image, int top, int bottom) {
    const int band = std::max(1, (bottom - top) / 4);
    for (int y = top; y < bottom; ++y) {
        const int which = std::min(3, (y - top) / band);
        for (int x = 0; x < image.width(); ++x) {
            const uint8_t v = Ramp(x, image.width());
            static constexpr Colour kMasks[4] = {{1, 1, 1}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
            const Colour m = kMasks[which];
            Put(image, x, y,
                {static_cast<uint8_t>(v * m.r), static_cast<uint8_t>(v * m.g),
                 static_cast<uint8_t>(v * m.b)});
        }
    }
}

// Vertical lines, horizontal lines and a checker, one pixel each, side by side.
void DrawFineLines(Picture& image, int top, int bottom) {
    for (int y = top; y < bottom; ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const int third = x * 3 / image.width();
            const int bit = third == 0 ? x % 2 : third == 1 ? y % 2 : (x + y) % 2;
            const uint8_t v = bit != 0 ? 255 : 0;
            Put(image, x, y, {v, v, v});
        }
    }
}

void DrawText(Picture& image, int top, int bottom, const std::vector<std::string>& lines) {
    constexpr int kLinePitch = kGlyphHeight + 2;
    constexpr int kCharPitch = kGlyphWidth + 1;
    int y0 = top + 2;
    for (const std::string& line : lines) {
        if (y0 + kGlyphHeight > bottom - 1) {
            return;
        }
        int x0 = 3;
        for (char c : line) {
            const auto rows = GlyphRows(c);
            for (int row = 0; row < kGlyphHeight; ++row) {
                for (int col = 0; col < kGlyphWidth; ++col) {
                    if (rows[row] >> (kGlyphWidth - 1 - col) & 1) {
                        Put(image, x0 + col, y0 + row, {255, 255, 0});
                    }
                }
            }
            x0 += kCharPitch;
        }
        y0 += kLinePitch;
    }
}

void DrawFrame(Picture& image) {
    for (int x = 0; x < image.width(); ++x) {
        Put(image, x, 0, {255, 255, 255});
        Put(image, x, image.height() - 1, {255, 255, 255});
    }
    for (int y = 0; y < image.height(); ++y) {
        Put(image, 0, y, {255, 255, 255});
        Put(image, image.width() - 1, y, {255, 255, 255});
    }
}

} // namespace

Picture DrawTestCard(int width, int height, const std::vector<std::string>& textLines) {
    Picture image;
    if (!image.Resize(std::max(0, width), std::max(0, height)) || image.empty()) {
        return image;
    }
    const int h = image.height();
    DrawBars(image, 0, h / 4);
    DrawRamps(image, h / 4, h / 2);
    DrawFineLines(image, h / 2, h * 5 / 8);
    DrawText(image, h * 5 / 8, h, textLines);
    DrawFrame(image);
    return image;
}

} // namespace panelgrab::sim
