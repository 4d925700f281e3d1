#include "cli/picture_output.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "cli/png_writer.h"

namespace panelgrab::cli {

bool IsPngName(const std::string& path) {
    constexpr std::string_view kSuffix = ".png";
    if (path.size() <= kSuffix.size()) {
        return false;
    }
    return std::equal(kSuffix.begin(), kSuffix.end(),
                      path.end() - static_cast<std::ptrdiff_t>(kSuffix.size()),
                      [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
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
    if (IsPngName(target)) {
        std::string why;
        if (!WritePngFile(picture, target, why)) {
            error = "could not write " + target + ": " + why;
            return false;
        }
        return true;
    }
    if (std::string why; !picture.WriteBmpFile(target, why)) {
        error = "could not write " + target + ": " + why;
        return false;
    }
    return true;
}

} // namespace panelgrab::cli
