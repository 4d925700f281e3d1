#include "support/libpng_oracle.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <png.h>

#include "common/image/png_decoder.h"

namespace panelgrab {

namespace {

// libpng reports errors by longjmp. The functions that call setjmp below hold no object with a
// destructor, and the callbacks hold none either, so the jump never skips a C++ clean-up: every
// C++ object lives in DecodePngPicture's own frame, which the jump never leaves.
struct ReadState {
    const uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t at = 0;
    char message[160] = {};
    bool tooLarge = false;  // a side beyond kMaxPictureSide
    bool extraData = false; // more image data than the header calls for
};

void ReadBytes(png_structp png, png_bytep out, std::size_t length) {
    auto* state = static_cast<ReadState*>(png_get_io_ptr(png));
    if (length > state->size - state->at) {
        png_error(png, "the file ends early");
    }
    std::memcpy(out, state->data + state->at, length);
    state->at += length;
}

[[noreturn]] void OnError(png_structp png, png_const_charp message) {
    auto* state = static_cast<ReadState*>(png_get_error_ptr(png));
    std::snprintf(state->message, sizeof state->message, "%s", message);
    png_longjmp(png, 1);
}

// libpng only warns about a side beyond the limit (then fails with "Invalid IHDR data") and about
// image data beyond what the header calls for (then goes on): both are kept to refuse the file.
void OnWarning(png_structp png, png_const_charp message) {
    auto* state = static_cast<ReadState*>(png_get_error_ptr(png));
    if (std::strstr(message, "exceeds user limit") != nullptr) {
        state->tooLarge = true;
    } else if (std::strstr(message, "Too much image data") != nullptr ||
               std::strstr(message, "Extra compressed data") != nullptr ||
               std::strstr(message, "Too many IDATs") != nullptr) {
        state->extraData = true;
        std::snprintf(state->message, sizeof state->message, "%s", message);
    }
}

struct Header {
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    std::size_t rowBytes = 0;
    int channels = 0;
    int bitDepth = 0;
};

// Reads up to the first pixel row and asks libpng for 8-bit RGB rows whatever the file holds.
bool ReadHeader(png_structp png, png_infop info, Header* header) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_read_info(png, info);
    const png_byte colour = png_get_color_type(png, info);
    const png_byte depth = png_get_bit_depth(png, info);
    if (colour == PNG_COLOR_TYPE_PALETTE) {
        png_set_palette_to_rgb(png);
    }
    if (colour == PNG_COLOR_TYPE_GRAY && depth < 8) {
        png_set_expand_gray_1_2_4_to_8(png);
    }
    if (colour == PNG_COLOR_TYPE_GRAY || colour == PNG_COLOR_TYPE_GRAY_ALPHA) {
        png_set_gray_to_rgb(png);
    }
    if (depth == 16) {
        png_set_scale_16(png);
    }
    // A palette's transparency becomes an alpha channel on expansion; it goes with the rest.
    png_set_strip_alpha(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    header->width = png_get_image_width(png, info);
    header->height = png_get_image_height(png, info);
    header->rowBytes = png_get_rowbytes(png, info);
    header->channels = png_get_channels(png, info);
    header->bitDepth = png_get_bit_depth(png, info);
    return true;
}

// The rows, then the chunks up to IEND: a file cut after its image data is damaged too.
bool ReadRows(png_structp png, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_read_image(png, rows);
    png_read_end(png, nullptr);
    return true;
}

// Frees libpng's structures however the decoding ends.
class PngReader {
public:
    explicit PngReader(ReadState& state) {
        png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, OnError, OnWarning);
        if (png_ != nullptr) {
            info_ = png_create_info_struct(png_);
        }
        if (info_ != nullptr) {
            png_set_read_fn(png_, &state, ReadBytes);
            png_set_user_limits(png_, kMaxPictureSide, kMaxPictureSide);
        }
    }
    ~PngReader() { png_destroy_read_struct(&png_, info_ != nullptr ? &info_ : nullptr, nullptr); }
    PngReader(const PngReader&) = delete;
    PngReader& operator=(const PngReader&) = delete;

    bool ok() const { return info_ != nullptr; }
    png_structp png() const { return png_; }
    png_infop info() const { return info_; }

private:
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
};

PictureFileStatus Refuse(PictureFileStatus status, std::string text, std::string& error) {
    error = std::move(text);
    return status;
}

PictureFileStatus Damaged(const ReadState& state, std::string& error) {
    return Refuse(PictureFileStatus::Damaged, std::string("damaged PNG file: ") + state.message, error);
}

} // namespace

PictureFileStatus DecodePngWithLibpng(std::span<const uint8_t> bytes, Picture& picture, std::string& error) {
    if (!LooksLikePng(bytes)) {
        return Refuse(PictureFileStatus::UnknownFormat, "not a PNG file", error);
    }
    ReadState state;
    state.data = bytes.data();
    state.size = bytes.size();
    PngReader reader(state);
    if (!reader.ok()) {
        return Refuse(PictureFileStatus::TooLarge, "no memory for the PNG decoder", error);
    }
    Header header;
    if (!ReadHeader(reader.png(), reader.info(), &header)) {
        return state.tooLarge ? Refuse(PictureFileStatus::TooLarge, "the PNG picture is too large", error)
                              : Damaged(state, error);
    }
    if (int64_t{header.width} * header.height > kMaxPicturePixels) {
        return Refuse(PictureFileStatus::TooLarge,
                      "the PNG picture is too large (" + std::to_string(header.width) + "x" +
                          std::to_string(header.height) + ")",
                      error);
    }
    if (header.channels != 3 || header.bitDepth != 8 || header.rowBytes != std::size_t{header.width} * 3) {
        return Refuse(PictureFileStatus::Unsupported, "a PNG layout that cannot be turned into 8-bit RGB",
                      error);
    }
    Picture decoded;
    if (!decoded.Resize(static_cast<int32_t>(header.width), static_cast<int32_t>(header.height))) {
        return Refuse(PictureFileStatus::TooLarge, "no memory for the PNG picture", error);
    }
    std::vector<png_bytep> rows(header.height);
    for (png_uint_32 y = 0; y < header.height; ++y) {
        rows[y] = decoded.Row(static_cast<int32_t>(y));
    }
    if (!ReadRows(reader.png(), rows.data()) || state.extraData) {
        return Damaged(state, error);
    }
    picture = std::move(decoded);
    return PictureFileStatus::Ok;
}

bool EncodePngWithLibpng(const Picture& picture, std::vector<uint8_t>& png, std::string& error) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(picture.width());
    image.height = static_cast<png_uint_32>(picture.height());
    image.format = PNG_FORMAT_RGB;
    png_alloc_size_t size = 0;
    bool written = png_image_write_to_memory(&image, nullptr, &size, 0, picture.Row(0), 0, nullptr) != 0;
    if (written) {
        png.resize(size);
        written = png_image_write_to_memory(&image, png.data(), &size, 0, picture.Row(0), 0, nullptr) != 0;
        png.resize(size);
    }
    if (!written) {
        error = std::string("libpng: ") + image.message;
    }
    png_image_free(&image);
    return written;
}

} // namespace panelgrab
