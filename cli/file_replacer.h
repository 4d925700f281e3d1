#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace panelgrab::cli {

// Writes `bytes` to a new file beside `path` and renames it over `path`, so that a failure (disk
// full, no permission, a bad folder) leaves an existing file as it was. False with the reason in
// `error`; no temporary file is left behind.
bool ReplaceFileWith(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error);

} // namespace panelgrab::cli
