#include <windows.h>

#include <atomic>
#include <csignal>
#include <functional>
#include <mutex>

#include "cli/interrupt_closer.h"

namespace panelgrab::cli {

namespace {

std::atomic<int> received{0};
std::mutex actionLock;
std::function<void()> action; // the live closer's, guarded by actionLock

// Runs on a thread the system starts for the event, so the action may run right here. A second
// event is not handled: the system's default then ends the program.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
        return FALSE;
    }
    int none = 0;
    if (!received.compare_exchange_strong(none, SIGINT)) {
        return FALSE;
    }
    std::lock_guard lock(actionLock);
    if (action) {
        action();
    }
    return TRUE;
}

} // namespace

// Console handlers form a stack: removing ours is what restores the previous ones.
struct InterruptCloser::State {};

InterruptCloser::InterruptCloser(std::function<void()> onSignal) : state_(std::make_unique<State>()) {
    received.store(0);
    {
        std::lock_guard lock(actionLock);
        action = std::move(onSignal);
    }
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

InterruptCloser::~InterruptCloser() {
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    std::lock_guard lock(actionLock);
    action = nullptr;
}

int InterruptCloser::Signal() {
    return received.load();
}

} // namespace panelgrab::cli
