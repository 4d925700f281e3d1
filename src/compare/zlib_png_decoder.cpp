#include "compare/zlib_png_decoder.h"

#include <new>
#include <vector>
#include <zlib.h>

#include "compare/png_chunks.h"
#include "compare/png_picture_decoder.h"
#include "compare/png_scanlines.h"

namespace panelgrab {

namespace {

// Ends the zlib stream however the inflating ends.
class Inflater {
public:
    Inflater() {
        // Window size 0: the one the stream's header names, as libpng takes it.
        ok_ = inflateInit2(&stream_, 0) == Z_OK;
    }
    ~Inflater() {
        if (ok_) {
            inflateEnd(&stream_);
        }
    }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    bool ok() const { return ok_; }
    z_stream& stream() { return stream_; }

private:
    z_stream stream_{};
    bool ok_ = false;
};

// Inflates the IDAT pieces into `out`, which must come out exactly full: the stream has to end
// there (checksum included), with no compressed bytes left over. False with a reason otherwise.
bool InflateImageData(const std::vector<std::span<const uint8_t>>& pieces, std::vector<uint8_t>& out,
                      std::string& why) {
    Inflater inflater;
    if (!inflater.ok()) {
        why = "zlib cannot start";
        return false;
    }
    z_stream& stream = inflater.stream();
    uint8_t spare = 0; // where a stream longer than the header says shows itself
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    bool full = out.empty();
    std::size_t next = 0;
    const auto restNonEmpty = [&pieces, &next] {
        for (std::size_t i = next; i < pieces.size(); ++i) {
            if (!pieces[i].empty()) {
                return true;
            }
        }
        return false;
    };
    for (;;) {
        if (stream.avail_in == 0 && next < pieces.size()) {
            stream.next_in = const_cast<Bytef*>(pieces[next].data());
            stream.avail_in = static_cast<uInt>(pieces[next].size());
            ++next;
        }
        if (full) {
            stream.next_out = &spare;
            stream.avail_out = 1;
        }
        const int status = inflate(&stream, Z_NO_FLUSH);
        if (full && stream.avail_out == 0) {
            why = "more image data than the header calls for";
            return false;
        }
        full = full || stream.avail_out == 0;
        if (status == Z_STREAM_END) {
            if (!full) {
                why = "not enough image data";
                return false;
            }
            if (stream.avail_in > 0 || restNonEmpty()) {
                why = "extra compressed data after the image";
                return false;
            }
            return true;
        }
        if (status == Z_BUF_ERROR && stream.avail_in == 0 && next == pieces.size()) {
            why = "not enough image data";
            return false;
        }
        if (status != Z_OK && status != Z_BUF_ERROR) {
            why = std::string("IDAT: ") + (stream.msg != nullptr ? stream.msg : "decompression error");
            return false;
        }
    }
}

} // namespace

PictureFileStatus DecodePngWithZlib(std::span<const uint8_t> bytes, Picture& picture, std::string& error) {
    if (!LooksLikePng(bytes)) {
        error = "not a PNG file";
        return PictureFileStatus::UnknownFormat;
    }
    PngChunks chunks;
    if (PictureFileStatus status = ReadPngChunks(bytes, chunks, error); status != PictureFileStatus::Ok) {
        return status;
    }
    Picture decoded;
    std::vector<uint8_t> scanlines;
    try {
        scanlines.resize(PngScanlineBytes(chunks.header));
    } catch (const std::bad_alloc&) {
        scanlines.clear();
    }
    if (scanlines.empty() || !decoded.Resize(static_cast<int32_t>(chunks.header.width),
                                             static_cast<int32_t>(chunks.header.height))) {
        error = "no memory for the PNG picture";
        return PictureFileStatus::TooLarge;
    }
    std::string why;
    if (!InflateImageData(chunks.imageData, scanlines, why) ||
        !UnfilterPngScanlines(chunks, scanlines, decoded, why)) {
        error = why.starts_with("damaged") ? why : "damaged PNG file: " + why;
        return PictureFileStatus::Damaged;
    }
    picture = std::move(decoded);
    return PictureFileStatus::Ok;
}

} // namespace panelgrab
