#include "app/builtin_phone.h"

namespace panelgrab {

BuiltInPhone::BuiltInPhone(sim::SimOptions options) : options_(std::move(options)) {}

BuiltInPhone::~BuiltInPhone() = default;

bool BuiltInPhone::IsPortEntry(const std::string& portName) {
    return portName == kPortEntry;
}

std::string BuiltInPhone::DevicePathFor(int baud, std::string& error) {
    if (phone_ && options_.baud == baud) {
        return phone_->DevicePath();
    }
    // A phone object on the old pseudo-terminal has been released by now; its peer may go.
    phone_.reset();
    options_.baud = baud;
    auto phone = std::make_unique<sim::SimulatedPhone>(options_);
    if (!phone->Start(error)) {
        return {};
    }
    phone_ = std::move(phone);
    return phone_->DevicePath();
}

} // namespace panelgrab
