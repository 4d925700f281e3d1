#include "cli/port_commands.h"

#include <string>
#include <vector>

#include "cli/exit_codes.h"
#include "transport/port_names.h"

namespace panelgrab::cli {

int RunPorts(CliIo& io) {
    std::vector<std::string> names;
    EnumeratePorts(names);
    for (const std::string& name : names) {
        io.out << name << "\n";
    }
    io.out << std::flush;
    return kExitOk;
}

int RunSend(const CliOptions& options, PhoneSession& session, CliIo& io) {
    if (options.text.empty() || options.text.back() != '\r') {
        // The phone executes a command only at its carriage return; say so before the long wait.
        io.err << "panelgrab-cli: note: TEXT does not end in \\r, so the phone will probably not answer\n";
    }
    std::string answer;
    if (int32_t result = session.Phone().SendCommand(options.text, answer); result != kPhoneOk) {
        return session.ReportFailure("send", result);
    }
    io.out << answer << std::flush;
    return kExitOk;
}

} // namespace panelgrab::cli
