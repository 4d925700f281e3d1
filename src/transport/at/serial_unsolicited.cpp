// SerialPort: the unsolicited reports the line brings, and their way to a listener.

#include "common/text_codec.h"
#include "transport/at/serial_port.h"
#include "transport/bytes/serial_device.h"

namespace panelgrab {
namespace {

constexpr std::size_t kListenChunk = 512;

} // namespace

void SerialPort::SetUnsolicitedListening(bool on) {
    std::lock_guard lock(reportsLock_);
    reportsWanted_ = on;
    if (!on) {
        reports_.clear();
    }
}

void SerialPort::WakeUnsolicitedWaiters() {
    {
        std::lock_guard lock(reportsLock_);
        ++wakeCount_;
    }
    reportsChanged_.notify_all();
}

void SerialPort::Split(std::string_view piece) {
    std::vector<std::string> reports;
    splitter_.Feed(piece, reports);
    if (!reports.empty()) {
        HandOnReports(reports);
    }
}

void SerialPort::HandOnReports(std::vector<std::string>& reports) {
    bool wanted = false;
    {
        std::lock_guard lock(reportsLock_);
        wanted = reportsWanted_;
    }
    if (TraceSink* sink = traceSink_.load()) {
        for (const std::string& report : reports) {
            sink->OnUnsolicited(FromNarrow(report), wanted);
        }
    }
    if (!wanted) {
        return;
    }
    {
        std::lock_guard lock(reportsLock_);
        for (std::string& report : reports) {
            reports_.push_back(std::move(report));
        }
        // A listener that does not keep up must not make the queue grow without bound.
        while (reports_.size() > kMaxQueuedReports) {
            reports_.pop_front();
        }
    }
    reportsChanged_.notify_all();
}

bool SerialPort::TakeQueued(std::vector<std::string>& reports) {
    std::lock_guard lock(reportsLock_);
    if (reports_.empty()) {
        return false;
    }
    for (std::string& report : reports_) {
        reports.push_back(std::move(report));
    }
    reports_.clear();
    return true;
}

ExchangeResult SerialPort::ListenOnce(std::chrono::milliseconds wait) {
    std::lock_guard lock(exchangeLock_, std::adopt_lock);
    char chunk[kListenChunk];
    const SerialDevice::IoResult read = device_->Read(chunk, sizeof chunk, wait);
    bytesReceived_.fetch_add(read.count, std::memory_order_relaxed);
    if (!read.ok()) {
        return Finish(ReceiveFailed,
                      read.error == SerialDevice::kAborted ? SerialDevice::kCanceledError : read.error);
    }
    if (read.count > 0) {
        Split(std::string_view(chunk, read.count));
        const std::string stray = splitter_.TakeReady();
        if (TraceSink* sink = traceSink_.load(); sink != nullptr && !stray.empty()) {
            sink->OnAnswerReceived(FromNarrow(stray));
        }
    }
    return Ok;
}

ExchangeResult SerialPort::TakeUnsolicited(std::vector<std::string>& reports,
                                           std::chrono::milliseconds wait) {
    if (TakeQueued(reports)) {
        return Ok;
    }
    if (exchangeLock_.try_lock()) {
        if (const ExchangeResult result = ListenOnce(wait); result != Ok) {
            return result;
        }
        if (TakeQueued(reports)) {
            return Ok;
        }
        // A quiet line: give the owner's exchanges their turn at the port before reading again.
        wait = settings_.GetTiming().idlePause;
    }
    std::unique_lock lock(reportsLock_);
    const unsigned wakes = wakeCount_;
    reportsChanged_.wait_for(lock, wait, [&] { return !reports_.empty() || wakeCount_ != wakes; });
    lock.unlock();
    TakeQueued(reports);
    return Ok;
}

ExchangeResult SerialPort::ReadUnsolicited(std::string& answer, std::string_view /*terminator*/, int timeout,
                                           std::size_t capacity) {
    answer.clear();
    const PortTiming& timing = settings_.GetTiming();
    std::vector<std::string> reports;
    for (int poll = 0; reports.empty() && poll <= timeout; ++poll) {
        if (TakeUnsolicited(reports, timing.readWait) != Ok) {
            return ReceiveFailed;
        }
    }
    if (reports.empty()) {
        return TimedOut;
    }
    std::size_t used = 0;
    for (std::string& report : reports) {
        if (used > 0 && answer.size() + report.size() + 2 > capacity) {
            break; // the rest waits for the next call
        }
        answer += report + "\r\n";
        ++used;
    }
    {
        std::lock_guard lock(reportsLock_);
        reports_.insert(reports_.begin(), std::make_move_iterator(reports.begin() + used),
                        std::make_move_iterator(reports.end()));
    }
    return Ok;
}

} // namespace panelgrab
