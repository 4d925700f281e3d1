#include "cli/trace_printer.h"

#include <cstdio>

namespace panelgrab::cli {

std::string MakeVisible(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (char c : text) {
        switch (c) {
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                char escaped[5];
                std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(c));
                out += escaped;
            } else {
                out.push_back(c); // UTF-8 text passes unchanged
            }
        }
    }
    return out;
}

void TracePrinter::OnCommandSent(const std::string& text) {
    PrintLine("> ", text);
}

void TracePrinter::OnUnsolicited(const std::string& report, bool delivered) {
    PrintLine(delivered ? "! " : "- ", report);
}

void TracePrinter::OnAnswerReceived(const std::string& text) {
    PrintLine("< ", text);
}

void TracePrinter::PrintLine(std::string_view prefix, const std::string& text) {
    std::string line = std::string(prefix) + MakeVisible(text) + "\n";
    std::lock_guard<std::mutex> hold(lock_);
    stream_ << line << std::flush;
}

} // namespace panelgrab::cli
