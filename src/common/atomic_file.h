#pragma once

#include <cstddef>
#include <string>

namespace panelgrab {

// Writes `size` bytes to `path` so that the file is, at any moment and also after a power cut,
// either the old file or the whole new one: the bytes go to a new file beside the target, which
// is flushed to the disk, renamed over the target, and the folder is flushed as well. A replaced
// file keeps its permissions; a new one gets those of a plain create. Any failure leaves an
// existing file as it was and no temporary file behind, with the system's reason in `error`
// (e.g. "No space left on device").
bool WriteFileAtomically(const std::string& path, const void* data, std::size_t size, std::string& error);

// The folder a file is written in: what comes before the last '/', "." for a bare name.
std::string FolderOf(const std::string& path);
// Whether a file could be created in the folder of `path` now (it exists, is a folder and is
// writable), with the reason when not: for checking an output before a long capture.
bool CanCreateFileAt(const std::string& path, std::string& error);

} // namespace panelgrab
