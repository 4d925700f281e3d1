#include "transport/port_failure.h"

#include "transport/exchange_result.h"
#include "transport/port_holders.h"
#include "transport/port_names.h"

namespace panelgrab {
namespace {

std::string HoldersOf(const SerialPort& port) {
    std::string names;
    for (const PortHolder& holder : FindPortHolders(DevicePathOf(port.settings().GetPortName()))) {
        names += (names.empty() ? "" : ", ") + holder.name + " (pid " + std::to_string(holder.pid) + ")";
    }
    return names;
}

// What the user can do about the failure, where there is something to do.
std::string Advice(const SerialPort& port, const FailureWording& wording) {
    switch (TroubleOf(port.systemError())) {
    case PortTrouble::Permission:
        return "Add your user to the dialout group (sudo usermod -aG dialout \"$USER\", then log in "
               "again), or install the udev rule described in docs/INSTALL.md.";
    case PortTrouble::Busy: {
        const std::string holders = HoldersOf(port);
        const std::string who = holders.empty() ? "another program" : holders;
        return "It is held by " + who +
               "; close it there (ModemManager can be told to leave the port "
               "alone with the udev rule in docs/INSTALL.md).";
    }
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
    const std::string text = port.errorText();
    if (text == kTextPhoneNotResponding || text == ExchangeResultText(TimedOut)) {
        return "Check that the phone is on and connected, and the baud rate (" + wording.baudOption + ").";
    }
    return {};
}

} // namespace

std::string DescribePortFailure(const SerialPort& port, const FailureWording& wording) {
    std::string text = port.errorText();
    if (int error = port.systemError(); error != 0) {
        text += " (" + DescribeSystemError(error) + ")";
    }
    // The phone's own words for its refusal, where it said more than "ERROR".
    if (const std::string final = port.finalResultLine();
        text == ExchangeResultText(ErrorAnswer) && !final.empty() && final != "ERROR") {
        text += " (" + final + ")";
    }
    if (const std::string advice = Advice(port, wording); !advice.empty()) {
        // "Phone is not responding" has no full stop of its own.
        text += text.back() == '.' || text.back() == ')' ? " " : ". ";
        text += advice;
    }
    return text;
}

} // namespace panelgrab
