#pragma once

#include <string>

namespace panelgrab {

// Observer of all traffic on a port. Texts are UTF-8 (converted from the wire's Latin-1).
// Called on the thread that runs the exchange.
class TraceSink {
public:
    virtual void OnCommandSent(const std::string& text) = 0;
    virtual void OnAnswerReceived(const std::string& text) = 0;
    // An unsolicited report taken out of the line; `delivered`: queued for a listener, not dropped.
    virtual void OnUnsolicited(const std::string& /*report*/, bool /*delivered*/) {}

protected:
    ~TraceSink() = default;
};

} // namespace panelgrab
