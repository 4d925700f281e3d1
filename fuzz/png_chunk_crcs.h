#pragma once
// Rewrites the CRC of every whole chunk of a PNG file, so that mutations reach the chunk parsers and
// the decompressor instead of stopping at a CRC error.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace panelgrab::fuzz {

inline uint32_t PngCrc32(const uint8_t* data, std::size_t size) {
    uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

inline void RepairChunkCrcs(std::vector<uint8_t>& file) {
    const auto big32 = [](const uint8_t* p) {
        return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
    };
    std::size_t at = 8;
    while (at + 12 <= file.size()) {
        const uint32_t length = big32(&file[at]);
        if (length > file.size() - at - 12) {
            return;
        }
        const uint32_t crc = PngCrc32(&file[at + 4], 4 + std::size_t{length});
        uint8_t* field = &file[at + 8 + length];
        field[0] = static_cast<uint8_t>(crc >> 24);
        field[1] = static_cast<uint8_t>(crc >> 16);
        field[2] = static_cast<uint8_t>(crc >> 8);
        field[3] = static_cast<uint8_t>(crc);
        at += 12 + std::size_t{length};
    }
}

} // namespace panelgrab::fuzz
