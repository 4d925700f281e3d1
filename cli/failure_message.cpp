#include "cli/failure_message.h"

#include "transport/port_names.h"

namespace panelgrab::cli {

std::string DescribePortFailure(const SerialPort& port) {
    std::string text = port.errorText();
    if (int error = port.systemError(); error != 0) {
        text += " (" + DescribeSystemError(error) + ")";
    }
    return text;
}

} // namespace panelgrab::cli
