#pragma once
// The frames of an animated PNG as a viewer shows them, each decoded with the project's own PNG
// reader: every frame's rectangle becomes a PNG file of its own, which is read and drawn over the
// picture before it.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/image/picture.h"
#include "common/image/picture_file_reader.h"
#include "common/image/zlib_png_encoder.h"

namespace panelgrab::test {

struct ApngFrame {
    Picture shown;
    int64_t delayMs = 0; // rounded to whole milliseconds
};

struct ApngFrameControl {
    uint32_t width = 0, height = 0, x = 0, y = 0;
    int64_t delayMs = 0;
    std::vector<uint8_t> data;
};

inline uint32_t ApngInt32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

inline bool DrawApngFrame(const std::vector<uint8_t>& header, const ApngFrameControl& frame, Picture& canvas,
                          std::string& error) {
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> ihdr = header;
    PutPngInt32(ihdr.data(), frame.width);
    PutPngInt32(ihdr.data() + 4, frame.height);
    PutPngChunk(png, "IHDR", ihdr.data(), ihdr.size());
    PutPngChunk(png, "IDAT", frame.data.data(), frame.data.size());
    PutPngChunk(png, "IEND", nullptr, 0);
    Picture part;
    if (PictureFileReader::Decode(png, "frame", part, error) != PictureFileStatus::Ok) {
        return false;
    }
    if (frame.x + frame.width > static_cast<uint32_t>(canvas.width()) ||
        frame.y + frame.height > static_cast<uint32_t>(canvas.height())) {
        error = "a frame outside the picture";
        return false;
    }
    for (int32_t y = 0; y < part.height(); ++y) {
        for (int32_t x = 0; x < part.width(); ++x) {
            canvas.Set(static_cast<int32_t>(frame.x) + x, static_cast<int32_t>(frame.y) + y, part.At(x, y));
        }
    }
    return true;
}

// False with the reason for a file that is not an animated PNG or whose frames do not decode.
inline bool DecodeApng(std::span<const uint8_t> bytes, std::vector<ApngFrame>& frames, std::string& error) {
    frames.clear();
    std::vector<uint8_t> header;
    Picture canvas;
    uint32_t announced = 0;
    std::vector<ApngFrameControl> controls;
    for (std::size_t at = 8; at + 12 <= bytes.size();) {
        const uint32_t size = ApngInt32(&bytes[at]);
        const std::string type(reinterpret_cast<const char*>(&bytes[at + 4]), 4);
        if (at + 12 + size > bytes.size()) {
            error = "a chunk runs past the end";
            return false;
        }
        const uint8_t* data = &bytes[at + 8];
        if (type == "IHDR") {
            header.assign(data, data + size);
            canvas.Resize(static_cast<int32_t>(ApngInt32(data)), static_cast<int32_t>(ApngInt32(data + 4)));
        } else if (type == "acTL") {
            announced = ApngInt32(data);
        } else if (type == "fcTL") {
            const int64_t numerator = data[20] << 8 | data[21];
            const int64_t denominator = (data[22] << 8 | data[23]) == 0 ? 100 : (data[22] << 8 | data[23]);
            controls.push_back({ApngInt32(data + 4),
                                ApngInt32(data + 8),
                                ApngInt32(data + 12),
                                ApngInt32(data + 16),
                                (numerator * 1000 + denominator / 2) / denominator,
                                {}});
        } else if ((type == "IDAT" || type == "fdAT") && !controls.empty()) {
            const std::size_t skip = type == "fdAT" ? 4 : 0;
            controls.back().data.insert(controls.back().data.end(), data + skip, data + size);
        }
        at += 12 + size;
    }
    if (header.empty() || controls.size() != announced || announced == 0) {
        error = "not an animated PNG, or acTL counts " + std::to_string(announced) + " frames for " +
                std::to_string(controls.size());
        return false;
    }
    for (const ApngFrameControl& control : controls) {
        if (!DrawApngFrame(header, control, canvas, error)) {
            return false;
        }
        frames.push_back({canvas, control.delayMs});
    }
    return true;
}

} // namespace panelgrab::test
