#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "common/narrow_string.h"
#include "transport/at/connection_settings.h"
#include "transport/at/exchange_lock.h"
#include "transport/at/exchange_result.h"
#include "transport/at/trace_sink.h"
#include "transport/at/unsolicited_splitter.h"

namespace panelgrab {

class SerialDevice;

// The one link to the phone: opens and configures a serial port, proves that a phone answers, and
// runs AT command exchanges on it.
//
// Threading: exchanges may come from more than one thread (the caller and a key listener); each
// exchange runs whole under an internal lock, so two never interleave on the wire. Close() may be
// called from any thread at any time, also while another thread is blocked in a read: that read
// fails promptly with ReceiveFailed and the descriptor is closed only after it has been left.
// errorText() and systemError() describe the last finished operation of any thread.
//
// Unsolicited reports: whoever reads the line (an exchange, a picture transfer, the key listener)
// takes every report line out of what it reads (see UnsolicitedSplitter); no answer ever holds one.
// While a listener has asked for them the reports are queued for it in arrival order; otherwise
// they are dropped with a trace entry.
//
// In step: an exchange ends on its final result line (OK, ERROR, +CME ERROR: n, +CMS ERROR: n,
// NO CARRIER, BUSY, NO ANSWER, NO DIALTONE). After a time-out, an answer whose echo names another
// command, or a transfer that was left before its end, the line is out of step: before anything
// else goes out, what still arrives is drained until the line is quiet (bounded by the time the
// rest of the transfer takes at the line's rate), and an "AT" probe must get its own OK. Only
// queries are sent again after that (Repeat::IfLost); key presses, settings and raw commands go out
// once.
//
// Time-outs are counted in idle polls: a read that brought nothing (it waits up to readWait for a
// first byte) followed by an idle pause. The budget covers the whole exchange. An answer that keeps
// streaming without its terminator also ends with TimedOut, once the budget has passed in wall time
// plus the time the line needs for twice the answer's capacity, so no exchange runs for ever.
class SerialPort {
public:
    // Whether a command that got no answer of its own may be sent again once the line is in step.
    enum class Repeat {
        Never, // it may have acted on the phone (a key press, a setting, a raw command)
        IfLost // a query: asking again changes nothing
    };

    // Answer capacities in characters (the buffers hold one more for the terminating zero).
    static constexpr std::size_t kAnswerCapacity = 1023;     // Execute, Query, Transact
    static constexpr std::size_t kLineCapacity = 4095;       // ReadLine (picture transfer)
    static constexpr std::size_t kUnsolicitedCapacity = 127; // ReadUnsolicited
    // Reports kept for a listener that does not take them; older ones are dropped beyond this.
    static constexpr std::size_t kMaxQueuedReports = 4096;

    explicit SerialPort(const ConnectionSettings& settings);
    // Over a given device instead of the platform's own (tests use scripted devices).
    SerialPort(const ConnectionSettings& settings, std::unique_ptr<SerialDevice> device);
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens, configures and probes the port ("None": succeeds without opening anything), then
    // optionally sends the initialisation commands.
    bool Open(bool sendInitCommands);
    // Normal or paced open sequence, as the settings choose.
    bool OpenPort();
    // Discards pending input until the line has been quiet for one read wait, also the rest of a
    // picture that a stopped program left the phone sending (the user is told of a long wait).
    void DrainInput();
    // Sends each line of the settings' initialisation commands and expects OK for each.
    bool SendInitCommands();
    // Closes the port if it is open. Safe from any thread; a second call does nothing.
    void Close();
    bool IsOpen() const;

    // Sends the command (without waiting for anything), after bringing an out-of-step line back in
    // step: TimedOut or ReceiveFailed when that failed, and nothing is sent. A command that was cut
    // because it did not fit its NarrowString is refused with SendFailed and never written. The
    // timeout is unused.
    ExchangeResult Write(const NarrowString& command, int timeout = 0);

