#pragma once

#include <memory>
#include <string>

#include "sim/simulated_phone.h"

namespace panelgrab {

// The "Simulated phone" entry of the port list: a simulated phone running in this process on a
// pseudo-terminal, paced at the baud rate the user chose, so the window can be tried without a phone.
class BuiltInPhone {
public:
    static constexpr const char* kPortEntry = "Simulated phone";

    explicit BuiltInPhone(sim::SimOptions options);
    ~BuiltInPhone();
    BuiltInPhone(const BuiltInPhone&) = delete;
    BuiltInPhone& operator=(const BuiltInPhone&) = delete;

    static bool IsPortEntry(const std::string& portName);

    // The device to open for the simulated phone paced at `baud`, starting it (or restarting it at the
    // new rate) as needed. Empty with a reason in `error` when it could not be started.
    std::string DevicePathFor(int baud, std::string& error);

private:
    sim::SimOptions options_;
    std::unique_ptr<sim::SimulatedPhone> phone_;
};

} // namespace panelgrab
