#pragma once

#include "cli/cli_io.h"
#include "cli/cli_options.h"

namespace panelgrab::cli {

// compare REFERENCE PICTURE: one verdict line; exit 0 match, 1 differ, 2 usage or unreadable file.
int RunCompare(const CliOptions& options, CliIo& io);

} // namespace panelgrab::cli
