#include "common/image/png_chunks.h"

#include <cstring>
#include <zlib.h>

namespace panelgrab {

namespace {

constexpr std::size_t kSignatureSize = 8;
constexpr uint32_t kMaxChunkLength = 0x7FFFFFFFu;

uint32_t Big32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

bool IsCritical(const char* type) {
    return (type[0] & 0x20) == 0;
}

PictureFileStatus Damaged(const std::string& why, std::string& error) {
    error = "damaged PNG file: " + why;
    return PictureFileStatus::Damaged;
}

// The bit depths PNG allows for each colour type.
bool ValidDepth(uint8_t colourType, uint8_t depth) {
    switch (colourType) {
    case 0:
        return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case 3:
        return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case 2:
    case 4:
    case 6:
        return depth == 8 || depth == 16;
    default:
        return false;
    }
}

PictureFileStatus ReadHeader(std::span<const uint8_t> data, PngHeader& header, std::string& error) {
    if (data.size() != 13) {
        return Damaged("IHDR has " + std::to_string(data.size()) + " bytes, not 13", error);
    }
    header.width = Big32(data.data());
    header.height = Big32(data.data() + 4);
    header.bitDepth = data[8];
    header.colourType = data[9];
    header.interlaced = data[12] == 1;
    // A side beyond the limit comes first: libpng calls that too large whatever else is wrong.
    if (header.width > static_cast<uint32_t>(kMaxPictureSide) ||
        header.height > static_cast<uint32_t>(kMaxPictureSide)) {
        error = "the PNG picture is too large";
        return PictureFileStatus::TooLarge;
    }
    if (header.width == 0 || header.height == 0) {
        return Damaged("invalid picture size in IHDR", error);
    }
    if (!ValidDepth(header.colourType, header.bitDepth)) {
        return Damaged("invalid colour type " + std::to_string(header.colourType) + " with bit depth " +
                           std::to_string(header.bitDepth) + " in IHDR",
                       error);
    }
    if (data[10] != 0 || data[11] != 0 || data[12] > 1) {
        return Damaged("unknown compression, filter or interlace method in IHDR", error);
    }
    return PictureFileStatus::Ok;
}

PictureFileStatus ReadPalette(std::span<const uint8_t> data, PngChunks& chunks, std::string& error) {
    if (data.empty() || data.size() % 3 != 0 || data.size() > 3 * chunks.palette.size()) {
        return Damaged("invalid palette length", error);
    }
    for (std::size_t i = 0; i < data.size() / 3; ++i) {
        chunks.palette[i] = {data[3 * i], data[3 * i + 1], data[3 * i + 2]};
    }
    return PictureFileStatus::Ok;
}

// Checked once when the image data begins, where libpng checks it too.
PictureFileStatus BeforeImageData(const PngHeader& header, bool havePalette, std::string& error) {
    if (header.colourType == 3 && !havePalette) {
        return Damaged("missing PLTE before IDAT", error);
    }
    if (int64_t{header.width} * header.height > kMaxPicturePixels) {
        error = "the PNG picture is too large (" + std::to_string(header.width) + "x" +
                std::to_string(header.height) + ")";
        return PictureFileStatus::TooLarge;
    }
    return PictureFileStatus::Ok;
}

} // namespace

int PngHeader::Channels() const {
    switch (colourType) {
    case 2:
        return 3;
    case 4:
        return 2;
    case 6:
        return 4;
    default:
        return 1;
    }
}

PictureFileStatus ReadPngChunks(std::span<const uint8_t> bytes, PngChunks& chunks, std::string& error) {
    bool haveHeader = false;
    bool havePalette = false;
    bool imageDataEnded = false;
    std::size_t at = kSignatureSize;
    for (;;) {
        if (bytes.size() - at < 8) {
            return Damaged("the file ends early", error);
        }
        const uint32_t length = Big32(&bytes[at]);
        char type[5] = {};
        std::memcpy(type, &bytes[at + 4], 4);
        if (length > kMaxChunkLength) {
            return Damaged("chunk length out of range", error);
        }
        for (const char c : std::string_view(type, 4)) {
            if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) {
                return Damaged("invalid chunk type", error);
            }
        }
        if (bytes.size() - at - 8 < std::size_t{length} + 4) {
            return Damaged("the file ends early", error);
        }
        const std::span<const uint8_t> data = bytes.subspan(at + 8, length);
        const uint32_t crc = static_cast<uint32_t>(crc32(0, &bytes[at + 4], length + 4));
        at += 12 + std::size_t{length};
        const bool critical = IsCritical(type);
        if (critical && crc != Big32(data.data() + length)) {
            return Damaged(std::string(type) + ": CRC error", error);
        }
        const std::string_view name(type, 4);
        if (!haveHeader && name != "IHDR") {
            return Damaged(std::string(type) + ": missing IHDR", error);
        }
        const bool imageData = name == "IDAT";
        if (!imageData && !chunks.imageData.empty()) {
            imageDataEnded = true;
        }
        if (name == "IHDR") {
            if (haveHeader) {
                return Damaged("IHDR: duplicate", error);
            }
            if (PictureFileStatus status = ReadHeader(data, chunks.header, error);
                status != PictureFileStatus::Ok) {
                return status;
            }
            haveHeader = true;
        } else if (name == "PLTE") {
            // A palette after the image data comes too late to matter: ignored, as libpng ignores
            // it, even a second one (a palette picture without one has failed at its first IDAT).
            if (!chunks.imageData.empty()) {
                continue;
            }
            if (havePalette) {
                return Damaged("PLTE: duplicate", error);
            }
            // Grey pictures have no use for a palette; a suggested one for colour is not needed.
            if (chunks.header.colourType == 3) {
                if (PictureFileStatus status = ReadPalette(data, chunks, error);
                    status != PictureFileStatus::Ok) {
                    return status;
                }
            }
            havePalette = true;
        } else if (imageData) {
            if (imageDataEnded) {
                return Damaged("IDAT chunks are not consecutive", error);
            }
            if (chunks.imageData.empty()) {
                if (PictureFileStatus status = BeforeImageData(chunks.header, havePalette, error);
                    status != PictureFileStatus::Ok) {
                    return status;
                }
            }
            chunks.imageData.push_back(data);
        } else if (name == "IEND") {
            if (chunks.imageData.empty()) {
                return Damaged("IEND: out of place, there is no IDAT", error);
            }
            return PictureFileStatus::Ok;
        } else if (critical) {
            return Damaged(std::string(type) + ": unknown critical chunk", error);
        }
    }
}

} // namespace panelgrab
