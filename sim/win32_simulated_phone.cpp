// The simulated phone serves the far side of a pseudo-terminal, which Windows does not have. A
// Windows build keeps the phone's options and help (so that "--port sim" parses as everywhere) and
// says plainly why it cannot start one; tests on Windows talk to the simulated phone running on
// Linux behind a COM port instead.
#include "sim/simulated_phone.h"

namespace panelgrab::sim {

struct SimulatedPhone::Impl {
    SimOptions options;
    std::string devicePath;
};

SimulatedPhone::SimulatedPhone(SimOptions options) : impl_(std::make_unique<Impl>()) {
    impl_->options = std::move(options);
}

SimulatedPhone::~SimulatedPhone() = default;

bool SimulatedPhone::Start(std::string& error) {
    error = "the simulated phone needs a pseudo-terminal, which Windows lacks: run panelgrab-phonesim "
            "on Linux and reach it through a COM port";
    return false;
}

void SimulatedPhone::Stop() {}

const std::string& SimulatedPhone::DevicePath() const {
    return impl_->devicePath;
}

int64_t SimulatedPhone::BytesSent() const {
    return 0;
}

} // namespace panelgrab::sim
