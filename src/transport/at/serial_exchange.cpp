#include "transport/at/serial_port.h"

#include <algorithm>

#include "common/ascii_text.h"
#include "common/text_codec.h"
#include "transport/at/final_result.h"
#include "transport/at/terminator_scanner.h"
#include "transport/bytes/serial_device.h"

namespace panelgrab {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr std::string_view kOk = "OK\r\n";
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::size_t kChunkSize = 1023;
constexpr int kAttempts = 3;
constexpr int kMaxTimeout = 65535;
constexpr int32_t kFallbackBaudRate = 9600;
constexpr int kBitsPerCharacter = 10; // start bit, 8 data bits, stop bit

// Write time-outs of the line: a fixed part plus a per-character part; the paced line allows a
// generous fixed time instead.
constexpr milliseconds kWriteFixed{50};
constexpr milliseconds kWritePerCharacter{5};
constexpr milliseconds kPacedWriteBound{2000};

// NUL bytes carry nothing in a text answer; they are removed so the text after them is kept.
std::size_t DropNulBytes(char* data, std::size_t size) {
    return static_cast<std::size_t>(std::remove(data, data + size, '\0') - data);
}

} // namespace

ExchangeResult SerialPort::SetError(ExchangeResult code) {
    errorText_ = ExchangeResultText(code);
    return code;
}

ExchangeResult SerialPort::Finish(ExchangeResult code, int systemError) {
    systemError_ = systemError;
    return SetError(code);
}

std::unique_lock<ExchangeLock> SerialPort::HoldExchanges() {
    return std::unique_lock(exchangeLock_);
}

void SerialPort::SetTraceSink(TraceSink* sink) {
    traceSink_ = sink;
}

milliseconds SerialPort::WriteBound(std::size_t size) const {
    if (settings_.IsPacedOpen()) {
        return kPacedWriteBound;
    }
    return kWriteFixed + kWritePerCharacter * static_cast<long long>(size);
}

milliseconds SerialPort::StreamingAllowance(int timeout, std::size_t capacity) const {
    const PortTiming& timing = settings_.GetTiming();
    // A capacity meant as "no limit" must not overflow the sum: a gigabyte already takes days.
    const uint64_t characters = std::min<std::size_t>(capacity, std::size_t{1} << 30);
    return (timing.readWait + timing.idlePause) * timeout + timing.readWait + LineTime(2 * characters);
}

milliseconds SerialPort::LineTime(uint64_t bytes) const {
    const int32_t rate = settings_.GetBaudRate() > 0 ? settings_.GetBaudRate() : kFallbackBaudRate;
    const uint64_t capped = std::min<uint64_t>(bytes, uint64_t{1} << 31);
    return milliseconds(
        static_cast<long long>(capped * kBitsPerCharacter * 1000 / static_cast<uint64_t>(rate)));
}

ExchangeResult SerialPort::Write(const NarrowString& command, int /*timeout*/) {
    std::lock_guard lock(exchangeLock_);
    if (const ExchangeResult inStep = BringInStep(); inStep != Ok) {
        return inStep;
    }
    return WriteNow(command);
}

ExchangeResult SerialPort::WriteNow(const NarrowString& command) {
    std::lock_guard lock(exchangeLock_);
    if (TraceSink* sink = traceSink_.load()) {
        sink->OnCommandSent(FromNarrow(command.view()));
    }
    if (command.truncated()) {
        return Finish(SendFailed, SerialDevice::kOversizeError);
    }
    splitter_.ExpectAnswerTo(command.view());
    const SerialDevice::IoResult written =
        device_->Write(command.c_str(), command.size(), WriteBound(command.size()));
    if (!written.ok()) {
        return Finish(SendFailed,
                      written.error == SerialDevice::kAborted ? SerialDevice::kCanceledError : written.error);
    }
    return Finish(Ok, 0);
}

ExchangeResult SerialPort::ReadInto(std::string& answer, std::string_view terminator, int timeout,
                                    std::size_t capacity, Overflow overflow) {
    std::lock_guard lock(exchangeLock_);
    answer.clear();
    timeout = std::clamp(timeout, 0, kMaxTimeout);
    capacity = std::max<std::size_t>(capacity, 1);
    const PortTiming& timing = settings_.GetTiming();
    TerminatorScanner scanner(terminator);
    const auto deadline = Clock::now() + StreamingAllowance(timeout, capacity);
    // An answer ends on its final result line; any other terminator is looked for as text.
    const bool untilFinal = terminator == kOk;
    FinalResultScanner finals;
    int idlePolls = 0;
    char chunk[kChunkSize];
    for (;;) {
        if (!splitter_.HasReady()) {
            const SerialDevice::IoResult read = device_->Read(chunk, sizeof chunk, timing.readWait);
            bytesReceived_.fetch_add(read.count, std::memory_order_relaxed);
            if (!read.ok()) {
                return Finish(ReceiveFailed, read.error == SerialDevice::kAborted
                                                 ? SerialDevice::kCanceledError
                                                 : read.error);
            }
            if (read.count == 0) {
                Pause(timing.idlePause);
                if (idlePolls >= timeout) {
                    return Finish(TimedOut, 0);
                }
                ++idlePolls;
                continue;
            }
            Split(std::string_view(chunk, DropNulBytes(chunk, read.count)));
        }
        if (splitter_.HasReady()) {
            // Handing over must not take more than fits: the rest stays ready for the next call.
            const std::string text = splitter_.TakeReady(
                overflow == Overflow::HandOver ? capacity - answer.size() : std::string::npos);
            answer.append(text, 0, capacity - std::min(capacity, answer.size()));
            if (untilFinal && finals.Feed(text)) {
                RememberFinal(finals.line());
                return Finish(finals.result() == FinalResult::Ok ? Ok : ErrorAnswer, 0);
            }
            switch (untilFinal ? TerminatorScanner::Found::Nothing : scanner.Feed(text)) {
            case TerminatorScanner::Found::Terminator:
                return Finish(Ok, 0);
            case TerminatorScanner::Found::ErrorAnswer:
                return Finish(ErrorAnswer, 0);
            case TerminatorScanner::Found::Nothing:
                break;
            }
            if (overflow == Overflow::HandOver && answer.size() >= capacity) {
                return Finish(Ok, 0);
            }
        }
        if (Clock::now() >= deadline) {
            return Finish(TimedOut, 0);
        }
    }
}

