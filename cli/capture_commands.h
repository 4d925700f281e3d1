#pragma once

#include <cstdint>
#include <optional>

#include "capture/display_info.h"
#include "capture/display_region.h"
#include "cli/cli_io.h"
#include "cli/cli_options.h"
#include "cli/phone_session.h"

namespace panelgrab::cli {

// grab: reads a display and writes the picture. --background and --region-checksum read through
// the phone's background worker; otherwise the read is synchronous.
int RunGrab(const CliOptions& options, PhoneSession& session, CliIo& io);
// checksum: the phone's own checksum of a region, in decimal.
int RunChecksum(const CliOptions& options, PhoneSession& session, CliIo& io);

// The entry of display --display from the phone's list, or none after a printed failure (the exit
// code in `code`).
std::optional<DisplayInfo> ChooseDisplay(const CliOptions& options, PhoneSession& session, int& code);
// Characters a complete picture of the entry takes; a read that ended with fewer was cut short.
int64_t ExpectedCharacters(const DisplayInfo& display);
// True when the region lies within the display.
bool RegionFits(const DisplayRegion& region, const DisplayInfo& display);

} // namespace panelgrab::cli
