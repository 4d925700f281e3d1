#pragma once

#include <string>
#include <vector>

namespace panelgrab {

// One serial port of the system, with what the system knows about the device behind it.
struct PortInfo {
    std::string path;        // what to open: "/dev/ttyUSB0" (on Windows "COM5")
    std::string description; // product or friendly name, "" when unknown
    std::string manufacturer;
    std::string serialNumber;
    std::string vendorId; // 4 hex digits, "" when not USB
    std::string productId;
    std::string byIdPath; // /dev/serial/by-id/... link to it, "" when none
};
// The machine's serial ports, never opening one, in natural order (ttyS2 before ttyS10).
std::vector<PortInfo> ListPorts();
// The same over another root (tests): sysClassTty stands for /sys/class/tty, devFolder for /dev,
// byIdFolder for /dev/serial/by-id.
std::vector<PortInfo> ListPorts(const std::string& sysClassTty, const std::string& devFolder,
                                const std::string& byIdFolder);
// One line for people: the path, then what is known (vid:pid, manufacturer, product, serial, by-id link).
std::string DescribePort(const PortInfo& port);

} // namespace panelgrab
