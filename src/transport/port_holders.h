#pragma once

#include <string>
#include <vector>

namespace panelgrab {

// A program that has a device open.
struct PortHolder {
    int pid = 0;
    std::string name; // the program's command name, e.g. "ModemManager"
};

// The programs that hold `devicePath` open, as far as this user may see (other users' programs are
// visible to root only). Looks at /proc/PID/fd of every process; empty where there is no /proc.
std::vector<PortHolder> FindPortHolders(const std::string& devicePath);
// The same over another /proc (tests).
std::vector<PortHolder> FindPortHolders(const std::string& devicePath, const std::string& procFolder);

} // namespace panelgrab
