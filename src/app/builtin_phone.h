#pragma once

#include <memory>
#include <string>

#include "sim/simulated_phone.h"

namespace panelgrab {

// The simulated phone the port list can name, running in this process on a pseudo-terminal so the
// window can be tried without a phone: the "Simulated phone" entry (with the window's own options),
// or a typed "sim" or "sim:OPTIONS" with the simulator's options, as the command line takes them.
// It is paced at the baud rate the user chose unless the options name one.
class BuiltInPhone {
public:
    static constexpr const char* kPortEntry = "Simulated phone";

    explicit BuiltInPhone(sim::SimOptions entryOptions);
    ~BuiltInPhone();
    BuiltInPhone(const BuiltInPhone&) = delete;
    BuiltInPhone& operator=(const BuiltInPhone&) = delete;

    // True for the entry's name, "sim" and "sim:OPTIONS".
    static bool IsPortEntry(const std::string& portName);

    // The device to open for the simulated phone `portName` names, paced at `baud`, starting it (or
    // restarting it with other options or another rate) as needed. Empty with a reason in `error`
    // when the options are wrong or it could not be started.
    std::string DevicePathFor(const std::string& portName, int baud, std::string& error);

private:
    bool OptionsFor(const std::string& portName, int baud, sim::SimOptions& options,
                    std::string& error) const;

    sim::SimOptions entryOptions_;
    std::string runningName_; // the port name and baud rate the running phone was started for
    int runningBaud_ = 0;
    std::unique_ptr<sim::SimulatedPhone> phone_;
};

} // namespace panelgrab
