#include "sim/replay_session.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <poll.h>
#include <unistd.h>

namespace panelgrab::sim {
namespace {

constexpr std::size_t kMaxLineLength = 4096;

} // namespace

ReplaySession::ReplaySession(int fd, int stopFd, ReplayScript script, ReplayTiming timing, int baud,
                             int chunk)
    : fd_(fd), stopFd_(stopFd), script_(std::move(script)), timing_(timing),
      writer_(fd, stopFd, baud, chunk) {
    const Clock::time_point start = Clock::now();
    for (const SessionRecord& record : script_.Opening()) {
        Schedule(record,
                 timing_ == ReplayTiming::Fast ? start : start + std::chrono::milliseconds(record.ms));
    }
}

bool ReplaySession::Run() {
    bool stop = false;
    while (!stop) {
        pollfd fds[2] = {{stopFd_, POLLIN, 0}, {fd_, POLLIN, 0}};
        if (poll(fds, 2, PollTimeoutMs()) < 0 && errno != EINTR) {
            return false;
        }
        if (fds[0].revents != 0) {
            return true;
        }
        if ((fds[1].revents & POLLIN) != 0 && !ReadInput(stop)) {
            return false;
        }
        if (!stop && !SendPending(false, stop)) {
            return false;
        }
    }
    return true;
}

int ReplaySession::PollTimeoutMs() const {
    if (pending_.empty()) {
        return -1;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(pending_.front().due - Clock::now());
    return static_cast<int>(std::clamp<int64_t>(wait.count(), 0, 60000));
}

bool ReplaySession::ReadInput(bool& stop) {
    char buffer[4096];
    const ssize_t got = read(fd_, buffer, sizeof buffer);
    if (got < 0) {
        return errno == EAGAIN || errno == EINTR;
    }
    for (ssize_t i = 0; i < got && !stop; ++i) {
        const char c = buffer[i];
        if (c == '\r') {
            const std::string command = std::move(line_);
            line_.clear();
            if (!Answer(command, stop)) {
                return false;
            }
        } else if (c != '\n' && c != '\0' && line_.size() < kMaxLineLength) {
            line_.push_back(c);
        }
    }
    return true;
}

bool ReplaySession::Answer(const std::string& command, bool& stop) {
    // What the last command still had to send went out before this command on the recorded line.
    ReleaseHeldReports();
    if (!SendPending(true, stop)) {
        return false;
    }
    const ReplayScript::Reply reply = script_.Answer(command);
    const Clock::time_point now = Clock::now();
    if (!reply.matched) {
        if (!reply.complaint.empty()) {
            std::fprintf(stderr, "panelgrab-phonesim: %s\n", reply.complaint.c_str());
        }
        pending_.push_back({now, reply.unrecordedAnswer});
        return true;
    }
    for (const SessionRecord& record : *reply.records) {
        const auto gap = std::chrono::milliseconds(std::max<int64_t>(record.ms - reply.commandMs, 0));
        Schedule(record, timing_ == ReplayTiming::Fast ? now : now + gap);
    }
    return true;
}

void ReplaySession::Schedule(const SessionRecord& record, Clock::time_point due) {
    if (record.direction == SessionRecord::Direction::Unsolicited) {
        // A report went out on its own line; the recording keeps only its text. It stands before
        // the answer piece during whose read it came, somewhere between that piece's lines.
        std::string report = "\r\n" + record.bytes + "\r\n";
        if (answerMidLine_) {
            heldReports_ += report;
        } else {
            pending_.push_back({due, std::move(report)});
        }
        return;
    }
    std::string bytes = record.bytes;
    // Into the piece at its first line end: never inside a line another read began. A piece that
    // ends no line keeps them held for the next.
    if (const std::size_t lineEnd = bytes.find('\n'); !heldReports_.empty() && lineEnd != std::string::npos) {
        bytes.insert(lineEnd + 1, heldReports_);
        heldReports_.clear();
    }
    if (!record.bytes.empty()) {
        answerMidLine_ = record.bytes.back() != '\n';
    }
    pending_.push_back({due, std::move(bytes)});
}

void ReplaySession::ReleaseHeldReports() {
    if (!heldReports_.empty()) {
        pending_.push_back({Clock::now(), std::move(heldReports_)});
        heldReports_.clear();
    }
    answerMidLine_ = false;
}

bool ReplaySession::SendPending(bool all, bool& stop) {
    while (!pending_.empty() && (all || pending_.front().due <= Clock::now())) {
        const std::string bytes = std::move(pending_.front().bytes);
        pending_.pop_front();
        switch (writer_.Send(bytes)) {
        case LineWriter::Status::Sent:
        case LineWriter::Status::InputArrived:
        case LineWriter::Status::LimitReached:
            break;
        case LineWriter::Status::Stopped:
            stop = true;
            return true;
        case LineWriter::Status::Failed:
            return false;
        }
    }
    return true;
}

} // namespace panelgrab::sim
