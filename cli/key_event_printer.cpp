#include "cli/key_event_printer.h"

namespace panelgrab::cli {

void KeyEventPrinter::Print(const char* direction, const std::string& key) {
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (Ended()) {
            return;
        }
        out_ << direction << key << "\n" << std::flush;
        outputClosed_ = !out_.good();
        ++printed_;
    }
    changed_.notify_all();
}

void KeyEventPrinter::OnKeyEventsLost(const std::string& reason) {
    {
        std::lock_guard<std::mutex> hold(lock_);
        lostReason_ = reason;
    }
    changed_.notify_all();
}

bool KeyEventPrinter::WaitForEnd(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> hold(lock_);
    return changed_.wait_for(hold, timeout, [this] { return Ended(); });
}

int64_t KeyEventPrinter::printed() const {
    std::lock_guard<std::mutex> hold(lock_);
    return printed_;
}

std::optional<std::string> KeyEventPrinter::lostReason() const {
    std::lock_guard<std::mutex> hold(lock_);
    return lostReason_;
}

bool KeyEventPrinter::outputClosed() const {
    std::lock_guard<std::mutex> hold(lock_);
    return outputClosed_;
}

} // namespace panelgrab::cli
