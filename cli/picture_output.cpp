#include "cli/picture_output.h"

#include <vector>

#include "capture/picture_file.h"

namespace panelgrab::cli {

bool IsPictureTarget(const std::string& target, std::string& error) {
    if (target == "-" || PictureFormatOfName(target) != PictureFileFormat::Unknown) {
        return true;
    }
    error = "-o " + target + ": grab writes .bmp and .png files (or - for the BMP on stdout)";
    return false;
}

bool SavePicture(const DisplayBitmap& picture, const std::string& target, std::ostream& out,
                 std::string& error) {
    if (target == "-") {
        std::vector<uint8_t> bmp = picture.EncodeBmp();
        out.write(reinterpret_cast<const char*>(bmp.data()), static_cast<std::streamsize>(bmp.size()));
        out.flush();
        if (!out) {
            error = "could not write the picture to stdout";
            return false;
        }
        return true;
    }
    std::string why;
    const bool written = PictureFormatOfName(target) == PictureFileFormat::Png
                             ? WritePngFile(picture, target, why)
                             : picture.WriteBmpFile(target, why);
    if (!written) {
        error = "could not write " + target + ": " + why;
    }
    return written;
}

} // namespace panelgrab::cli