    // Collects input into `answer` until `terminator` or "ERROR\r\n" occurs in it, or the idle-poll
    // budget `timeout` runs out. An answer longer than `capacity` is cut: the rest is read and
    // dropped while the terminator and "ERROR\r\n" are still looked for in it. NUL bytes from the
    // line are dropped; the text around them is kept.
    ExchangeResult ReadUntil(std::string& answer, std::string_view terminator, int timeout,
                             std::size_t capacity = kAnswerCapacity);
    ExchangeResult ReadUntilOk(std::string& answer, int timeout, std::size_t capacity = kAnswerCapacity);
    // Reads until the text read holds "\r\n": that may be one line, or several when they came in one
    // piece. When `capacity` characters have arrived without a line end, the read ends with Ok and
    // hands them over; the rest comes with the next call, so nothing is lost.
    ExchangeResult ReadLine(std::string& answer, int timeout, std::size_t capacity = kLineCapacity);
    // Unsolicited reports that arrived (or arrive within the idle-poll budget `timeout`), each
    // followed by "\r\n", at most `capacity` characters; the rest stay queued. TimedOut when none
    // came. The terminator is unused: reports are whole lines. Only while listening is on.
    ExchangeResult ReadUnsolicited(std::string& answer, std::string_view terminator, int timeout,
                                   std::size_t capacity = kUnsolicitedCapacity);

    // Queue reports for a listener (on), or drop them with a trace entry (off, the default).
    void SetUnsolicitedListening(bool on);
    // Moves the queued reports into `reports`. When there are none: reads the line for up to `wait`
    // if no exchange is running (a report may be on its way), or else waits up to `wait` for the
    // running exchange to find one. Never waits for the exchange lock. ReceiveFailed when the port
    // failed (closed, unplugged); Ok otherwise, also with no report.
    ExchangeResult TakeUnsolicited(std::vector<std::string>& reports, std::chrono::milliseconds wait);
    // Ends a TakeUnsolicited wait at once (a listener asked to stop).
    void WakeUnsolicitedWaiters();

    // Executes the command now when no other thread's exchange runs, otherwise right after that
    // exchange lets the port go (the result then goes only to the trace). True: it ran now, with
    // `result`. Never waits for another thread.
    bool ExecuteOrDefer(const NarrowString& command, int timeout, ExchangeResult& result);

    // Writes the command and waits for its final result: Ok for "OK", ErrorAnswer for the error
    // results (finalResultLine() has the phone's words). With Repeat::IfLost, up to three attempts
    // while the answer is lost (time-out, or an answer that belongs to another command).
    ExchangeResult Transact(const NarrowString& command, std::string& answer, int timeout,
                            std::size_t capacity = kAnswerCapacity, Repeat repeat = Repeat::Never);
    // Transact once with the answer dropped: for commands that act on the phone.
    ExchangeResult Execute(const NarrowString& command, int timeout);
    // A query whose answer is not needed (only whether the phone accepts it).
    ExchangeResult ExecuteQuery(const NarrowString& command, int timeout);
    // A query; on Ok the answer (echo included) decoded from UTF-8, otherwise empty.
    ExchangeResult Query(const NarrowString& command, std::string& answer, int timeout);

    // A transfer was left before its end (stopped, failed, or its answer not waited for): the
    // line is brought back in step before the next command. `bytesStillComing` is what the phone may
    // still send of it (0 when unknown); the drain waits for it at most as long as it takes.
    void MarkOutOfStep(uint64_t bytesStillComing = 0);
    bool IsOutOfStep() const { return outOfStep_.load(); }
    // The last final result line that ended an exchange ("OK", "+CME ERROR: 100", …).
    std::string finalResultLine() const;
    // Receives what the user should know about a wait ("the phone is still sending a previous
    // picture; waiting up to 0:24…"). Called on the thread that waits; set before use.
    void SetNoticeHandler(std::function<void(const std::string&)> handler);

    // Keeps every other thread's exchanges off the port while the returned lock lives, for a
    // conversation of several exchanges (one picture request, then its many answer lines) that a key
    // listener's read must not break into. Close() still ends it.
    [[nodiscard]] std::unique_lock<ExchangeLock> HoldExchanges();

