#include "sim/screen_animation.h"

#include <algorithm>
#include <cstdio>

#include "sim/bitmap_font.h"
#include "sim/pixel_codec.h"

namespace panelgrab::sim {
namespace {

constexpr int kClockWidth = 34;
constexpr int kClockHeight = 9;
constexpr int kRowPitch = kGlyphHeight + 2; // the test card's line pitch
constexpr int kMaxRows = 4;

void Put(Picture& image, int x, int y, Rgb colour) {
    if (image.Contains(x, y)) {
        image.Set(x, y, colour);
    }
}

void DrawClock(Picture& image, int64_t step) {
    const ScreenBox box = ClockBox(image.width());
    for (int y = box.top; y <= box.bottom; ++y) {
        for (int x = box.left; x <= box.right; ++x) {
            Put(image, x, y, {0, 0, 0});
        }
    }
    char text[8];
    std::snprintf(text, sizeof text, "%02d:%02d", static_cast<int>(step / 60 % 100),
                  static_cast<int>(step % 60));
    int x0 = box.left + 3;
    for (const char* c = text; *c != '\0'; ++c, x0 += kGlyphWidth + 1) {
        const auto rows = GlyphRows(*c);
        for (int row = 0; row < kGlyphHeight; ++row) {
            for (int col = 0; col < kGlyphWidth; ++col) {
                if ((rows[row] >> (kGlyphWidth - 1 - col) & 1) != 0) {
                    Put(image, x0 + col, box.top + 1 + row, {255, 255, 255});
                }
            }
        }
    }
}

void DrawHighlight(Picture& image, int64_t step) {
    const int rows = ListRowCount(image.width(), image.height());
    if (rows == 0) {
        return;
    }
    const ScreenBox box = ListRowBox(image.width(), image.height(), static_cast<int>(step % rows));
    for (int y = box.top; y <= box.bottom; ++y) {
        for (int x = box.left; x <= box.right; ++x) {
            const Rgb c = image.Contains(x, y) ? image.At(x, y) : Rgb{};
            Put(image, x, y,
                {static_cast<uint8_t>(255 - c.r), static_cast<uint8_t>(255 - c.g),
                 static_cast<uint8_t>(255 - c.b)});
        }
    }
}

void Fill(Picture& image, const ScreenBox& box, Rgb colour) {
    for (int y = box.top; y <= box.bottom; ++y) {
        for (int x = box.left; x <= box.right; ++x) {
            Put(image, x, y, colour);
        }
    }
}

void DrawRowsTrade(Picture& image, int64_t step) {
    const ScreenBox box = RowsTradeBox();
    const int first = box.top + static_cast<int>(step % 2);
    for (int x = box.left; x <= box.right; ++x) {
        const auto v = static_cast<uint8_t>(6 * (x - box.left));
        Put(image, x, first, {v, 40, 200});
        Put(image, x, box.top + box.bottom - first, {200, static_cast<uint8_t>(255 - v), 0});
    }
}

void DrawPixelsTrade(Picture& image, int64_t step) {
    const ScreenBox box = PixelsTradeBox();
    Fill(image, box, {0, 0, 0});
    const bool traded = step % 2 != 0;
    Put(image, box.left + 2, box.top, traded ? Rgb{0, 0, 255} : Rgb{255, 0, 0});
    Put(image, box.left + 13, box.top, traded ? Rgb{255, 0, 0} : Rgb{0, 0, 255});
}

void DrawMovingBlock(Picture& image, int64_t step) {
    const ScreenBox box = MovingBlockBox();
    Fill(image, box, {0, 0, 0});
    const int left = box.left + 1 + static_cast<int>(step % 8);
    Fill(image, {left, box.top + 1, left + 5, box.top + 6}, {255, 255, 255});
}

void DrawChecker(Picture& image, int64_t step) {
    const ScreenBox box = CheckerBox();
    const bool flipped = step % 2 != 0;
    for (int y = box.top; y <= box.bottom; ++y) {
        for (int x = box.left; x <= box.right; ++x) {
            const uint8_t v = ((x + y) % 2 == 0) != flipped ? 255 : 0;
            Put(image, x, y, {v, v, v});
        }
    }
}

// The test card's text starts two pixels into its lowest three eighths.
int FirstRowTop(int height) {
    return height * 5 / 8 + 1;
}

} // namespace

ScreenBox ClockBox(int width) {
    return {std::max(0, width - kClockWidth - 2), 2, std::max(0, width - 3), 2 + kClockHeight - 1};
}

int ListRowCount(int width, int height) {
    if (width < 3) {
        return 0;
    }
    const int room = (height - 1) - FirstRowTop(height);
    return std::clamp(room / kRowPitch, 0, kMaxRows);
}

ScreenBox ListRowBox(int width, int height, int row) {
    const int top = FirstRowTop(height) + row * kRowPitch;
    return {1, top, width - 2, top + kRowPitch - 1};
}

ScreenBox RowsTradeBox() {
    return {8, 100, 47, 101};
}

ScreenBox PixelsTradeBox() {
    return {56, 100, 71, 100};
}

ScreenBox MovingBlockBox() {
    return {80, 100, 111, 107};
}

ScreenBox CheckerBox() {
    return {120, 100, 121, 101};
}

void DrawAnimationStep(Picture& image, const SimAnimation& animation, int64_t step) {
    if (animation.highlight) {
        DrawHighlight(image, step);
    }
    if (animation.rows) {
        DrawRowsTrade(image, step);
    }
    if (animation.pixels) {
        DrawPixelsTrade(image, step);
    }
    if (animation.block) {
        DrawMovingBlock(image, step);
    }
    if (animation.checker) {
        DrawChecker(image, step);
    }
    if (animation.clock) {
        DrawClock(image, step);
    }
}

bool ParseAnimationParts(std::string_view text, SimAnimation& animation) {
    SimAnimation parsed;
    parsed.periodMs = animation.periodMs;
    const struct {
        std::string_view name;
        bool SimAnimation::*part;
    } kParts[] = {{"clock", &SimAnimation::clock}, {"highlight", &SimAnimation::highlight},
                  {"rows", &SimAnimation::rows},   {"pixels", &SimAnimation::pixels},
                  {"block", &SimAnimation::block}, {"checker", &SimAnimation::checker}};
    while (true) {
        const std::size_t comma = text.find(',');
        const std::string_view name = text.substr(0, comma);
        const auto known = std::find_if(std::begin(kParts), std::end(kParts),
                                        [name](const auto& part) { return part.name == name; });
        if (known == std::end(kParts)) {
            return false;
        }
        parsed.*(known->part) = true;
        if (comma == std::string_view::npos) {
            break;
        }
        text.remove_prefix(comma + 1);
    }
    animation = parsed;
    return true;
}

} // namespace panelgrab::sim
