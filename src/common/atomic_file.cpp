#include "common/atomic_file.h"

namespace panelgrab {

std::string FolderOf(const std::string& path) {
#ifdef _WIN32
    const std::size_t separator = path.find_last_of("\\/");
#else
    const std::size_t separator = path.rfind('/');
#endif
    if (separator == std::string::npos) {
        return ".";
    }
    return separator == 0 ? path.substr(0, 1) : path.substr(0, separator);
}

} // namespace panelgrab
