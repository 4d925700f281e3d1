#include "common/image/png_decoder.h"

#include <cstring>
#include <new>
#include <vector>

#include "common/image/png_chunks.h"
#include "common/image/png_inflate.h"
#include "common/image/png_scanlines.h"

namespace panelgrab {

namespace {
constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
} // namespace

bool LooksLikePng(std::span<const uint8_t> bytes) {
    return bytes.size() >= sizeof kSignature && std::memcmp(bytes.data(), kSignature, sizeof kSignature) == 0;
}

PictureFileStatus DecodePngPicture(std::span<const uint8_t> bytes, Picture& picture, std::string& error) {
    if (!LooksLikePng(bytes)) {
        error = "not a PNG file";
        return PictureFileStatus::UnknownFormat;
    }
    PngChunks chunks;
    if (PictureFileStatus status = ReadPngChunks(bytes, chunks, error); status != PictureFileStatus::Ok) {
        return status;
    }
    // The picture is allocated once the image data has proved to be all there.
    std::vector<uint8_t> scanlines;
    Picture decoded;
    std::string why;
    try {
        if (!InflatePngImageData(chunks.imageData, PngScanlineBytes(chunks.header), scanlines, why)) {
            error = "damaged PNG file: " + why;
            return PictureFileStatus::Damaged;
        }
    } catch (const std::bad_alloc&) {
        why = "no memory";
    }
    if (!why.empty() || !decoded.Resize(static_cast<int32_t>(chunks.header.width),
                                        static_cast<int32_t>(chunks.header.height))) {
        error = "no memory for the PNG picture";
        return PictureFileStatus::TooLarge;
    }
    if (!UnfilterPngScanlines(chunks, scanlines, decoded, error)) {
        return PictureFileStatus::Damaged;
    }
    picture = std::move(decoded);
    return PictureFileStatus::Ok;
}

} // namespace panelgrab
