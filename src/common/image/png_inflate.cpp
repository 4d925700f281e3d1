#include "common/image/png_inflate.h"

#include <algorithm>
#include <zlib.h>

namespace panelgrab {

namespace {

constexpr std::size_t kFirstBlock = 64 * 1024;

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

bool AnyData(std::span<const std::span<const uint8_t>> pieces) {
    return std::any_of(pieces.begin(), pieces.end(), [](std::span<const uint8_t> p) { return !p.empty(); });
}

} // namespace

bool InflatePngImageData(const std::vector<std::span<const uint8_t>>& pieces, std::size_t expected,
                         std::vector<uint8_t>& out, std::string& why) {
    Inflater inflater;
    if (!inflater.ok()) {
        why = "zlib cannot start";
        return false;
    }
    z_stream& stream = inflater.stream();
    std::size_t filled = 0;
    const auto grow = [&] {
        out.resize(std::min(expected, std::max(kFirstBlock, 2 * out.size())));
        stream.next_out = out.data() + filled;
        stream.avail_out = static_cast<uInt>(out.size() - filled);
    };
    out.clear();
    grow();
    bool full = expected == 0;
    uint8_t spare = 0; // where a stream longer than the header says shows itself
    std::size_t next = 0;
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
        if (!full) {
            filled = out.size() - stream.avail_out;
            full = filled == expected;
            if (!full && stream.avail_out == 0) {
                grow();
            }
        }
        if (status == Z_STREAM_END) {
            if (!full) {
                why = "not enough image data";
                return false;
            }
            if (stream.avail_in > 0 || AnyData(std::span(pieces).subspan(next))) {
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

} // namespace panelgrab
