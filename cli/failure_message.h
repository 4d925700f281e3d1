#pragma once

#include <string>

#include "transport/serial_port.h"

namespace panelgrab::cli {

// The port's fixed text of its last failure, with the operating system's reason appended in
// parentheses where there is one: "Unable to open com port. ... (permission denied (...))".
std::string DescribePortFailure(const SerialPort& port);

} // namespace panelgrab::cli
