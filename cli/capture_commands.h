#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "cli/cli_io.h"
#include "cli/cli_options.h"
#include "cli/phone_session.h"
#include "common/display_region.h"
#include "session/session.h"

namespace panelgrab::cli {

// grab: reads a display and writes the picture. --background, --region-checksum and a progress bar
// (stderr a terminal) read through the phone's background worker; otherwise the read is synchronous.
int RunGrab(const CliOptions& options, PhoneSession& session, CliIo& io);
// Whether grab's -o names a file that can be created now (for --every: the first numbered name).
// False with the reason.
bool CheckGrabOutput(const CliOptions& options, std::string& error);
// checksum: the phone's own checksum of a region, in decimal.
int RunChecksum(const CliOptions& options, PhoneSession& session, CliIo& io);

// The entry of display --display from the phone's list, or none after a printed failure (the exit
// code in `code`).
std::optional<DisplayInfo> ChooseDisplay(const CliOptions& options, PhoneSession& session, int& code);
// True when the region lies within the display.
bool RegionFits(const DisplayRegion& region, const DisplayInfo& display);

} // namespace panelgrab::cli
