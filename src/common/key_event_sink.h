#pragma once

#include <string>

namespace panelgrab {

// Receives key events from the phone. OnKeyPressed, OnKeyReleased and OnKeyEventsLost run on the key
// listener's worker thread; OnKeyEventsStopped on the thread that stopped the listener.
class KeyEventSink {
public:
    virtual void OnKeyPressed(std::string key) = 0;
    virtual void OnKeyReleased(std::string key) = 0;
    virtual void OnKeyEventsStopped() = 0;
    // The listening ended without being asked to: the port failed under it (the phone was unplugged
    // or hung up). `reason` is the port's text; no event follows.
    virtual void OnKeyEventsLost(const std::string& /*reason*/) {}

protected:
    ~KeyEventSink() = default;
};

} // namespace panelgrab
