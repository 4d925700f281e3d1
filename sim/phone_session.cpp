#include "sim/phone_session.h"

#include "sim/line_rate.h"
#include "sim/unsolicited_reports.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace panelgrab::sim {
namespace {

constexpr std::size_t kMaxLineLength = 1024;
// A key press takes time on a real phone: its reports follow the OK, never share an answer.
constexpr std::chrono::milliseconds kKeyReportGap{30};

} // namespace

PhoneSession::PhoneSession(int fd, int stopFd, const SimOptions& options, AtCommandHandler handler)
    : fd_(fd), stopFd_(stopFd), strictBaud_(options.strictBaud ? options.baud : 0),
      keyScript_(options.keyEvents), scriptPause_(options.keyEventPauseMs), handler_(std::move(handler)),
      writer_(fd, stopFd, options.baud, options.chunk) {
    std::string ignored;
    ParseFault(options.fault, fault_, ignored);
    if (fault_.kind == FaultPlan::Kind::HangupAfter || fault_.kind == FaultPlan::Kind::StallAfter) {
        writer_.SetByteLimit(fault_.bytes);
    }
}

PhoneSession::End PhoneSession::Run() {
    End end = End::Stopped;
    for (;;) {
        pollfd fds[2] = {{stopFd_, POLLIN, 0}, {fd_, POLLIN, 0}};
        const int ready = poll(fds, 2, PollTimeoutMs());
        if (ready < 0 && errno != EINTR) {
            return End::Failed;
        }
        if (fds[0].revents != 0) {
            return End::Stopped;
        }
        if ((fds[1].revents & POLLIN) != 0 && !ReadInput(end)) {
            return end;
        }
        if (!SendReports(end)) {
            return end;
        }
    }
}

