#include "cli/cli_runner.h"

#include "cli/capture_commands.h"
#include "cli/cli_options.h"
#include "cli/compare_command.h"
#include "cli/exit_codes.h"
#include "cli/help_text.h"
#include "cli/info_commands.h"
#include "cli/key_commands.h"
#include "cli/phone_session.h"
#include "cli/port_commands.h"
#include "cli/watch_command.h"
#include "common/version.h"

namespace panelgrab::cli {

namespace {

int RunPhoneCommand(const CliOptions& options, PhoneSession& session, CliIo& io) {
    switch (options.command) {
    case Command::Send:
        return RunSend(options, session, io);
    case Command::Model:
        return RunModel(session, io);
    case Command::Displays:
        return RunDisplays(session, io);
    case Command::Grab:
        return RunGrab(options, session, io);
    case Command::Checksum:
        return RunChecksum(options, session, io);
    case Command::Keys:
        return RunKeys(options, session);
    case Command::Listen:
        return RunListen(options, session, io);
    case Command::Gui:
        return RunGui(session, io);
    case Command::Watch:
        return RunWatch(options, session, io);
    case Command::Help:
    case Command::Version:
    case Command::Ports:
    case Command::Compare:
        break;
    }
    return kExitUsage;
}

} // namespace

int RunCli(const std::vector<std::string>& args, CliIo& io) {
    ParseOutcome parsed = ParseArguments(args);
    if (!parsed.options) {
        io.err << "panelgrab-cli: " << parsed.error << "\n" << kUsageHint << "\n";
        return kExitUsage;
    }
    const CliOptions& options = *parsed.options;
    if (options.command == Command::Help) {
        io.out << HelpText(options.helpTopic);
        return kExitOk;
    }
    if (options.command == Command::Version) {
        io.out << "panelgrab-cli " << kVersion << "\n";
        return kExitOk;
    }
    // A picture that cannot be written is found before the phone spends time on it.
    if (std::string error; options.command == Command::Grab && !CheckGrabOutput(options, error)) {
        io.err << "panelgrab-cli: " << error << "\n";
        return kExitUsage;
    }
    if (options.command == Command::Ports) {
        return RunPorts(io);
    }
    if (options.command == Command::Compare) {
        return RunCompare(options, io);
    }
    PhoneSession session(options, io);
    int code = session.Open();
    if (code == kExitOk) {
        code = RunPhoneCommand(options, session, io);
    }
    return session.Interrupted() ? session.ReportInterrupt() : code;
}

} // namespace panelgrab::cli
