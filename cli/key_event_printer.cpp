#include "cli/key_event_printer.h"

namespace panelgrab::cli {

void KeyEventPrinter::Print(const char* direction, const std::string& key) {
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (LimitReached()) {
            return;
        }
        out_ << direction << key << "\n" << std::flush;
        ++printed_;
    }
    changed_.notify_all();
}

bool KeyEventPrinter::WaitForLimit(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> hold(lock_);
    return changed_.wait_for(hold, timeout, [this] { return LimitReached(); });
}

int64_t KeyEventPrinter::printed() const {
    std::lock_guard<std::mutex> hold(lock_);
    return printed_;
}

} // namespace panelgrab::cli
