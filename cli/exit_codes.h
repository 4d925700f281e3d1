#pragma once

namespace panelgrab::cli {

// The tool's exit statuses; scripts rely on them.
enum ExitCode : int {
    kExitOk = 0,
    kExitFailed = 1,       // an exchange or operation failed
    kExitDiffers = 1,      // compare, grab --expect: the pictures differ
    kExitUsage = 2,        // the command line is wrong
    kExitNoConnection = 3, // the port could not be opened or the phone did not answer
};

} // namespace panelgrab::cli
