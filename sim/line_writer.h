#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string_view>

namespace panelgrab::sim {

// Sends the phone's bytes into the pseudo-terminal as a serial line would: paced at baud/10 bytes a
// second on an absolute schedule (a piece is written when its last byte would have arrived, so a
// long answer takes exactly its byte time), optionally in pieces of a fixed size, and never more
// bytes than an optional limit. Every wait also watches the stop descriptor.
class LineWriter {
public:
    enum class Status { Sent, Stopped, InputArrived, LimitReached, Failed };

    LineWriter(int fd, int stopFd, int baud, int chunk);

    // Stop sending for good once `bytes` have gone out (negative: no limit).
    void SetByteLimit(int64_t bytes) { limit_ = bytes; }
    // With `stopOnInput`, the send is abandoned (InputArrived) as soon as the client sends something.
    Status Send(std::string_view bytes, bool stopOnInput = false);
    int64_t sent() const { return sent_; }
    // Also adds every byte written to `counter` (may be read from other threads); null: no counter.
    void CountInto(std::atomic<int64_t>* counter) { counter_ = counter; }

private:
    using Clock = std::chrono::steady_clock;

    std::size_t PieceSize() const;
    std::chrono::nanoseconds ByteTime(int64_t bytes) const;
    Clock::time_point PieceDeadline(std::size_t pieceBytes);
    Status WaitUntil(Clock::time_point deadline, bool stopOnInput) const;
    Status WriteAll(std::string_view piece, bool stopOnInput);

    int fd_;
    int stopFd_;
    int baud_;
    int chunk_;
    int64_t limit_ = -1;
    int64_t sent_ = 0;
    std::atomic<int64_t>* counter_ = nullptr;
    bool blocked_ = false;         // the last piece had to wait for the client to read
    Clock::time_point anchor_{};   // the line's schedule starts here...
    int64_t bytesSinceAnchor_ = 0; // ...and this many bytes have been scheduled since
};

} // namespace panelgrab::sim
