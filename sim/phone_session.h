#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <random>
#include <string>
#include <string_view>

#include "sim/at_command_handler.h"
#include "sim/fault_plan.h"
#include "sim/line_writer.h"

namespace panelgrab::sim {

// Serves one pseudo-terminal: assembles command lines, answers them through the command handler,
// sends key event reports between answers and shows the configured fault. Runs on the simulated
// phone's thread until the stop descriptor becomes readable or the phone hangs up.
class PhoneSession {
public:
    enum class End { Stopped, HungUp, Failed };

    PhoneSession(int fd, int stopFd, const SimOptions& options, AtCommandHandler handler);
    End Run();
    // Counts every byte sent to the client into `counter` as well.
    void CountSentInto(std::atomic<int64_t>* counter) { writer_.CountInto(counter); }

private:
    using Clock = std::chrono::steady_clock;
    struct Report {
        Clock::time_point due;
        std::string text;
    };

    // False when serving must end; `end` then says why.
    bool ReadInput(End& end);
    bool FeedByte(char c, End& end);
    bool Answer(const CommandReply& reply, End& end);
    bool SendReports(End& end);
    // Sends through the writer; false when serving must end. A stalled phone swallows the bytes.
    bool Send(std::string_view bytes, End& end, bool stopOnInput = false);
    bool StreamEndlessLine(End& end);
    void ScheduleKeys(const std::vector<std::string>& keys);
    void ScheduleScript();
    std::string Sprinkled(std::string_view text);
    std::string Noise();
    int PollTimeoutMs() const;

    int fd_;
    int stopFd_;
    int strictBaud_; // 0, or the only client rate that is understood
    FaultPlan fault_;
    std::string keyScript_;
    std::chrono::milliseconds scriptPause_;
    AtCommandHandler handler_;
    LineWriter writer_;
    std::string line_;
    bool lineTooLong_ = false;
    bool stalled_ = false;
    std::deque<Report> reports_;
    std::minstd_rand random_{12345};
};

} // namespace panelgrab::sim
