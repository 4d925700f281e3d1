#include "common/image/zlib_png_encoder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <zlib.h>

#include "common/image/png_filters.h"

namespace panelgrab {
namespace {

constexpr std::size_t kBytesPerPixel = 3;
constexpr std::size_t kChunkData = 8192; // libpng's compression buffer: one IDAT chunk each
constexpr int kWindowBits = 15;
constexpr std::size_t kSmallImage = 16384;
constexpr std::size_t kDeflateLookahead = 262;

// The row filtered with `filter` into `out`; `prior` is the previous (unfiltered) row, zeros
// above the first one.
void ApplyFilter(PngFilter filter, const std::vector<uint8_t>& row, const std::vector<uint8_t>& prior,
                 std::vector<uint8_t>& out) {
    for (std::size_t i = 0; i < row.size(); ++i) {
        const int left = i >= kBytesPerPixel ? row[i - kBytesPerPixel] : 0;
        const int up = prior[i];
        const int upLeft = i >= kBytesPerPixel ? prior[i - kBytesPerPixel] : 0;
        out[i] = static_cast<uint8_t>(row[i] - PngPrediction(filter, left, up, upLeft));
    }
}

// libpng's measure of how well a filtered row will compress: bytes read as signed, by magnitude.
std::size_t SignedMagnitudeSum(const std::vector<uint8_t>& filtered) {
    std::size_t sum = 0;
    for (const uint8_t v : filtered) {
        sum += v < 128 ? v : 256u - v;
    }
    return sum;
}

// The picture's rows as PNG scanlines, each led by the byte of its filter.
std::vector<uint8_t> FilteredScanlines(const Picture& picture) {
    const std::size_t rowBytes = static_cast<std::size_t>(picture.width()) * kBytesPerPixel;
    std::vector<uint8_t> scanlines;
    scanlines.reserve((rowBytes + 1) * static_cast<std::size_t>(picture.height()));
    std::vector<uint8_t> prior(rowBytes, 0);
    std::vector<uint8_t> row;
    std::array<std::vector<uint8_t>, kPngFilterCount> candidates;
    candidates.fill(std::vector<uint8_t>(rowBytes));
    for (int32_t y = 0; y < picture.height(); ++y) {
        row.assign(picture.Row(y), picture.Row(y) + rowBytes);
        // Ties go to the earlier filter, as in libpng.
        PngFilter best = kPngNone;
        std::size_t bestSum = 0;
        for (int f = kPngNone; f < kPngFilterCount; ++f) {
            const auto filter = static_cast<PngFilter>(f);
            ApplyFilter(filter, row, prior, candidates[f]);
            const std::size_t sum = SignedMagnitudeSum(candidates[f]);
            if (f == kPngNone || sum < bestSum) {
                best = filter;
                bestSum = sum;
            }
        }
        scanlines.push_back(best);
        scanlines.insert(scanlines.end(), candidates[best].begin(), candidates[best].end());
        prior.swap(row);
    }
    return scanlines;
}

// libpng shrinks the deflate window of small images to what the data can use.
int WindowBitsFor(std::size_t dataSize) {
    int windowBits = kWindowBits;
    if (dataSize <= kSmallImage) {
        std::size_t halfWindow = std::size_t{1} << (windowBits - 1);
        while (dataSize + kDeflateLookahead <= halfWindow) {
            halfWindow >>= 1;
            --windowBits;
        }
    }
    return windowBits;
}

// libpng then writes the smallest window size into the zlib header that the data allows, even below
// the 512 bytes zlib can compress with (the header's window is only a promise to the reader).
void ShrinkHeaderWindow(std::size_t dataSize, std::vector<uint8_t>& compressed) {
    if (dataSize > kSmallImage || compressed.size() < 2) {
        return;
    }
    unsigned cmf = compressed[0];
    if ((cmf & 0x0Fu) != Z_DEFLATED || (cmf & 0xF0u) > 0x70u) {
        return;
    }
    unsigned windowCode = cmf >> 4;
    std::size_t halfWindow = std::size_t{1} << (windowCode + 7);
    if (dataSize > halfWindow) {
        return;
    }
    do {
        halfWindow >>= 1;
        --windowCode;
    } while (windowCode > 0 && dataSize <= halfWindow);
    cmf = (windowCode << 4) | Z_DEFLATED;
    // The flag byte keeps its level bits and gets the check bits that make CMF*256+FLG a multiple of 31.
    unsigned flags = compressed[1] & 0xE0u;
    flags += 0x1Fu - ((cmf << 8) + flags) % 0x1Fu;
    compressed[0] = static_cast<uint8_t>(cmf);
    compressed[1] = static_cast<uint8_t>(flags);
}

bool Deflate(const std::vector<uint8_t>& data, std::vector<uint8_t>& compressed) {
    z_stream stream{};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, WindowBitsFor(data.size()), 8, Z_FILTERED) !=
        Z_OK) {
        return false;
    }
    compressed.resize(deflateBound(&stream, static_cast<uLong>(data.size())));
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = compressed.data();
    stream.avail_out = static_cast<uInt>(compressed.size());
    const int status = deflate(&stream, Z_FINISH);
    compressed.resize(stream.total_out);
    deflateEnd(&stream);
    ShrinkHeaderWindow(data.size(), compressed);
    return status == Z_STREAM_END;
}

} // namespace

