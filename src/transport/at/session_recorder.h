#pragma once

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

#include "common/session_record.h"
#include "transport/at/trace_sink.h"

namespace panelgrab {

// Records the traffic of a port in a session file (docs/SESSIONS.md): every command sent, every
// answer received and every report the phone sent unasked, one line each, with the time since the
// recording began. Each line is on the disk's way (flushed) once written, so a session that ends
// in a crash is recorded up to it. The traffic may also go on to another sink (a trace printer).
//
// Threading: the port calls it from whichever thread runs an exchange; lines are written whole
// under a lock. Open before the sink is given to a port; the sink must outlive the port's use.
class SessionRecorder : public TraceSink {
public:
    explicit SessionRecorder(TraceSink* forward = nullptr) : forward_(forward) {}
    ~SessionRecorder();
    SessionRecorder(const SessionRecorder&) = delete;
    SessionRecorder& operator=(const SessionRecorder&) = delete;

    // Creates (or replaces) the file and writes its heading, which names the port. False with the
    // system's reason.
    bool Open(const std::string& path, const std::string& portDescription, std::string& error);

    void OnCommandSent(const std::string& text) override;
    void OnAnswerReceived(const std::string& text) override;
    void OnUnsolicited(const std::string& report, bool delivered) override;

    // False once a line could not be written (a full disk); the rest of the session is then lost.
    bool Healthy() const;

private:
    void Record(SessionRecord::Direction direction, const std::string& utf8);

    TraceSink* forward_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    mutable std::mutex lock_;
    std::FILE* file_ = nullptr;
    bool healthy_ = true;
};

} // namespace panelgrab
