// The PNG reader over arbitrary bytes. Chunk checksums are repaired before decoding, so that
// mutations reach the chunk parsers and the decompressor instead of stopping at a CRC error; the
// input is decoded from a buffer of exactly its size, so that any read past the file's end is an
// ASan finding. A picture it accepts must be sane and come back unchanged through our PNG writer;
// where libpng is there, libpng must read the same pixels from the input.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/image/png_decoder.h"
#include "common/image/zlib_png_encoder.h"
#include "fuzz_input.h"
#include "picture_decode_checks.h"
#include "png_chunk_crcs.h"
#ifdef PANELGRAB_LIBPNG_ORACLE
#include "support/libpng_oracle.h"
#endif

namespace {

using panelgrab::fuzz::Check;

void CheckRoundTrip(const panelgrab::Picture& picture) {
    std::vector<uint8_t> file;
    std::string error;
    Check(panelgrab::EncodePngWithZlib(picture, file, error), "an accepted picture can be written");
    panelgrab::Picture again;
    Check(panelgrab::DecodePngPicture(file, again, error) == panelgrab::PictureFileStatus::Ok,
          "our own PNG reads");
    Check(again == picture, "our own PNG reads back unchanged");
}

void CheckAgainstLibpng([[maybe_unused]] const std::vector<uint8_t>& file,
                        [[maybe_unused]] const panelgrab::Picture& picture) {
#ifdef PANELGRAB_LIBPNG_ORACLE
    panelgrab::Picture reference;
    std::string error;
    if (panelgrab::DecodePngWithLibpng(file, reference, error) == panelgrab::PictureFileStatus::Ok) {
        Check(picture == reference, "the same pixels as libpng");
    }
#endif
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> file(data, data + size);
    panelgrab::fuzz::RepairChunkCrcs(file);
    const auto copy = panelgrab::fuzz::ExactCopy({reinterpret_cast<const char*>(file.data()), file.size()});
    const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(copy.get()), file.size());
    panelgrab::Picture picture;
    std::string error;
    const panelgrab::PictureFileStatus status = panelgrab::DecodePngPicture(bytes, picture, error);
    if (!panelgrab::fuzz::CheckDecoded(status, panelgrab::LooksLikePng(bytes), picture, error)) {
        return 0;
    }
    CheckRoundTrip(picture);
    CheckAgainstLibpng(file, picture);
    return 0;
}
