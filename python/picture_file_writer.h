#pragma once

#include <string>

#include "capture/display_bitmap.h"
#include "compare/picture.h"

namespace panelgrab::python {

// Writes pictures as the command line does: a name ending in .png (any case) gives a PNG file, any
// other a BMP file; either is written with WriteFileAtomically, so a failure leaves an existing file
// as it was. False with "could not write PATH: reason" in `error`.
class PictureFileWriter {
public:
    static bool IsPngPath(const std::string& path);
    static bool Write(const Picture& picture, const std::string& path, std::string& error);
    // The bitmap is written as it is (BMP); `picture` holds the same pixels for a PNG.
    static bool Write(const DisplayBitmap& bitmap, const Picture& picture, const std::string& path,
                      std::string& error);

private:
    static bool WritePng(const Picture& picture, const std::string& path, std::string& error);
};

} // namespace panelgrab::python