void PutPngInt32(uint8_t* out, uint32_t value) {
    out[0] = static_cast<uint8_t>(value >> 24);
    out[1] = static_cast<uint8_t>(value >> 16);
    out[2] = static_cast<uint8_t>(value >> 8);
    out[3] = static_cast<uint8_t>(value);
}

// Appends a chunk: length, type, data and the CRC of type and data.
void PutPngChunk(std::vector<uint8_t>& out, const char* type, const uint8_t* data, std::size_t size) {
    const std::size_t at = out.size();
    out.resize(at + 4 + 4 + size + 4);
    uint8_t* chunk = out.data() + at;
    PutPngInt32(chunk, static_cast<uint32_t>(size));
    std::memcpy(chunk + 4, type, 4);
    if (size > 0) {
        std::memcpy(chunk + 8, data, size);
    }
    PutPngInt32(chunk + 8 + size, static_cast<uint32_t>(crc32(0, chunk + 4, static_cast<uInt>(size + 4))));
}

bool CompressPngImageData(const Picture& picture, std::vector<uint8_t>& compressed) {
    return Deflate(FilteredScanlines(picture), compressed);
}

bool EncodePngWithZlib(const Picture& picture, std::vector<uint8_t>& png, std::string& error) {
    if (picture.empty()) {
        error = "the picture is empty";
        return false;
    }
    std::vector<uint8_t> compressed;
    if (!Deflate(FilteredScanlines(picture), compressed)) {
        error = "PNG encoding failed: zlib refused the data";
        return false;
    }
    png.assign({0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'});
    // 8 bits a sample, RGB, deflate, adaptive filters, no interlace.
    uint8_t header[13] = {0, 0, 0, 0, 0, 0, 0, 0, 8, 2, 0, 0, 0};
    PutPngInt32(header, static_cast<uint32_t>(picture.width()));
    PutPngInt32(header + 4, static_cast<uint32_t>(picture.height()));
    PutPngChunk(png, "IHDR", header, sizeof header);
    const uint8_t perceptual = 0;
    PutPngChunk(png, "sRGB", &perceptual, 1);
    for (std::size_t at = 0; at < compressed.size(); at += kChunkData) {
        PutPngChunk(png, "IDAT", compressed.data() + at, std::min(kChunkData, compressed.size() - at));
    }
    PutPngChunk(png, "IEND", nullptr, 0);
    return true;
}

} // namespace panelgrab
