// SerialPort: bringing the line back in step after a lost answer or a transfer left before its end.

#include <cstdio>

#include "common/commands.h"
#include "transport/serial_device.h"
#include "transport/serial_port.h"

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

bool SerialPort::BringInStep() {
    return !outOfStep_.load() || Resync();
}

bool SerialPort::Resync() {
    std::lock_guard lock(exchangeLock_);
    const milliseconds readWait = settings_.GetTiming().readWait;
    // What the phone may still send of a transfer, at the line's rate, with room for a slow line.
    const milliseconds limit = readWait * kUnknownDrainWaits + LineTime(bytesStillComing_.load()) * 3 / 2;
    for (int round = 0; round < kResyncRounds; ++round) {
        const bool quiet = DrainUntilQuiet(round == 0 ? limit : readWait * kUnknownDrainWaits);
        if (!IsOpen()) {
            return false;
        }
        if (!quiet) {
            continue; // still sending: the probe would drown in it; a phone that stops on input will
                      // stop at the probe of the next round
        }
        std::string answer;
        if (WriteNow(kCmdAt) != Ok) {
            return false;
        }
        const ExchangeResult probed = ReadUntilOk(answer, kProbeTimeout);
        // The probe's own OK, and nothing after it: an answer that came late would follow it.
        if (probed == Ok && EchoMatches("AT\r", answer) && DrainUntilQuiet(readWait)) {
            outOfStep_ = false;
            bytesStillComing_ = 0;
            return true;
        }
    }
    errorText_ = kTextPhoneNotResponding;
    return false;
}

bool SerialPort::DrainUntilQuiet(milliseconds limit) {
    std::lock_guard lock(exchangeLock_);
    const milliseconds wait = settings_.GetTiming().readWait;
    const auto start = Clock::now();
    const auto deadline = start + limit;
    bool told = false;
    char scratch[kDrainChunk];
    bool quiet = false;
    for (;;) {
        const SerialDevice::IoResult read = device_->Read(scratch, sizeof scratch, wait);
        bytesReceived_.fetch_add(read.count, std::memory_order_relaxed);
        if (!read.ok()) {
            break;
        }
        if (read.count == 0) {
            quiet = true;
            break;
        }
        // The text goes, but a key report among it still reaches a listener.
        Split(std::string_view(scratch, read.count));
        splitter_.TakeReady();
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
    return quiet;
}

} // namespace panelgrab
