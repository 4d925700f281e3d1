#include <windows.h>

#include "capture/file_replacement.h"
#include "cli/file_replacer.h"
#include "transport/win32_text.h"

namespace panelgrab::cli {

bool ReplaceFileWith(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error) {
    if (!ReplaceFileContents(path, bytes)) {
        error = WindowsErrorText(static_cast<int>(GetLastError()));
        return false;
    }
    return true;
}

} // namespace panelgrab::cli
