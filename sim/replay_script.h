#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/session_record.h"

namespace panelgrab::sim {

// A recorded session (docs/SESSIONS.md) as a phone plays it back: each command the client sends is
// matched by its text (up to its CR) with the next recorded command of that text, in order, and
// answered with what followed it in the recording, up to the next command: the answers and the
// reports sent unasked, each at its time after the command. A command found nowhere ahead is
// answered ERROR and said on stderr; the recording then carries on where it was.
class ReplayScript {
public:
    struct Step {
        std::string command; // without its CR
        int64_t ms = 0;
        std::size_t fileLine = 0;
        std::vector<SessionRecord> replies; // answers and reports, in recorded order
    };
    // What the phone does for one command.
    struct Reply {
        bool matched = false;
        int64_t commandMs = 0;                               // the recorded command's time
        const std::vector<SessionRecord>* records = nullptr; // matched: what to send
        std::string complaint;                               // not matched: the line for stderr (or none)
        std::string unrecordedAnswer;                        // not matched: what to send
    };

    // Reads a session file. False with the file, line and reason for a malformed one.
    bool Load(const std::string& path, std::string& error);
    // The same from the file's text; `name` is what messages call it.
    bool Parse(std::string_view text, const std::string& name, std::string& error);

    // The reply to the command line `command` (without its CR).
    Reply Answer(std::string_view command);

    // Reports recorded before the first command, with their times since the start.
    const std::vector<SessionRecord>& Opening() const { return opening_; }
    bool finished() const { return next_ >= steps_.size(); }

private:
    void Add(SessionRecord record, std::size_t fileLine);
    std::string ErrorAnswer(std::string_view command) const;

    std::string name_;
    std::vector<SessionRecord> opening_;
    std::vector<Step> steps_;
    std::size_t next_ = 0;
    bool echoes_ = false; // the recorded answers begin with their command's echo
};

// The command lines a recorded command holds: its text up to its first CR.
std::string CommandLineOf(std::string_view sentBytes);

} // namespace panelgrab::sim
