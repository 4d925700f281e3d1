#pragma once

#include "cli/cli_io.h"
#include "cli/cli_options.h"
#include "cli/phone_session.h"

namespace panelgrab::cli {

// keys TEXT: presses the keys (timed when --press and --pause are given).
int RunKeys(const CliOptions& options, PhoneSession& session);
// listen: prints key events until --count, --seconds or Ctrl-C; always switches reporting off.
int RunListen(const CliOptions& options, PhoneSession& session, CliIo& io);

} // namespace panelgrab::cli
