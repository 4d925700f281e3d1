#pragma once

#include "cli/cli_io.h"
#include "cli/cli_options.h"
#include "cli/phone_session.h"

namespace panelgrab::cli {

// ports: the serial ports that can be opened now, one a line.
int RunPorts(CliIo& io);
// send TEXT: the phone's whole answer, echo included, as it came.
int RunSend(const CliOptions& options, PhoneSession& session, CliIo& io);

} // namespace panelgrab::cli
