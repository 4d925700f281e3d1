#pragma once

#include <string>

#include <pybind11/pybind11.h>

#include "session/session_options.h"

namespace panelgrab::python {

// Hands a port's traffic to a Python callable as (direction, text): ">" a command sent, "<" an answer
// received, "!" an unsolicited report a listener got, "-" one nobody listened for. The port calls
// from whichever thread runs the exchange (the caller's helper, the background read, the key
// listener), so each call takes the GIL; an exception in the callable is reported as unraisable
// and the traffic goes on. Made and destroyed with the GIL held.
class TraceBridge : public TraceSink {
public:
    explicit TraceBridge(pybind11::object callback) : callback_(std::move(callback)) {}

    void OnCommandSent(const std::string& text) override { Call(">", text); }
    void OnAnswerReceived(const std::string& text) override { Call("<", text); }
    void OnUnsolicited(const std::string& report, bool delivered) override {
        Call(delivered ? "!" : "-", report);
    }

private:
    void Call(const char* direction, const std::string& text);

    pybind11::object callback_;
};

} // namespace panelgrab::python
