// The PNG picture reader over arbitrary bytes. Chunk checksums are repaired before decoding, so
// that mutations reach the chunk parsers and the decompressor instead of stopping at a CRC error.
// A picture it accepts must come back unchanged through libpng's writer.
#include <cstdint>
#include <cstring>
#include <png.h>
#include <span>
#include <string>
#include <vector>

#include "compare/png_picture_decoder.h"
#include "fuzz_input.h"

namespace {

using panelgrab::fuzz::Check;

uint32_t Crc32(const uint8_t* data, std::size_t size) {
    uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

uint32_t Big32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

// Rewrites the CRC of every whole chunk after the signature.
void RepairChunkCrcs(std::vector<uint8_t>& file) {
    std::size_t at = 8;
    while (at + 12 <= file.size()) {
        const uint32_t length = Big32(&file[at]);
        if (length > file.size() - at - 12) {
            return;
        }
        const uint32_t crc = Crc32(&file[at + 4], 4 + std::size_t{length});
        uint8_t* field = &file[at + 8 + length];
        field[0] = static_cast<uint8_t>(crc >> 24);
        field[1] = static_cast<uint8_t>(crc >> 16);
        field[2] = static_cast<uint8_t>(crc >> 8);
        field[3] = static_cast<uint8_t>(crc);
        at += 12 + std::size_t{length};
    }
}

void CheckRoundTrip(const panelgrab::Picture& picture) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(picture.width());
    image.height = static_cast<png_uint_32>(picture.height());
    image.format = PNG_FORMAT_RGB;
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, picture.Row(0), 0, nullptr)) {
        png_image_free(&image);
        return;
    }
    std::vector<uint8_t> file(size);
    const bool written =
        png_image_write_to_memory(&image, file.data(), &size, 0, picture.Row(0), 0, nullptr) != 0;
    png_image_free(&image);
    Check(written, "libpng writes what it measured");
    file.resize(size);
    panelgrab::Picture again;
    std::string error;
    Check(panelgrab::DecodePngPicture(file, again, error) == panelgrab::PictureFileStatus::Ok,
          "libpng's PNG reads");
    Check(again == picture, "libpng's PNG reads back unchanged");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> file(data, data + size);
    RepairChunkCrcs(file);
    const auto copy = panelgrab::fuzz::ExactCopy({reinterpret_cast<const char*>(file.data()), file.size()});
    const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(copy.get()), file.size());
    panelgrab::Picture picture;
    std::string error;
    const panelgrab::PictureFileStatus status = panelgrab::DecodePngPicture(bytes, picture, error);
    if (status != panelgrab::PictureFileStatus::Ok) {
        Check(!error.empty(), "a refusal says why");
        Check(picture.empty(), "a refusal leaves the picture alone");
        return 0;
    }
    Check(panelgrab::LooksLikePng(bytes), "only PNG files are read");
    Check(picture.width() > 0 && picture.height() > 0, "an accepted picture has pixels");
    Check(int64_t{picture.width()} * picture.height() <= panelgrab::kMaxPicturePixels, "within the limits");
    CheckRoundTrip(picture);
    return 0;
}
