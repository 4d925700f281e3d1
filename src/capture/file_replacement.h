#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace panelgrab {

// Writes `bytes` to a new file in the folder of `path`, flushes it to the disk and only then puts it
// in the place of `path`, so that a failure (disk full, no permission, no such folder) leaves an
// existing file as it was and no half-written file behind. A replaced file keeps its permissions.
// On failure the system's reason stays readable (errno; GetLastError() on Windows).
bool ReplaceFileContents(const std::string& path, const std::vector<uint8_t>& bytes);

} // namespace panelgrab
