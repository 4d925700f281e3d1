#include "python/picture_file_writer.h"

#include "common/image/picture_file_writer.h"

namespace panelgrab::python {

bool PictureFileWriter::Write(const Picture& picture, const std::string& path, std::string& error) {
    if (std::string why; !WritePictureFile(picture, path, why)) {
        error = "could not write " + path + ": " + why;
        return false;
    }
    return true;
}

} // namespace panelgrab::python
