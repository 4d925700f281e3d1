#include "python/simulator_handle.h"

#include <pybind11/pybind11.h>

#include "python/gil_gate.h"
#include "python/python_errors.h"

namespace py = pybind11;

namespace panelgrab::python {

SimulatorHandle::SimulatorHandle(const std::vector<std::string>& arguments) {
    sim::SimOptions options;
    std::string error;
    if (!sim::ParseSimOptions(arguments, options, error)) {
        throw py::value_error("simulated phone: " + error);
    }
    phone_ = std::make_unique<sim::SimulatedPhone>(options);
    if (!phone_->Start(error)) {
        phone_.reset();
        Raise({ErrorKind::Port, "the simulated phone could not be started: " + error});
    }
}

std::string SimulatorHandle::Port() const {
    return phone_ ? phone_->DevicePath() : std::string();
}

void SimulatorHandle::Stop() {
    const GilGate::Released release;
    phone_.reset();
}

} // namespace panelgrab::python
