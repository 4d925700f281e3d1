#pragma once
// What the PNG readers' targets do with every input: repair its chunk CRCs, decode it from a buffer
// of exactly its size (so that any read past the file's end is an ASan finding) and check what every
// refusal and every accepted picture must be.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "compare/picture.h"
#include "compare/picture_file_status.h"
#include "compare/png_picture_decoder.h"
#include "fuzz_input.h"
#include "png_chunk_crcs.h"

namespace panelgrab::fuzz {

using PngDecoder = PictureFileStatus (*)(std::span<const uint8_t>, Picture&, std::string&);

// True when `decode` accepts the input as `picture`; `file` is the input as decoded (CRCs repaired).
inline bool DecodeRepairedPng(const uint8_t* data, std::size_t size, PngDecoder decode,
                              std::vector<uint8_t>& file, Picture& picture) {
    file.assign(data, data + size);
    RepairChunkCrcs(file);
    const auto copy = ExactCopy({reinterpret_cast<const char*>(file.data()), file.size()});
    const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(copy.get()), file.size());
    std::string error;
    if (decode(bytes, picture, error) != PictureFileStatus::Ok) {
        Check(!error.empty(), "a refusal says why");
        Check(picture.empty(), "a refusal leaves the picture alone");
        return false;
    }
    Check(LooksLikePng(bytes), "only PNG files are read");
    Check(picture.width() > 0 && picture.height() > 0, "an accepted picture has pixels");
    Check(int64_t{picture.width()} * picture.height() <= kMaxPicturePixels, "within the limits");
    return true;
}

} // namespace panelgrab::fuzz
