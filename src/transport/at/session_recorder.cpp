#include "transport/at/session_recorder.h"

#include <cerrno>
#include <cstring>

#include "common/text_codec.h"

namespace panelgrab {

SessionRecorder::~SessionRecorder() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

bool SessionRecorder::Open(const std::string& path, const std::string& portDescription, std::string& error) {
    std::lock_guard hold(lock_);
    file_ = std::fopen(path.c_str(), "wb");
    if (file_ == nullptr) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    start_ = std::chrono::steady_clock::now();
    const std::string heading = "# panelgrab session: " + EscapeSessionBytes(portDescription) +
                                "\n# seconds, then > sent, < received, ! sent unasked; bytes escaped\n";
    healthy_ = std::fputs(heading.c_str(), file_) >= 0 && std::fflush(file_) == 0;
    return true;
}

void SessionRecorder::OnCommandSent(const std::string& text) {
    Record(SessionRecord::Direction::Sent, text);
    if (forward_ != nullptr) {
        forward_->OnCommandSent(text);
    }
}

void SessionRecorder::OnAnswerReceived(const std::string& text) {
    // A read that brought nothing is no record: the time before the next line tells it.
    if (!text.empty()) {
        Record(SessionRecord::Direction::Answer, text);
    }
    if (forward_ != nullptr) {
        forward_->OnAnswerReceived(text);
    }
}

void SessionRecorder::OnUnsolicited(const std::string& report, bool delivered) {
    Record(SessionRecord::Direction::Unsolicited, report);
    if (forward_ != nullptr) {
        forward_->OnUnsolicited(report, delivered);
    }
}

bool SessionRecorder::Healthy() const {
    std::lock_guard hold(lock_);
    return healthy_;
}

void SessionRecorder::Record(SessionRecord::Direction direction, const std::string& utf8) {
    SessionRecord record;
    record.direction = direction;
    record.bytes = Latin1FromUtf8(utf8);
    std::lock_guard hold(lock_);
    if (file_ == nullptr || !healthy_) {
        return;
    }
    record.ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_)
            .count();
    const std::string line = FormatSessionRecord(record) + "\n";
    healthy_ = std::fwrite(line.data(), 1, line.size(), file_) == line.size() && std::fflush(file_) == 0;
}

} // namespace panelgrab
