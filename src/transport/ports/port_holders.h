#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace panelgrab {

// A program that has a device open, and the descriptors through which it does.
struct PortHolder {
    int pid = 0;
    std::string name; // the program's command name, e.g. "ModemManager"
    std::vector<int> descriptors;
};

// The programs whose descriptors lead to the character device numbered `device` (its st_rdev), as
// far as this user may see: other users' programs are visible to root only, and `unreadable`
// (when given) tells whether some process could not be looked at. Reads `procFolder`/PID/fd with
// stat only, never opening a device.
std::vector<PortHolder> FindDeviceHolders(uint64_t device, const std::string& procFolder,
                                          bool* unreadable = nullptr);
// The programs that hold the device at `devicePath` (any link to it, e.g. /dev/serial/by-id/...)
// open; empty when there is no such device or no /proc.
std::vector<PortHolder> FindPortHolders(const std::string& devicePath,
                                        const std::string& procFolder = "/proc");
// The holders of FindPortHolders that are another client of the port: never this process, and
// never a program that holds the other side of a pseudo-terminal (its master: a simulated phone or
// a terminal program is the phone's end, even when it keeps the port itself open too).
std::vector<PortHolder> FindOtherClients(const std::string& devicePath,
                                         const std::string& procFolder = "/proc");

} // namespace panelgrab
