#pragma once

#include <string>

namespace panelgrab {

// Receives key events from the phone. OnKeyPressed and OnKeyReleased run on the key listener's
// worker thread; OnKeyEventsStopped on the thread that stopped the listener.
class KeyEventSink {
public:
    virtual void OnKeyPressed(std::string key) = 0;
    virtual void OnKeyReleased(std::string key) = 0;
    virtual void OnKeyEventsStopped() = 0;

protected:
    ~KeyEventSink() = default;
};

} // namespace panelgrab
