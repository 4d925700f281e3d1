#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace panelgrab::test {

// The far end of a pseudo-terminal, played by a script on a thread of its own: the phone side of a
// serial line for tests. Steps may be added before or after Start() and run in order; between and
// during steps the peer keeps reading what the client writes. The peer keeps its own descriptor of the slave
// open, so the terminal lives on while clients open and close it. Stop() (or the destructor) ends the script
// wherever it is, within a few milliseconds.
class PtyPeer {
public:
    using Duration = std::chrono::milliseconds;

    PtyPeer();
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    // False when the pseudo-terminal could not be made; nothing else works then.
    bool ok() const { return !slavePath_.empty(); }
    // The device path a client opens, e.g. /dev/pts/7.
    const std::string& SlavePath() const { return slavePath_; }

    // Waits for the next command: everything up to and including a CR. Commands() records it.
    PtyPeer& Expect() { return Add({Kind::Expect, {}}); }
    // Sends `text` at once; Silence() between Answer()s sends an answer in pieces.
    PtyPeer& Answer(std::string text) { return Add({Kind::Send, std::move(text)}); }
    // Expect() then Answer(text): one command answered.
    PtyPeer& Respond(std::string text) { return Expect().Answer(std::move(text)); }
    // Says nothing for `duration` (input is still recorded).
    PtyPeer& Silence(Duration duration) { return Add({Kind::Silence, {}, duration}); }
    PtyPeer& AnswerError() { return Answer("\r\nERROR\r\n"); }
    // Sends `text` again and again until Stop() or a hang-up; steps after it do not run.
    PtyPeer& Stream(std::string text) { return Add({Kind::Stream, std::move(text)}); }
    // Closes the master side: every client descriptor of the slave sees a hang-up.
    PtyPeer& HangUp() { return Add({Kind::HangUp, {}}); }

    // Starts running the script.
    void Start();
    // Ends the script and joins the thread. Safe to call twice.
    void Stop();
    // Waits until every step added so far has run; false if `limit` passed first.
    bool WaitUntilDone(Duration limit);

    // Writes raw bytes to the client now, from the calling thread (e.g. stale input before an open).
    void Push(std::string_view bytes);
    // The commands seen by Expect steps, each with its CR.
    std::vector<std::string> Commands() const;

private:
    enum class Kind { Expect, Send, Silence, Stream, HangUp };
    struct Step {
        Kind kind;
        std::string text;
        Duration delay{0};
    };

    PtyPeer& Add(Step step);
    void Run();
    bool NextStep(Step& step);
    void RunStep(const Step& step);
    void RunExpect();
    void RunStream(const Step& step);
    // Reads what the client wrote, waiting up to `wait`; false once the master is closed.
    bool Collect(Duration wait);
    // Writes all of `bytes`, collecting input while the terminal's queue is full.
    bool WriteAll(std::string_view bytes);
    // Collects input for `duration`, or until Stop().
    void CollectFor(Duration duration);
    bool Stopping() const;

    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
    std::thread thread_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Step> steps_;
    bool running_ = false; // a step is being run
    bool stopping_ = false;
    std::string pending_; // received bytes no Expect step has taken yet
    std::vector<std::string> commands_;
    std::mutex writeMutex_; // one writer on the master at a time (script thread or Push)
};

} // namespace panelgrab::test
