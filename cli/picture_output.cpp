#include "cli/picture_output.h"

#include <vector>

#include "common/image/bmp_encoder.h"
#include "common/image/picture_file_writer.h"

namespace panelgrab::cli {

bool IsPictureTarget(const std::string& target, std::string& error) {
    if (target == "-" || PictureFormatOfName(target) != PictureFileFormat::Unknown) {
        return true;
    }
    error = "-o " + target + ": grab writes .bmp and .png files (or - for the BMP on stdout)";
    return false;
}

bool SavePicture(const Picture& picture, const std::string& target, std::ostream& out, std::string& error) {
    if (target == "-") {
        const std::vector<uint8_t> bmp = EncodeBmp(picture);
        out.write(reinterpret_cast<const char*>(bmp.data()), static_cast<std::streamsize>(bmp.size()));
        out.flush();
        if (!out) {
            error = "could not write the picture to stdout";
            return false;
        }
        return true;
    }
    std::string why;
    const PictureFileFormat format = PictureFormatOfName(target) == PictureFileFormat::Png
                                         ? PictureFileFormat::Png
                                         : PictureFileFormat::Bmp;
    const bool written = WritePictureFile(picture, format, target, why);
    if (!written) {
        error = "could not write " + target + ": " + why;
    }
    return written;
}

} // namespace panelgrab::cli
