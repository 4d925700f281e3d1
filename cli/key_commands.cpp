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
    PhoneLink& phone = session.Phone();
    int32_t result = options.pressMs ? phone.PressKeyTimed(options.text, *options.pressMs, *options.pauseMs)
                                     : phone.PressKey(options.text);
    return result == kPhoneOk ? kExitOk : session.ReportFailure("keys", result);
}

int RunListen(const CliOptions& options, PhoneSession& session, CliIo& io) {
    using Clock = std::chrono::steady_clock;
    PhoneLink& phone = session.Phone();
    KeyEventPrinter printer(io.out, options.count);
    // Reporting left on would keep the phone sending key reports to a port nobody reads: an
    // interruption first lets the switch-off below have one read wait.
    session.GiveGraceOnInterrupt(phone.Port().settings().GetTiming().readWait);

    if (int32_t result = phone.StartKeyEvents(&printer); result != kPhoneOk) {
        phone.StopKeyEvents(0);
        session.GraceUsed();
        return session.ReportFailure("switching key event reporting on", result);
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
    const int32_t switchedOff = phone.StopKeyEvents(0);
    session.GraceUsed();
    if (const std::optional<std::string> reason = printer.lostReason()) {
        return session.Report("the phone stopped answering while listening for keys: " + *reason +
                                  " Check the cable and that the phone is on.",
                              kExitNoConnection);
    }
    if (switchedOff != kPhoneOk) {
        return session.ReportFailure("switching key event reporting off", switchedOff);
    }
    return kExitOk;
}

} // namespace panelgrab::cli
