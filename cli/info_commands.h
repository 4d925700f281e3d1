#pragma once

#include <string>

#include "cli/cli_io.h"
#include "cli/phone_session.h"
#include "session/session.h"

namespace panelgrab::cli {

// "Screen 1 (176x220)  16 bits per pixel  1408 characters per line  display 0": the window's item
// text for list position `position` (0 first), then the entry's format.
std::string DescribeDisplay(const DisplayInfo& display, std::size_t position);

// model: the phone's model on one line.
int RunModel(PhoneSession& session, CliIo& io);
// displays: one DescribeDisplay line per display.
int RunDisplays(PhoneSession& session, CliIo& io);
// gui: the phone's current GUI object as KEY=VALUE lines sorted by key; control characters of a
// value are made visible so that every entry stays on its own line.
int RunGui(PhoneSession& session, CliIo& io);

} // namespace panelgrab::cli
