#pragma once

#include "cli/cli_io.h"
#include "cli/cli_options.h"
#include "cli/phone_session.h"
#include "session/session.h"

namespace panelgrab::cli {

// grab --every: captures the display again and again on a fixed schedule, writing each picture
// (or, with --changed-only, each one that differs from the last written) under a numbered name and
// printing that name on stdout. Ends after --count pictures, when --seconds have passed, on Ctrl-C,
// SIGTERM or SIGHUP, or when stdout is closed, always after the picture in hand is written whole;
// the last line on stderr says how many pictures were taken and written.
int RunRepeatedGrab(const CliOptions& options, const DisplayInfo& display, PhoneSession& session, CliIo& io);

} // namespace panelgrab::cli