ExchangeResult SerialPort::ReadUntil(std::string& answer, std::string_view terminator, int timeout,
                                     std::size_t capacity) {
    std::lock_guard lock(exchangeLock_);
    const ExchangeResult result = ReadInto(answer, terminator, timeout, capacity, Overflow::Cut);
    if (TraceSink* sink = traceSink_.load()) {
        sink->OnAnswerReceived(FromNarrow(answer));
    }
    return result;
}

ExchangeResult SerialPort::ReadUntilOk(std::string& answer, int timeout, std::size_t capacity) {
    return ReadUntil(answer, kOk, timeout, capacity);
}

ExchangeResult SerialPort::ReadLine(std::string& answer, int timeout, std::size_t capacity) {
    std::lock_guard lock(exchangeLock_);
    const ExchangeResult result = ReadInto(answer, kLineEnd, timeout, capacity, Overflow::HandOver);
    if (TraceSink* sink = traceSink_.load()) {
        sink->OnAnswerReceived(FromNarrow(answer));
    }
    return result;
}

ExchangeResult SerialPort::Transact(const NarrowString& command, std::string& answer, int timeout,
                                    std::size_t capacity, Repeat repeat) {
    std::lock_guard lock(exchangeLock_);
    answer.clear();
    const int attempts = repeat == Repeat::IfLost ? kAttempts : 1;
    ExchangeResult result = ReceiveFailed;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (const ExchangeResult written = Write(command); written != Ok) {
            // A port that takes no command answers none either; a line that could not be brought
            // back in step says so with its own result and reason.
            return written == SendFailed ? SetError(ReceiveFailed) : written;
        }
        result = ReadUntilOk(answer, timeout, capacity);
        if ((result == Ok || result == ErrorAnswer) && !EchoMatches(command.view(), answer)) {
            // The answer of an earlier command that came late: this command's own is still to come.
            MarkOutOfStep();
            errorText_ = kTextAnswerOutOfStep;
            result = ReceiveFailed;
            continue;
        }
        if (result != TimedOut) {
            return result == ReceiveFailed ? result : SetError(result);
        }
        MarkOutOfStep();
    }
    return result == ReceiveFailed ? result : SetError(result);
}

bool SerialPort::EchoMatches(std::string_view command, std::string_view answer) {
    // The echo is the first line when it starts with AT; a phone with echo off starts with CR LF.
    const std::size_t end = answer.find_first_of("\r\n");
    const std::string_view echo = answer.substr(0, end);
    if (!StartsWithIgnoringCase(echo, "AT")) {
        return true;
    }
    const std::string_view sent = command.substr(0, command.find_first_of("\r\n"));
    return EqualsIgnoringCase(echo, sent);
}

void SerialPort::RememberFinal(const std::string& line) {
    std::lock_guard lock(finalLock_);
    finalResultLine_ = line;
}

std::string SerialPort::finalResultLine() const {
    std::lock_guard lock(finalLock_);
    return finalResultLine_;
}

bool SerialPort::ExecuteOrDefer(const NarrowString& command, int timeout, ExchangeResult& result) {
    // Run later, nobody waits for the result any more: the trace has the answer.
    if (!exchangeLock_.TryLockOrDefer([this, command, timeout] { Execute(command, timeout); })) {
        return false;
    }
    std::lock_guard lock(exchangeLock_, std::adopt_lock);
    result = Execute(command, timeout);
    return true;
}

ExchangeResult SerialPort::Execute(const NarrowString& command, int timeout) {
    std::string answer;
    return Transact(command, answer, timeout);
}

ExchangeResult SerialPort::ExecuteQuery(const NarrowString& command, int timeout) {
    std::string answer;
    return Transact(command, answer, timeout, kAnswerCapacity, Repeat::IfLost);
}

ExchangeResult SerialPort::Query(const NarrowString& command, std::string& answer, int timeout) {
    std::string raw;
    const ExchangeResult result = Transact(command, raw, timeout, kAnswerCapacity, Repeat::IfLost);
    answer = result == Ok ? DecodeUtf8(raw) : std::string();
    return result;
}

} // namespace panelgrab
