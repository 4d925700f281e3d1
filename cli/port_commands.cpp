#include "cli/port_commands.h"

#include <string>
#include <vector>

#include "cli/exit_codes.h"

namespace panelgrab::cli {

int PrintPorts(const std::vector<PortInfo>& ports, CliIo& io) {
    if (ports.empty()) {
        // An empty stdout alone would look like a failure of the listing itself.
        io.err << "panelgrab-cli: no serial ports found\n" << std::flush;
        return kExitOk;
    }
    for (const PortInfo& port : ports) {
        io.out << DescribePort(port) << "\n";
    }
    io.out << std::flush;
    return kExitOk;
}

int RunPorts(CliIo& io) {
    return PrintPorts(ListPorts(), io);
}

int RunSend(const CliOptions& options, PhoneSession& session, CliIo& io) {
    if (options.text.empty() || options.text.back() != '\r') {
        // The phone executes a command only at its carriage return; say so before the long wait.
        io.err << "panelgrab-cli: note: TEXT does not end in \\r, so the phone will probably not answer\n";
    }
    const Sent sent = session.Core().Send(options.text);
    // An answer that ends in ERROR is printed too: it is what the user asked to see.
    io.out << sent.answer << std::flush;
    return sent.failure ? session.ReportFailure(*sent.failure) : kExitOk;
}

} // namespace panelgrab::cli
