// SerialPort: bringing the line back in step after a lost answer or a transfer left before its end.

#include <algorithm>
#include <cstdio>

#include "common/ascii_text.h"
#include "common/commands.h"
#include "transport/at/serial_port.h"
#include "transport/bytes/serial_device.h"

namespace panelgrab {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr std::size_t kDrainChunk = 1024;
// Rounds of drain and probe before the line is given up as lost.
constexpr int kResyncRounds = 3;
// Idle polls the probe's OK may take.
constexpr int kProbeTimeout = 2;
// Read waits the drain allows a line that keeps sending when nothing is known to be coming.
constexpr int kUnknownDrainWaits = 4;
// A wait shorter than this is not worth a word to the user.
constexpr milliseconds kNoticeWorthy{2000};

// Mostly hexadecimal digits: the lines of a picture, not noise.
bool LooksLikePictureText(std::string_view text) {
    const auto digits = std::count_if(text.begin(), text.end(), [](char c) { return IsHexDigit(c); });
    return digits * 10 >= static_cast<long long>(text.size()) * 9;
}

std::string MinutesAndSeconds(milliseconds duration) {
    const long long seconds = (duration.count() + 999) / 1000;
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", seconds / 60, seconds % 60);
    return text;
}

} // namespace

void SerialPort::MarkOutOfStep(uint64_t bytesStillComing) {
    bytesStillComing_ = bytesStillComing;
    outOfStep_ = true;
}

void SerialPort::SetNoticeHandler(std::function<void(const std::string&)> handler) {
    noticeHandler_ = std::move(handler);
}

void SerialPort::Notify(const std::string& text) {
    if (noticeHandler_) {
        noticeHandler_(text);
    }
}

ExchangeResult SerialPort::BringInStep() {
    return outOfStep_.load() ? Resync() : Ok;
}

ExchangeResult SerialPort::Resync() {
    std::lock_guard lock(exchangeLock_);
    const milliseconds readWait = settings_.GetTiming().readWait;
    // What the phone may still send of a transfer, at the line's rate, with room for a slow line.
    const milliseconds limit = readWait * kUnknownDrainWaits + LineTime(bytesStillComing_.load()) * 3 / 2;
    for (int round = 0; round < kResyncRounds; ++round) {
        const Drained drained = DrainUntilQuiet(round == 0 ? limit : readWait * kUnknownDrainWaits);
        if (drained == Drained::Failed) {
            return ReceiveFailed; // the port's own failure, with its reason, says more than a probe
        }
        // A phone still sending past the bound gets the probe too: many stop sending when a
        // command comes, and its OK is found among the rest.
        std::string answer;
        if (const ExchangeResult written = WriteNow(kCmdAt); written != Ok) {
            return written;
        }
        const ExchangeResult probed = ReadUntilOk(answer, kProbeTimeout);
        if (probed == ReceiveFailed) {
            return probed;
        }
        // The probe's own OK, and nothing after it: an answer that came late would follow it. Without
        // an echo an OK cannot tell which command it answers, so the line must stay quiet longer.
        const bool echoed = answer.starts_with("AT") || answer.starts_with("at");
        const milliseconds silence = echoed ? readWait : readWait * kUnknownDrainWaits;
        if (probed == Ok && EchoMatches("AT\r", answer) &&
            DrainUntilQuiet(silence, milliseconds(0), silence) == Drained::Quiet) {
            outOfStep_ = false;
            bytesStillComing_ = 0;
            return Ok;
        }
    }
    return Finish(TimedOut, 0);
}

SerialPort::Drained SerialPort::DrainUntilQuiet(milliseconds limit, milliseconds pictureLimit,
                                                milliseconds silence) {
    std::lock_guard lock(exchangeLock_);
    const milliseconds wait = std::max(settings_.GetTiming().readWait, silence);
    const auto start = Clock::now();
    auto deadline = start + limit;
    bool told = false;
    char scratch[kDrainChunk];
    Drained drained = Drained::StillSending;
    for (;;) {
        const SerialDevice::IoResult read = device_->Read(scratch, sizeof scratch, wait);
        bytesReceived_.fetch_add(read.count, std::memory_order_relaxed);
        if (!read.ok()) {
            Finish(ReceiveFailed,
                   read.error == SerialDevice::kAborted ? SerialDevice::kCanceledError : read.error);
            drained = Drained::Failed;
            break;
        }
        if (read.count == 0) {
            drained = Drained::Quiet;
            break;
        }
        // The text goes, but a key report among it still reaches a listener.
        Split(std::string_view(scratch, read.count));
        splitter_.TakeReady();
        if (pictureLimit > limit && LooksLikePictureText(std::string_view(scratch, read.count))) {
            deadline = std::max(deadline, start + pictureLimit); // the rest of a picture is on its way
            limit = pictureLimit;
        }
        const auto now = Clock::now();
        if (now >= deadline) {
            break;
        }
        if (!told && limit >= kNoticeWorthy && now - start >= wait) {
            told = true;
            Notify("the phone is still sending a previous picture; waiting up to " +
                   MinutesAndSeconds(std::chrono::duration_cast<milliseconds>(deadline - now)) + "…");
        }
    }
    splitter_.Reset();
    return drained;
}

} // namespace panelgrab
