#include "sim/replay_script.h"

#include <fstream>
#include <sstream>

namespace panelgrab::sim {

std::string CommandLineOf(std::string_view sentBytes) {
    return std::string(sentBytes.substr(0, sentBytes.find('\r')));
}

bool ReplayScript::Load(const std::string& path, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot read the session " + path;
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    return Parse(text.str(), path, error);
}

bool ReplayScript::Parse(std::string_view text, const std::string& name, std::string& error) {
    name_ = name;
    opening_.clear();
    steps_.clear();
    next_ = 0;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++lineNumber;
        SessionRecord record;
        std::string why;
        if (ParseSessionRecord(line, record, why)) {
            Add(std::move(record), lineNumber);
        } else if (!why.empty()) {
            error = name + ":" + std::to_string(lineNumber) + ": " + why;
            return false;
        }
    }
    if (steps_.empty()) {
        error = name + ": the session holds no command";
        return false;
    }
    const Step& first = steps_.front();
    for (const SessionRecord& reply : first.replies) {
        if (reply.direction == SessionRecord::Direction::Answer) {
            echoes_ = reply.bytes.starts_with(first.command);
            break;
        }
    }
    return true;
}

void ReplayScript::Add(SessionRecord record, std::size_t fileLine) {
    if (record.direction == SessionRecord::Direction::Sent) {
        steps_.push_back({CommandLineOf(record.bytes), record.ms, fileLine, {}});
    } else if (steps_.empty()) {
        opening_.push_back(std::move(record));
    } else {
        steps_.back().replies.push_back(std::move(record));
    }
}

ReplayScript::Reply ReplayScript::Answer(std::string_view command) {
    Reply reply;
    for (std::size_t i = next_; i < steps_.size(); ++i) {
        if (steps_[i].command == command) {
            next_ = i + 1;
            reply.matched = true;
            reply.commandMs = steps_[i].ms;
            reply.records = &steps_[i].replies;
            return reply;
        }
    }
    // A query asked again because its answer was lost gets the same answer once more.
    if (next_ > 0 && steps_[next_ - 1].command == command) {
        const Step& last = steps_[next_ - 1];
        return {true, last.ms, &last.replies, {}, {}};
    }
    // A client that lost an answer probes with a bare AT before it goes on; any phone answers that
    // with OK, and it changes nothing, so it needs no place in the recording.
    if (command == "AT" || command == "at") {
        reply.unrecordedAnswer = (echoes_ ? std::string(command) + "\r" : std::string()) + "\r\nOK\r\n";
        return reply;
    }
    const std::string expected = next_ < steps_.size()
                                     ? EscapeSessionBytes(steps_[next_].command) + "\" (" + name_ + ":" +
                                           std::to_string(steps_[next_].fileLine) + ")"
                                     : std::string();
    reply.complaint =
        "replay: no recorded command \"" + EscapeSessionBytes(command) + "\"" +
        (expected.empty() ? " after the end of the session" : " from here on; next recorded: \"" + expected) +
        "; answered ERROR";
    reply.unrecordedAnswer = ErrorAnswer(command);
    return reply;
}

std::string ReplayScript::ErrorAnswer(std::string_view command) const {
    return (echoes_ ? std::string(command) + "\r" : std::string()) + "\r\nERROR\r\n";
}

} // namespace panelgrab::sim
