#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <string>

#include "sim/line_writer.h"
#include "sim/replay_script.h"

namespace panelgrab::sim {

// How a replay keeps time: the recorded gaps between a command and what followed it, or none.
enum class ReplayTiming { Recorded, Fast };

// Serves one pseudo-terminal with a recorded session instead of a phone: assembles command lines
// and sends what the recording answered to each (ReplayScript), paced by the writer as the phone
// is. A command the recording lacks is answered ERROR and said on stderr. Runs on the simulated
// phone's thread until the stop descriptor becomes readable.
class ReplaySession {
public:
    ReplaySession(int fd, int stopFd, ReplayScript script, ReplayTiming timing, int baud, int chunk);
    // False when serving failed (the line broke), true when stopped.
    bool Run();
    void CountSentInto(std::atomic<int64_t>* counter) { writer_.CountInto(counter); }

private:
    using Clock = std::chrono::steady_clock;
    struct Pending {
        Clock::time_point due;
        std::string bytes;
    };

    bool ReadInput(bool& stop);
    bool Answer(const std::string& command, bool& stop);
    void Schedule(const SessionRecord& record, Clock::time_point due);
    // Reports held for a line end that the last answer never brought go out as they are.
    void ReleaseHeldReports();
    // Sends what is due, or everything with `all`. False when serving must end.
    bool SendPending(bool all, bool& stop);
    int PollTimeoutMs() const;

    int fd_;
    int stopFd_;
    ReplayScript script_;
    ReplayTiming timing_;
    LineWriter writer_;
    std::string line_;
    std::deque<Pending> pending_;
    bool answerMidLine_ = false; // the last answer piece scheduled ended inside a line
    std::string heldReports_;    // reports waiting for the next piece's first line end
};

} // namespace panelgrab::sim
