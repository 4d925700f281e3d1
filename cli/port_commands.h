#pragma once

#include <vector>

#include "cli/cli_io.h"
#include "cli/cli_options.h"
#include "cli/phone_session.h"
#include "session/ports.h"

namespace panelgrab::cli {

// ports: this machine's serial ports, one a line with what is known of each; none is opened.
int RunPorts(CliIo& io);
// Prints `ports` as ports does; with none, says so on stderr (still exit 0).
int PrintPorts(const std::vector<PortInfo>& ports, CliIo& io);
// send TEXT: the phone's whole answer, echo included, as it came.
int RunSend(const CliOptions& options, PhoneSession& session, CliIo& io);

} // namespace panelgrab::cli