int PhoneSession::PollTimeoutMs() const {
    if (reports_.empty()) {
        return -1;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(reports_.front().due - Clock::now());
    return static_cast<int>(std::clamp<int64_t>(wait.count(), 0, 60000));
}

bool PhoneSession::ReadInput(End& end) {
    char buffer[4096];
    const ssize_t got = read(fd_, buffer, sizeof buffer);
    if (got < 0) {
        if (errno == EAGAIN || errno == EINTR) {
            return true;
        }
        end = End::Failed;
        return false;
    }
    if (strictBaud_ != 0 && got > 0 && ClientLineRate(fd_) != strictBaud_) {
        // At the wrong rate the phone's UART makes garbage of what arrives, and the client's of
        // what the phone says about it.
        line_.clear();
        return Send(Noise(), end);
    }
    for (ssize_t i = 0; i < got; ++i) {
        if (!FeedByte(buffer[i], end)) {
            return false;
        }
    }
    return true;
}

bool PhoneSession::FeedByte(char c, End& end) {
    switch (c) {
    case '\r': {
        const std::string line = lineTooLong_ ? std::string("overlong") : line_;
        line_.clear();
        lineTooLong_ = false;
        return Answer(handler_.Handle(line), end);
    }
    case '\n':
    case '\0':
        return true;
    case '\b':
    case 0x7F:
        if (!line_.empty()) {
            line_.pop_back();
        }
        return true;
    default:
        if (line_.size() < kMaxLineLength) {
            line_.push_back(c);
        } else {
            lineTooLong_ = true;
        }
        return true;
    }
}

bool PhoneSession::Answer(const CommandReply& reply, End& end) {
    if (fault_.kind == FaultPlan::Kind::Silent) {
        return true;
    }
    if (reply.delayMs > 0) {
        // Held back past the client's time-out: a stop still ends the wait.
        pollfd stop{stopFd_, POLLIN, 0};
        if (poll(&stop, 1, static_cast<int>(reply.delayMs)) > 0) {
            end = End::Stopped;
            return false;
        }
    }
    const std::string text = fault_.kind == FaultPlan::Kind::NulBytes ? Sprinkled(reply.text) : reply.text;
    if (!Send(text, end)) {
        return false;
    }
    if (reply.endlessLine && !StreamEndlessLine(end)) {
        return false;
    }
    if (fault_.kind == FaultPlan::Kind::Garbage && !Send(Noise(), end)) {
        return false;
    }
    if (reply.reportingSwitchedOn) {
        reports_.clear();
        ScheduleScript();
    } else if (!handler_.reporting()) {
        reports_.clear();
    }
    if (handler_.reporting()) {
        ScheduleKeys(reply.pressedKeys);
    }
    return true;
}

bool PhoneSession::StreamEndlessLine(End& end) {
    static const std::string kDigits = [] {
        std::string digits;
        for (int i = 0; i < 64; ++i) {
            digits += "0123456789ABCDEF";
        }
        return digits;
    }();
    pollfd input{fd_, POLLIN, 0};
    while (poll(&input, 1, 0) == 0 || (input.revents & POLLIN) == 0) {
        if (!Send(kDigits, end, true)) {
            return false;
        }
        if (stalled_) {
            return true;
        }
    }
    return true;
}

bool PhoneSession::Send(std::string_view bytes, End& end, bool stopOnInput) {
    if (stalled_) {
        return true;
    }
    switch (writer_.Send(bytes, stopOnInput)) {
    case LineWriter::Status::Sent:
    case LineWriter::Status::InputArrived:
        return true;
    case LineWriter::Status::Stopped:
        end = End::Stopped;
        return false;
    case LineWriter::Status::LimitReached:
        if (fault_.kind == FaultPlan::Kind::HangupAfter) {
            end = End::HungUp;
            return false;
        }
        stalled_ = true;
        return true;
    case LineWriter::Status::Failed:
        break;
    }
    end = End::Failed;
    return false;
}

bool PhoneSession::SendReports(End& end) {
    while (!reports_.empty() && reports_.front().due <= Clock::now()) {
        const std::string text = std::move(reports_.front().text);
        reports_.pop_front();
        if (!Send(text, end)) {
            return false;
        }
    }
    return true;
}

void PhoneSession::ScheduleKeys(const std::vector<std::string>& keys) {
    auto due = Clock::now();
    if (!reports_.empty()) {
        due = std::max(due, reports_.back().due);
    }
    for (const std::string& key : keys) {
        for (const char* value : {"1", "0"}) {
            due += kKeyReportGap;
            reports_.push_back({due, UnsolicitedReports::KeyReport(key, value)});
        }
    }
}

void PhoneSession::ScheduleScript() {
    auto due = Clock::now() + kKeyReportGap;
    std::string_view script = keyScript_;
    while (!script.empty()) {
        const std::size_t semicolon = script.find(';');
        const std::string_view report = script.substr(0, semicolon);
        const std::size_t comma = report.rfind(',');
        if (comma != std::string_view::npos) {
            reports_.push_back(
                {due, UnsolicitedReports::KeyReport(report.substr(0, comma), report.substr(comma + 1))});
            due += scriptPause_;
        }
        if (semicolon == std::string_view::npos) {
            break;
        }
        script.remove_prefix(semicolon + 1);
    }
}

std::string PhoneSession::Sprinkled(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 32 + 1);
    for (char c : text) {
        if (random_() % 48 == 0) {
            out.push_back('\0');
        }
        out.push_back(c);
    }
    return out;
}

// Line noise that cannot be mistaken for an answer: no digits or letters, no ':', '"', '+' or line
// ends, so a careful client survives it and a careless one shows its fault.
std::string PhoneSession::Noise() {
    static constexpr char kNoise[] = "#~%&$!|^`@_\x80\x9f\xc3\xfe\x01\x7f";
    std::string noise;
    const std::size_t count = 4 + random_() % 9;
    for (std::size_t i = 0; i < count; ++i) {
        noise.push_back(kNoise[random_() % (sizeof kNoise - 1)]);
    }
    return noise;
}

} // namespace panelgrab::sim
