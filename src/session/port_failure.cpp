#include "session/port_failure.h"

#include <cstdio>
#include <filesystem>

#include "transport/at/exchange_result.h"
#include "transport/at/serial_port.h"
#include "transport/bytes/device_errors.h"
#include "transport/ports/port_holders.h"
#include "transport/ports/port_names.h"

namespace panelgrab {
namespace {

// "/dev/ttyUSB0 is in use by ser2net (pid 612)", with the device's real path (not a by-id link);
// empty when no other client of the port is found.
std::string InUseBy(const PortFailureReport& report) {
    const std::string path = DevicePathOf(report.portName);
    const std::vector<PortHolder> holders = FindOtherClients(path);
    if (holders.empty()) {
        return {};
    }
    std::error_code error;
    const std::filesystem::path real = std::filesystem::canonical(path, error);
    std::string text = (error ? path : real.string()) + " is in use by ";
    for (std::size_t i = 0; i < holders.size(); ++i) {
        text += (i == 0 ? "" : ", ") + holders[i].name + " (pid " + std::to_string(holders[i].pid) + ")";
    }
    return text;
}

// "5 s", "0.05 s".
std::string Seconds(std::chrono::milliseconds wait) {
    char text[32];
    std::snprintf(text, sizeof text, "%g s", static_cast<double>(wait.count()) / 1000.0);
    return text;
}

// The failures whose fixed text would mislead ("Some other application may be using it" for a
// program we can name, or for a server that just did not answer), told in their own words.
std::string OwnWords(const PortFailureReport& report, const FailureWording& wording) {
    const int error = report.systemError;
    if (error == kErrorSettingsUnconfirmed) {
        return "Unable to open com port: " + DescribeSystemError(error) + " within " +
               Seconds(report.connectWait) +
               ". Check that no other client holds the server's device and that its port speaks RFC 2217 "
               "(docs/INSTALL.md).";
    }
    if (TroubleOf(error) != PortTrouble::Busy) {
        return {};
    }
    const std::string inUse = InUseBy(report);
    if (inUse.empty()) {
        return {};
    }
    // Only a program that neither locks the port nor holds it exclusively can be shared by force.
    // A face without such a choice (the window, the lab server) leaves it out.
    const std::string force =
        error == kErrorPortHeld && !wording.forceOption.empty()
            ? ", or open it anyway with " + wording.forceOption + " (both then talk to the phone)"
            : "";
    return inUse + ". Close it there" + force + ".";
}

// The port works, the phone stays silent.
bool IsSilence(const std::string& text) {
    return text == kTextPhoneNotResponding || text == ExchangeResultText(TimedOut);
}

// What the user can do about the failure, where there is something to do.
std::string Advice(const PortFailureReport& report, const FailureWording& wording) {
    switch (TroubleOf(report.systemError)) {
    case PortTrouble::Permission:
        return "Add your user to the dialout group (sudo usermod -aG dialout \"$USER\", then log in "
               "again), or install the udev rule described in docs/INSTALL.md.";
    case PortTrouble::Busy:
        return "It is held by another program; close it there (ModemManager can be told to leave the port "
               "alone with the udev rule in docs/INSTALL.md).";
    case PortTrouble::NoSuchPort:
        return "Check the port name (" + wording.listPorts + " lists the ports) and the cable.";
    case PortTrouble::Gone:
        return "The phone went away: check the cable and that the phone is on.";
    case PortTrouble::Unreachable:
        return "Check the host name and port, and that ser2net runs there (docs/INSTALL.md).";
    case PortTrouble::ConnectionClosed:
        return "The server closed the connection: is another client using the phone, or did the phone go "
               "away?";
    case PortTrouble::NotRfc2217:
        return "The server does not speak RFC 2217 on that port: use tcp:// for a raw port.";
    case PortTrouble::Other:
        break;
    }
    if (IsSilence(report.text)) {
        return "Check that the phone is on and connected, and the baud rate (" + wording.baudOption + ").";
    }
    return {};
}

} // namespace

std::string DescribePortFailure(const PortFailureReport& report, const FailureWording& wording) {
    if (std::string own = OwnWords(report, wording); !own.empty()) {
        return own;
    }
    std::string text = report.text;
    if (report.systemError != 0) {
        text += " (" + DescribeSystemError(report.systemError) + ")";
    }
    // The phone's own words for its refusal, where it said more than "ERROR".
    if (const std::string& final = report.finalResultLine;
        report.text == ExchangeResultText(ErrorAnswer) && !final.empty() && final != "ERROR") {
        text += " (" + final + ")";
    }
    if (const std::string advice = Advice(report, wording); !advice.empty()) {
        // "Phone is not responding" has no full stop of its own.
        text += text.back() == '.' || text.back() == ')' ? " " : ". ";
        text += advice;
    }
    return text;
}

std::string DescribePortFailure(const SerialPort& port, const FailureWording& wording) {
    return DescribePortFailure(ReportOf(port), wording);
}

FailureKind KindOfPortFailure(const PortFailureReport& report) {
    switch (TroubleOf(report.systemError)) {
    case PortTrouble::Permission:
        return FailureKind::Permission;
    case PortTrouble::Busy:
        return FailureKind::PortBusy;
    case PortTrouble::NoSuchPort:
        return FailureKind::NoSuchDevice;
    case PortTrouble::Gone:
        return FailureKind::PhoneGone;
    case PortTrouble::Unreachable:
    case PortTrouble::ConnectionClosed:
    case PortTrouble::NotRfc2217:
        return FailureKind::PortFailed;
    case PortTrouble::Other:
        break;
    }
    if (IsSilence(report.text)) {
        return FailureKind::NotResponding;
    }
    return report.text == ExchangeResultText(ErrorAnswer) ? FailureKind::Refused : FailureKind::PortFailed;
}

} // namespace panelgrab
