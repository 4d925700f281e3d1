#include "sim/line_writer.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace panelgrab::sim {
namespace {

using std::chrono::nanoseconds;

// Pieces of about this long on a paced line: a smooth flow without waking the client too often.
constexpr nanoseconds kPaceGranularity = std::chrono::milliseconds(4);
// A piece held up this long because the client did not read restarts the schedule instead of
// bursting to catch up, which no real line can do. Lateness of our own (a busy machine) is made up.
constexpr nanoseconds kLateRestart = std::chrono::milliseconds(50);
constexpr nanoseconds kChunkGap = std::chrono::milliseconds(1);

timespec ToTimespec(nanoseconds ns) {
    const auto count = std::max<int64_t>(0, ns.count());
    return timespec{static_cast<time_t>(count / 1000000000), static_cast<long>(count % 1000000000)};
}

} // namespace

LineWriter::LineWriter(int fd, int stopFd, int baud, int chunk)
    : fd_(fd), stopFd_(stopFd), baud_(baud), chunk_(chunk) {}

std::chrono::nanoseconds LineWriter::ByteTime(int64_t bytes) const {
    return nanoseconds(bytes * 10 * 1000000000 / baud_);
}

std::size_t LineWriter::PieceSize() const {
    if (chunk_ > 0) {
        return static_cast<std::size_t>(chunk_);
    }
    if (baud_ > 0) {
        const int64_t perGranule = static_cast<int64_t>(baud_) / 10 * kPaceGranularity.count() / 1000000000;
        return static_cast<std::size_t>(std::max<int64_t>(1, perGranule));
    }
    return 65536;
}

LineWriter::Clock::time_point LineWriter::PieceDeadline(std::size_t pieceBytes) {
    bytesSinceAnchor_ += static_cast<int64_t>(pieceBytes);
    return anchor_ + ByteTime(bytesSinceAnchor_);
}

LineWriter::Status LineWriter::WaitUntil(Clock::time_point deadline, bool stopOnInput) const {
    for (;;) {
        const auto now = Clock::now();
        if (now >= deadline) {
            return Status::Sent;
        }
        pollfd fds[2] = {{stopFd_, POLLIN, 0}, {fd_, static_cast<short>(stopOnInput ? POLLIN : 0), 0}};
        const timespec timeout = ToTimespec(deadline - now);
        const int ready = ppoll(fds, 2, &timeout, nullptr);
        if (ready < 0 && errno != EINTR) {
            return Status::Failed;
        }
        if (ready > 0 && fds[0].revents != 0) {
            return Status::Stopped;
        }
        if (ready > 0 && (fds[1].revents & POLLIN) != 0) {
            return Status::InputArrived;
        }
    }
}

LineWriter::Status LineWriter::WriteAll(std::string_view piece, bool stopOnInput) {
    while (!piece.empty()) {
        const ssize_t written = write(fd_, piece.data(), piece.size());
        if (written > 0) {
            piece.remove_prefix(static_cast<std::size_t>(written));
            sent_ += written;
            if (counter_ != nullptr) {
                counter_->fetch_add(written, std::memory_order_relaxed);
            }
            continue;
        }
        if (written < 0 && errno != EAGAIN && errno != EINTR) {
            return Status::Failed;
        }
        blocked_ = true;
        // The client is not reading: wait for room, the stop signal or (if asked) its next command.
        const short input = stopOnInput ? POLLIN : 0;
        pollfd fds[2] = {{stopFd_, POLLIN, 0}, {fd_, static_cast<short>(POLLOUT | input), 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR) {
            return Status::Failed;
        }
        if (fds[0].revents != 0) {
            return Status::Stopped;
        }
        if ((fds[1].revents & POLLIN) != 0 && stopOnInput) {
            return Status::InputArrived;
        }
    }
    return Status::Sent;
}

LineWriter::Status LineWriter::Send(std::string_view bytes, bool stopOnInput) {
    const std::size_t pieceSize = PieceSize();
    // An idle line cannot bank time: a send after a quiet spell starts a new schedule now. Within
    // a send the schedule stays absolute, so our own wake-up delays never add up.
    if (baud_ > 0 && anchor_ + ByteTime(bytesSinceAnchor_) < Clock::now()) {
        anchor_ = Clock::now();
        bytesSinceAnchor_ = 0;
    }
    while (!bytes.empty()) {
        if (limit_ >= 0 && sent_ >= limit_) {
            return Status::LimitReached;
        }
        std::size_t length = std::min(pieceSize, bytes.size());
        if (limit_ >= 0) {
            length = std::min(length, static_cast<std::size_t>(limit_ - sent_));
        }
        Status status = Status::Sent;
        Clock::time_point deadline{};
        if (baud_ > 0) {
            deadline = PieceDeadline(length);
            status = WaitUntil(deadline, stopOnInput);
        } else if (chunk_ > 0 && sent_ > 0) {
            status = WaitUntil(Clock::now() + kChunkGap, stopOnInput);
        }
        blocked_ = false;
        if (status == Status::Sent) {
            status = WriteAll(bytes.substr(0, length), stopOnInput);
        }
        if (status != Status::Sent) {
            return status;
        }
        if (baud_ > 0 && blocked_ && Clock::now() > deadline + kLateRestart) {
            bytesSinceAnchor_ = 0;
            anchor_ = Clock::now();
        }
        bytes.remove_prefix(length);
    }
    return limit_ >= 0 && sent_ >= limit_ ? Status::LimitReached : Status::Sent;
}

} // namespace panelgrab::sim
