#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "session/ports.h"
#include "session/session_options.h"
#include "sim/simulated_phone.h"

namespace panelgrab {

class UserPrompts;

// What the window is built with. The defaults are the real program's; tests shrink the times and
// answer the prompts themselves.
struct MainDialogOptions {
    PortTiming timing{};                         // every session's serial timing
    std::chrono::milliseconds pollPeriod{2000};  // how often a running read is looked at
    std::chrono::milliseconds releasePause{250}; // between closing and destroying a session
    sim::SimOptions simulatedPhone{};            // what the "Simulated phone" entry runs
    UserPrompts* prompts = nullptr;              // borrowed; null: real message boxes
    // Makes every phone object (SessionOptions::makePhone); tests wrap the real one to see or shape
    // what the window gets. Empty: the real one.
    std::function<std::unique_ptr<PhoneLink>(const ConnectionSettings&)> createPhone;
    // The serial ports the port list offers; tests give their own instead of this machine's.
    std::function<std::vector<PortInfo>()> listPorts = [] { return ListPorts(); };
};

} // namespace panelgrab
