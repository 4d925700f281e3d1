#include "transport/ports/port_holders.h"

namespace panelgrab {

// Windows tells which program holds a device only through the Restart Manager, which does not
// cover COM ports: the busy message names no program there.
std::vector<PortHolder> FindDeviceHolders(uint64_t /*device*/, const std::string& /*procFolder*/,
                                          bool* unreadable) {
    if (unreadable != nullptr) {
        *unreadable = true;
    }
    return {};
}

std::vector<PortHolder> FindPortHolders(const std::string& /*devicePath*/,
                                        const std::string& /*procFolder*/) {
    return {};
}

std::vector<PortHolder> FindOtherClients(const std::string& /*devicePath*/,
                                         const std::string& /*procFolder*/) {
    return {};
}

} // namespace panelgrab
