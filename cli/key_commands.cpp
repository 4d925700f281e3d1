#include "cli/key_commands.h"

#include <chrono>
#include <optional>
#include <string>

#include "cli/exit_codes.h"
#include "cli/key_event_printer.h"

namespace panelgrab::cli {

namespace {

// How often the wait looks at Ctrl-C and the clock.
constexpr std::chrono::milliseconds kWaitSlice{50};
// A longer wait would overflow the clock's nanoseconds and end at once; it is as good as no limit.
constexpr double kLongestWaitSeconds = 100.0 * 365 * 24 * 3600;

} // namespace

int RunKeys(const CliOptions& options, PhoneSession& session) {
    std::optional<KeyTiming> timing;
    if (options.pressMs) {
        timing = KeyTiming{*options.pressMs, *options.pauseMs};
    }
    const Result<void> pressed = session.Core().PressKeys(options.text, timing);
    return pressed ? kExitOk : session.ReportFailure(pressed.failure());
}

int RunListen(const CliOptions& options, PhoneSession& session, CliIo& io) {
    using Clock = std::chrono::steady_clock;
    KeyEventPrinter printer(io.out, options.count);
    // Reporting left on would keep the phone sending key reports to a port nobody reads: an
    // interruption first lets the switch-off below have one read wait.
    session.GiveGraceOnInterrupt(session.Core().ReadWait());

    Result<std::unique_ptr<KeySubscription>> keys = session.Core().ListenToKeys(printer);
    if (!keys) {
        session.GraceUsed();
        return session.ReportFailure(keys.failure());
    }
    std::optional<Clock::time_point> deadline;
    if (options.seconds && *options.seconds < kLongestWaitSeconds) {
        deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                      std::chrono::duration<double>(*options.seconds));
    }
    while (!session.Interrupted() && !(deadline && Clock::now() >= *deadline)) {
        if (printer.WaitForEnd(kWaitSlice)) {
            break;
        }
    }
    // Clears the client first, so no event reaches the printer once this returns.
    const Result<void> switchedOff = (*keys)->Stop();
    session.GraceUsed();
    if (const std::optional<std::string> reason = printer.lostReason()) {
        return session.ReportFailure(KeyEventsLost(*reason, session.PortLabel()), kExitNoConnection);
    }
    if (!switchedOff) {
        return session.ReportFailure(switchedOff.failure());
    }
    return kExitOk;
}

} // namespace panelgrab::cli
