#pragma once

#include "cli/cli_io.h"
#include "cli/cli_options.h"
#include "cli/phone_session.h"

namespace panelgrab::cli {

// watch: keeps the picture of display --display current with the phone's live view (a full read,
// then refreshes that re-read only what the checksums of bands and strips show changed, a full read
// again every --full-every seconds), woken by each refresh as it ends, and prints one line per
// refresh on stdout:
//   time_s=12.345 lines=4 pixels=160 bytes=6120 checksums=32 ms=38.2
// with " full" after a full read and " file=NAME" when a picture was written for it. With -o
// PATTERN the picture is written under the refresh's number after each refresh that fetched lines
// (with --changed-only: that differs from the last one written, as the comparison options judge);
// when refreshes come faster than pictures are written, the newest picture is written. Ends after
// --count refreshes or --seconds, on Ctrl-C, SIGTERM or SIGHUP, or when stdout is closed; the last
// line on stderr counts the refreshes, full reads and pictures written.
int RunWatch(const CliOptions& options, PhoneSession& session, CliIo& io);

} // namespace panelgrab::cli
