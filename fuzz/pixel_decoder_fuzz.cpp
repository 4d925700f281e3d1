// DecodeRows over arbitrary display entries and picture text. The bitmap's pixel buffer is sized
// exactly as a bitmap of its (possibly different) size would be, so any write past it is caught;
// the text is a buffer of exactly its size, so any read past it is caught. Characters missing at
// the end of the text must decode as '0' does.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "capture/pixel_decoder.h"
#include "fuzz_input.h"

namespace {

using panelgrab::fuzz::Check;

// Small bounds keep one run in microseconds; every format, padding and lying entry fits within them.
constexpr uint32_t kMaxSide = 96;
constexpr std::size_t kMaxPaddedText = 1 << 16;
constexpr uint8_t kFormats[] = {1, 2, 8, 16, 0, 4, 24, 32};

struct Entry {
    uint16_t width;
    uint16_t height;
    uint8_t bitsPerPixel;
    uint16_t lineLength;
    bool widePixels;
    uint16_t bitmapWidth;
    uint16_t bitmapHeight;
};

Entry ReadEntry(panelgrab::fuzz::FuzzInput& in) {
    Entry e{};
    e.width = static_cast<uint16_t>(in.Upto(kMaxSide));
    e.height = static_cast<uint16_t>(in.Upto(kMaxSide));
    const uint8_t format = in.Byte();
    e.bitsPerPixel = (format & 0x80u) != 0 ? format : kFormats[format % 8];
    const uint8_t shape = in.Byte();
    e.widePixels = (shape & 1u) != 0;
    // Mostly the line length such an entry has, sometimes a lying one.
    const uint16_t word = in.Word();
    const unsigned perPixel = e.widePixels ? 8u : std::max(1u, e.bitsPerPixel / 4u);
    e.lineLength = (shape & 6u) != 0 ? static_cast<uint16_t>(e.width * perPixel + word % 3) : word;
    // Mostly a bitmap of the entry's size, sometimes one that lies about it.
    const bool lying = (shape & 0x18u) == 0x18u;
    e.bitmapWidth = lying ? static_cast<uint16_t>(in.Upto(kMaxSide)) : e.width;
    e.bitmapHeight = lying ? static_cast<uint16_t>(in.Upto(kMaxSide)) : e.height;
    return e;
}

std::unique_ptr<uint8_t[]> Decode(const Entry& e, const char* text, std::size_t textSize,
                                  std::size_t pixelBytes) {
    auto pixels = std::make_unique<uint8_t[]>(pixelBytes);
    std::memset(pixels.get(), 0xA5, pixelBytes);
    Check(panelgrab::DecodeRows(e.width, e.height, e.bitsPerPixel, e.lineLength, text, textSize, pixels.get(),
                                pixelBytes, e.widePixels),
          "DecodeRows reports success");
    return pixels;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    panelgrab::fuzz::FuzzInput in(data, size);
    const Entry e = ReadEntry(in);
    const std::string_view rest = in.Rest();
    const auto text = panelgrab::fuzz::ExactCopy(rest);

    const std::size_t rowSize = (3u * e.bitmapWidth + 3u) & ~3u;
    const std::size_t pixelBytes = rowSize * e.bitmapHeight;
    const auto pixels = Decode(e, rest.empty() ? nullptr : text.get(), rest.size(), pixelBytes);

    // The same text padded with '0' to everything the entry could read must decode alike.
    const std::size_t reach = std::size_t{e.height} * e.lineLength + std::size_t{e.width} * 8u + 8u;
    if (reach <= kMaxPaddedText && reach > rest.size()) {
        std::string padded(rest);
        padded.resize(reach, '0');
        const auto again = Decode(e, padded.data(), padded.size(), pixelBytes);
        Check(std::memcmp(pixels.get(), again.get(), pixelBytes) == 0, "missing text decodes as '0'");
    }
    return 0;
}
