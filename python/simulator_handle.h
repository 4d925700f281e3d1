#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sim/simulated_phone.h"

namespace panelgrab::python {

// The simulated phone for Python scripts: started from panelgrab-phonesim's own options, serving a
// pseudo-terminal whose path any client opens, until Stop.
class SimulatorHandle {
public:
    // Raises ValueError for an unknown or malformed option, PortError when it cannot start.
    explicit SimulatorHandle(const std::vector<std::string>& arguments);

    // The pseudo-terminal's path; empty once stopped.
    std::string Port() const;
    bool running() const { return phone_ != nullptr; }
    // Stops serving and closes the pseudo-terminal. A second call does nothing. GIL held.
    void Stop();

private:
    std::unique_ptr<sim::SimulatedPhone> phone_;
};

} // namespace panelgrab::python