    // Sets errorText from the result's fixed text and returns the result.
    ExchangeResult SetError(ExchangeResult code);
    void SetTraceSink(TraceSink* sink);

    // The fixed text of the last failure or exchange result; never null after construction.
    const char* errorText() const { return errorText_.load(); }
    // The operating system's reason (errno) for the last failure the system reported, 0 if none.
    int systemError() const { return systemError_.load(); }
    // Bytes read from the line since construction, whoever read them (answers, reports, drained
    // noise, NUL bytes included). Any thread; a client takes differences to see what a job cost.
    uint64_t bytesReceived() const { return bytesReceived_.load(std::memory_order_relaxed); }
    const ConnectionSettings& settings() const { return settings_; }

private:
    enum class Overflow { Cut, HandOver };
    ExchangeResult ReadInto(std::string& answer, std::string_view terminator, int timeout,
                            std::size_t capacity, Overflow overflow);
    // Passes what the line brought through the splitter and hands its reports on. Lock held.
    void Split(std::string_view piece);
    void HandOnReports(std::vector<std::string>& reports);
    // One read of the line by the listener while no exchange runs; the text it brings that is not a
    // report belongs to no exchange and is dropped.
    ExchangeResult ListenOnce(std::chrono::milliseconds wait);
    bool TakeQueued(std::vector<std::string>& reports);
    bool OpenNormal();
    bool OpenPaced();
    bool FailOpen(const char* text, int systemError);
    // A new line: nothing read before the open belongs to what comes.
    void StartAfresh();
    void Pause(std::chrono::milliseconds duration) const;
    // SetError plus the errno behind the result (0 when the system reported nothing).
    ExchangeResult Finish(ExchangeResult code, int systemError);
    // How long a write may wait for the driver to take the command.
    std::chrono::milliseconds WriteBound(std::size_t size) const;
    // The wall-clock limit of one read loop: the idle-poll budget plus the line time of twice the
    // answer's capacity.
    std::chrono::milliseconds StreamingAllowance(int timeout, std::size_t capacity) const;
    // The time the line needs for `bytes` characters at its rate.
    std::chrono::milliseconds LineTime(uint64_t bytes) const;
    // Writes without first bringing the line in step (the resync's own probe).
    ExchangeResult WriteNow(const NarrowString& command);
    // Resyncs when the line is out of step: Ok, TimedOut when no probe got its own OK, or
    // ReceiveFailed when the port failed.
    ExchangeResult BringInStep();
    ExchangeResult Resync();
    enum class Drained { Quiet, StillSending, Failed };
    // Reads and drops what arrives until one read wait (or `silence`, when longer) brings nothing,
    // at most for `limit`, or for `pictureLimit` once what arrives looks like a picture's lines; a
    // key report among it still reaches a listener.
    Drained DrainUntilQuiet(std::chrono::milliseconds limit,
                            std::chrono::milliseconds pictureLimit = std::chrono::milliseconds(0),
                            std::chrono::milliseconds silence = std::chrono::milliseconds(0));
    // True when the answer's echo, if the phone echoes, is the command's own.
    static bool EchoMatches(std::string_view command, std::string_view answer);
    void RememberFinal(const std::string& line);
    void Notify(const std::string& text);

    std::unique_ptr<SerialDevice> device_;
    std::atomic<const char*> errorText_;
    std::atomic<int> systemError_{0};
    std::atomic<uint64_t> bytesReceived_{0};
    ConnectionSettings settings_;
    std::atomic<TraceSink*> traceSink_{nullptr};
    ExchangeLock exchangeLock_;
    UnsolicitedSplitter splitter_; // used under exchangeLock_
    std::atomic<bool> outOfStep_{false};
    std::atomic<uint64_t> bytesStillComing_{0};
    mutable std::mutex finalLock_;
    std::string finalResultLine_;
    std::function<void(const std::string&)> noticeHandler_;

    std::mutex reportsLock_;
    std::condition_variable reportsChanged_;
    std::deque<std::string> reports_;
    bool reportsWanted_ = false;
    unsigned wakeCount_ = 0; // bumped by WakeUnsolicitedWaiters
};

} // namespace panelgrab
