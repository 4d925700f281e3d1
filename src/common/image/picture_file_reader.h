#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "common/image/picture.h"
#include "common/image/picture_file_status.h"

namespace panelgrab {

// Reads BMP and PNG files into a Picture. The format is told by the file's first bytes, not by its
// name, so a PNG called shot.bmp is still read. Messages name the file and say what is wrong.
class PictureFileReader {
public:
    // Files larger than this are refused before they are read.
    static constexpr std::uintmax_t kMaxFileBytes = 256u * 1024 * 1024;

    // Reads `path` into `picture` (left alone on failure, `error` then says why, with the path).
    static PictureFileStatus Read(const std::string& path, Picture& picture, std::string& error);

    // Decodes a file's bytes already in memory; `name` is what messages call it.
    static PictureFileStatus Decode(std::span<const uint8_t> bytes, const std::string& name, Picture& picture,
                                    std::string& error);
};

} // namespace panelgrab
