#pragma once

#include <mutex>
#include <ostream>
#include <string>
#include <string_view>

#include "session/session_options.h"

namespace panelgrab::cli {

// The text with its control characters made visible: CR as \r, LF as \n, tab as \t, other
// control bytes as \xHH, and a backslash doubled so that the result reads back unambiguously.
std::string MakeVisible(std::string_view text);

// Prints the traffic of a port, one line per command ("> ..."), per answer ("< ...") and per
// unsolicited report ("! ..." when a listener got it, "- ..." when nobody listened).
// Exchanges run on worker threads too (background read, key listener), so lines are written
// whole under a lock.
class TracePrinter : public TraceSink {
public:
    explicit TracePrinter(std::ostream& stream) : stream_(stream) {}

    void OnCommandSent(const std::string& text) override;
    void OnAnswerReceived(const std::string& text) override;
    void OnUnsolicited(const std::string& report, bool delivered) override;

private:
    void PrintLine(std::string_view prefix, const std::string& text);

    std::ostream& stream_;
    std::mutex lock_;
};

} // namespace panelgrab::cli
