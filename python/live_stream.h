#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "python/live_update_queue.h"
#include "session/live_view.h"

namespace panelgrab::python {

class PhoneHandle;
class Screen;

// The Python LiveView: a context manager that starts the phone's live view of one display at the
// start of the block and ends it at its end, and an iterator over its pictures: each step waits for
// the next refresh that fetched something (pushed by the live view, never polled) and hands out the
// picture as it is then with the regions fetched since the last step.
//
// Waits release the GIL and look at Ctrl-C every slice. A live view that ended by itself (the phone
// went away) raises PortError with the reason.
class LiveStream {
public:
    using Frame = std::pair<std::shared_ptr<Screen>, std::vector<LiveRegion>>;

    // `timeout`: seconds a step waits for a change before the iteration ends; none: for ever.
    // `fullEvery`: seconds between full reads (0: none after the first); none: the default.
    LiveStream(std::shared_ptr<PhoneHandle> phone, std::size_t display, std::optional<double> fullEvery,
               std::optional<double> timeout);

    void Enter();
    void Exit();
    // The next picture and its changed regions; none when the timeout passed.
    std::optional<Frame> Next();

private:
    enum class State { Ready, Watching, Ended };
    using Clock = std::chrono::steady_clock;

    std::shared_ptr<PhoneHandle> phone_;
    std::shared_ptr<LiveUpdateQueue> queue_;
    std::size_t display_;
    std::optional<double> fullEvery_;
    std::optional<double> timeout_;
    State state_ = State::Ready;
};

} // namespace panelgrab::python
