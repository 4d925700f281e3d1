#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

#include "python/key_event_queue.h"

namespace panelgrab::python {

class PhoneHandle;

// The Python KeyEvents: a context manager that switches the phone's key event reporting on at the
// start of the block and off at its end, and an iterator over the events in between.
//
// Waits release the GIL and look at Ctrl-C every slice. A port that fails under the listener is
// raised as PortError once the events that came before it have been handed out: the end of the
// phone is never mistaken for a quiet keypad.
class KeyEventStream {
public:
    // `timeout`: seconds an iteration step waits for the next event before the iteration ends; none:
    // for ever.
    KeyEventStream(std::shared_ptr<PhoneHandle> phone, std::optional<double> timeout);

    void Enter();
    void Exit();
    // The next event; none when the timeout passed (the iteration ends) or the block has ended and
    // no event is left.
    std::optional<KeyEvent> Next();
    // Up to `count` events, waiting at most `timeout` seconds in all (none: the stream's timeout):
    // fewer when the time ran out.
    std::vector<KeyEvent> Take(std::size_t count, std::optional<double> timeout);

private:
    enum class State { Ready, Listening, Ended };
    using Clock = std::chrono::steady_clock;

    // The next event before `deadline` (none: no limit). GIL held on entry.
    std::optional<KeyEvent> Wait(std::optional<Clock::time_point> deadline);
    static std::optional<Clock::time_point> DeadlineAfter(std::optional<double> seconds);

    std::shared_ptr<PhoneHandle> phone_;
    std::shared_ptr<KeyEventQueue> queue_;
    std::optional<double> timeout_;
    State state_ = State::Ready;
};

} // namespace panelgrab::python
