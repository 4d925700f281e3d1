#include <windows.h>

#include <atomic>

#include "cli/interrupt_guard.h"

namespace panelgrab::cli {

namespace {

std::atomic<bool> interrupted{false};

// Runs on a thread the system starts for the event. Returning TRUE keeps the process alive for
// Ctrl-C and Ctrl-Break; after a close event the system ends it a few seconds later anyway, which
// leaves the command that much time to switch the phone's reporting off.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
        interrupted.store(true);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

// Console handlers form a stack: removing ours is what restores the previous ones.
struct InterruptGuard::Previous {};

InterruptGuard::InterruptGuard() {
    interrupted.store(false);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

InterruptGuard::~InterruptGuard() {
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
}

bool InterruptGuard::Interrupted() {
    return interrupted.load();
}

} // namespace panelgrab::cli
