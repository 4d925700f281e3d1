#pragma once

#include <string>

#include "common/image/picture.h"

namespace panelgrab::python {

// Writes pictures as the command line does, in the format the name asks for (.bmp or .png, any
// letter case; any other name is refused), with WriteFileAtomically, so a failure leaves an existing
// file as it was. False with "could not write PATH: reason" in `error`.
class PictureFileWriter {
public:
    static bool Write(const Picture& picture, const std::string& path, std::string& error);
};

} // namespace panelgrab::python
