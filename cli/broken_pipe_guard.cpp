#include "cli/broken_pipe_guard.h"

namespace panelgrab::cli {

BrokenPipeGuard::BrokenPipeGuard() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, &previous_);
}

BrokenPipeGuard::~BrokenPipeGuard() {
    sigaction(SIGPIPE, &previous_, nullptr);
}

} // namespace panelgrab::cli
