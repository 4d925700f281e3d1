#include "common/image/picture_file_reader.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/image/bmp_decoder.h"
#include "common/image/png_decoder.h"

namespace panelgrab {

namespace {

// Reads the whole file, refusing one above the limit without reading it all.
PictureFileStatus ReadAllBytes(const std::string& path, std::vector<uint8_t>& bytes, std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = std::strerror(errno);
        return PictureFileStatus::CannotRead;
    }
    PictureFileStatus status = PictureFileStatus::Ok;
    uint8_t buffer[65536];
    for (;;) {
        const std::size_t got = std::fread(buffer, 1, sizeof buffer, file);
        if (bytes.size() + got > PictureFileReader::kMaxFileBytes) {
            error =
                "the file is larger than " + std::to_string(PictureFileReader::kMaxFileBytes >> 20) + " MiB";
            status = PictureFileStatus::TooLarge;
            break;
        }
        bytes.insert(bytes.end(), buffer, buffer + got);
        if (got < sizeof buffer) {
            if (std::ferror(file) != 0) {
                // A folder opens but does not read: say so rather than "Is a directory" lost on EOF.
                error = errno != 0 ? std::strerror(errno) : "read error";
                status = PictureFileStatus::CannotRead;
            }
            break;
        }
    }
    std::fclose(file);
    return status;
}

} // namespace

PictureFileStatus PictureFileReader::Read(const std::string& path, Picture& picture, std::string& error) {
    std::vector<uint8_t> bytes;
    std::string why;
    errno = 0;
    if (PictureFileStatus status = ReadAllBytes(path, bytes, why); status != PictureFileStatus::Ok) {
        error = path + ": " + (status == PictureFileStatus::CannotRead ? "cannot read it: " : "") + why;
        return status;
    }
    return Decode(bytes, path, picture, error);
}

PictureFileStatus PictureFileReader::Decode(std::span<const uint8_t> bytes, const std::string& name,
                                            Picture& picture, std::string& error) {
    std::string why;
    PictureFileStatus status = PictureFileStatus::UnknownFormat;
    if (LooksLikePng(bytes)) {
        status = DecodePngPicture(bytes, picture, why);
    } else if (LooksLikeBmp(bytes)) {
        status = DecodeBmpPicture(bytes, picture, why);
    } else {
        why = bytes.empty() ? "the file is empty" : "neither a BMP nor a PNG picture";
    }
    if (status != PictureFileStatus::Ok) {
        error = name + ": " + why;
    }
    return status;
}

} // namespace panelgrab
