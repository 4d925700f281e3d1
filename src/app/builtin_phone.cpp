#include "app/builtin_phone.h"

#include <algorithm>

#include "sim/sim_port_spec.h"

namespace panelgrab {

BuiltInPhone::BuiltInPhone(sim::SimOptions entryOptions) : entryOptions_(std::move(entryOptions)) {}

BuiltInPhone::~BuiltInPhone() = default;

bool BuiltInPhone::IsPortEntry(const std::string& portName) {
    return portName == kPortEntry || sim::SimArgumentsOf(portName).has_value();
}

bool BuiltInPhone::OptionsFor(const std::string& portName, int baud, sim::SimOptions& options,
                              std::string& error) const {
    const std::optional<std::vector<std::string>> args = sim::SimArgumentsOf(portName);
    if (!args) {
        options = entryOptions_;
        options.baud = baud;
        return true;
    }
    options = sim::SimOptions{};
    if (!sim::ParseSimOptions(*args, options, error)) {
        return false;
    }
    const bool ownBaud = std::any_of(args->begin(), args->end(),
                                     [](const std::string& arg) { return arg.starts_with("--baud"); });
    if (!ownBaud) {
        options.baud = baud;
    }
    return true;
}

std::string BuiltInPhone::DevicePathFor(const std::string& portName, int baud, std::string& error) {
    if (phone_ && runningName_ == portName && runningBaud_ == baud) {
        return phone_->DevicePath();
    }
    sim::SimOptions options;
    if (!OptionsFor(portName, baud, options, error)) {
        return {};
    }
    // A phone object on the old pseudo-terminal has been released by now; its peer may go.
    phone_.reset();
    auto phone = std::make_unique<sim::SimulatedPhone>(options);
    if (!phone->Start(error)) {
        return {};
    }
    phone_ = std::move(phone);
    runningName_ = portName;
    runningBaud_ = baud;
    return phone_->DevicePath();
}

} // namespace panelgrab
