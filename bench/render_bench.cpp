// Decoding a received picture into the window's bitmap, next to a plain copy of the same text: the
// decode runs again every time the window sees new lines, so it must stay a small multiple of a copy.
#include <benchmark/benchmark.h>

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "capture/display_bitmap.h"
#include "capture/screen_image.h"

namespace panelgrab {
// Puts a received picture into a screen buffer without a phone.
class ScreenImageAccess {
public:
    static void Load(ScreenImage& image, const DisplayInfo& entry, const std::string& text) {
        std::lock_guard guard(image.lock_);
        image.current_ = entry;
        image.data_.assign(text.begin(), text.end());
        image.received_ = static_cast<int32_t>(text.size());
    }
};
} // namespace panelgrab

namespace {

using panelgrab::DisplayBitmap;

std::string PictureText(std::size_t characters) {
    static constexpr char kDigits[] = "0123456789ABCDEFabcdef";
    std::string text(characters, '0');
    for (std::size_t i = 0; i < characters; ++i) {
        text[i] = kDigits[(i * 13 + i / 7) % 22];
    }
    return text;
}

// RenderInto of a whole 16-bit picture (narrow pixels: 4 characters each), lock included.
void BM_RenderInto16(benchmark::State& state) {
    const auto width = static_cast<uint16_t>(state.range(0));
    const auto height = static_cast<uint16_t>(state.range(1));
    const panelgrab::DisplayInfo entry(width, height, 16, width * 4u, 0);
    const std::string text = PictureText(std::size_t{entry.lineLength} * height);
    panelgrab::ScreenImage image;
    panelgrab::ScreenImageAccess::Load(image, entry, text);
    DisplayBitmap bitmap;
    bitmap.SetSize(entry);
    for (auto _ : state) {
        benchmark::DoNotOptimize(image.RenderInto(bitmap));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_CopyText(benchmark::State& state) {
    const std::size_t characters = static_cast<std::size_t>(state.range(0) * state.range(1) * 4);
    const std::string text = PictureText(characters);
    std::vector<char> copy(characters);
    for (auto _ : state) {
        std::memcpy(copy.data(), text.data(), characters);
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * characters));
}

BENCHMARK(BM_RenderInto16)->Args({176, 220})->Args({480, 800});
BENCHMARK(BM_CopyText)->Args({176, 220})->Args({480, 800});

} // namespace
