// ChecksumOf over arbitrary display entries, rectangles and picture text. The text is a buffer of
// exactly its size, so any read past it is caught; characters missing at its end must count as '0'.
#include <algorithm>
#include <memory>
#include <string>

#include "common/local_checksum.h"
#include "fuzz_input.h"

namespace {

using panelgrab::fuzz::Check;

// Small bounds keep one run in microseconds: every shape of entry and rectangle fits well within them.
constexpr std::size_t kMaxPaddedText = 1 << 15;
constexpr uint64_t kMaxArea = 1 << 12;
constexpr uint8_t kFormats[] = {1, 2, 8, 16, 0, 4, 24, 32};

struct Entry {
    uint8_t bitsPerPixel;
    uint32_t lineLength;
    uint16_t width;
    uint16_t left, top, right, bottom;
    bool widePixels;
};

Entry ReadEntry(panelgrab::fuzz::FuzzInput& in) {
    Entry e{};
    const uint8_t format = in.Byte();
    e.bitsPerPixel = (format & 0x80u) != 0 ? format : kFormats[format % 8];
    const uint8_t shape = in.Byte();
    e.widePixels = (shape & 1u) != 0;
    e.width = static_cast<uint16_t>(in.Upto(256));
    e.lineLength = (shape & 2u) != 0 ? in.Long() : in.Upto(4096);
    // Rectangles mostly within a display's reach, now and then anywhere a uint16_t goes.
    const bool anywhere = (shape & 0x1Cu) == 0x1Cu;
    for (uint16_t* bound : {&e.left, &e.top, &e.right, &e.bottom}) {
        *bound = anywhere ? in.Word() : static_cast<uint16_t>(in.Upto(127));
    }
    // The sum's cost grows with the rectangle's area wherever the text reaches it (rows of a
    // degenerate entry may all start at the same place and re-read it); keep one run short.
    if (e.left <= e.right && e.top <= e.bottom) {
        const uint64_t columns = uint64_t{e.right} - e.left + 1;
        const uint64_t rows = std::max<uint64_t>(1, kMaxArea / columns);
        e.bottom = static_cast<uint16_t>(std::min<uint64_t>(e.bottom, e.top + rows - 1));
    }
    return e;
}

int32_t Checksum(const Entry& e, const char* text, std::size_t size) {
    return panelgrab::ChecksumOf(text, size, e.bitsPerPixel, e.lineLength, e.width, e.left, e.top, e.right,
                                 e.bottom, e.widePixels);
}

// How far into the text the rectangle can reach, in any of the formats.
uint64_t Reach(const Entry& e) {
    const uint64_t perRow = std::max<uint64_t>({uint64_t{e.width} * 8u, e.lineLength, uint64_t{e.width} + 1});
    return uint64_t{e.bottom} * perRow + uint64_t{e.right} * 8u + 16u;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    panelgrab::fuzz::FuzzInput in(data, size);
    const Entry e = ReadEntry(in);
    const std::string_view rest = in.Rest();
    const auto text = panelgrab::fuzz::ExactCopy(rest);

    Check(Checksum(e, nullptr, rest.size()) == -1, "no data gives -1");
    const int32_t sum = Checksum(e, text.get(), rest.size());
    if (e.left > e.right || e.top > e.bottom) {
        Check(sum == 0, "an empty rectangle sums to 0");
    }
    if (e.bitsPerPixel != 1 && e.bitsPerPixel != 2 && e.bitsPerPixel != 8 && e.bitsPerPixel != 16) {
        Check(sum == 0, "an unknown format sums to 0");
    }

    const uint64_t reach = Reach(e);
    if (reach <= kMaxPaddedText && reach > rest.size()) {
        std::string padded(rest);
        padded.resize(static_cast<std::size_t>(reach), '0');
        Check(Checksum(e, padded.data(), padded.size()) == sum, "missing text counts as '0'");
    }
    return 0;
}
