#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>

#include "transport/at/connection_settings.h"
#include "transport/at/port_failure_report.h"
#include "transport/bytes/port_timing.h"

namespace panelgrab {

class SerialPort;

// Finds the rate a phone speaks at: opens the port at each rate of Rates() in turn, fastest first,
// and takes the first at which "AT" is answered OK. Each try is an open of its own (drain, then the
// probe with up to three attempts) on shortened waits (ProbeTiming), so a rate nobody answers
// costs about a second; the next open's drain brings the line back in step after the noise a
// wrong rate makes. A port that cannot be opened at all (missing, busy, no permission) ends the
// search at once: no other rate would help.
//
// Threading: Find runs on one thread; Cancel may be called from any other (a signal's watcher).
class BaudSearch {
public:
    explicit BaudSearch(ConnectionSettings settings) : settings_(std::move(settings)) {}

    // 921600 down to 1200.
    static std::span<const int32_t> Rates();
    // The waits of one try: the port's own, but a read waits at most 50 ms for its first byte and
    // pauses at most 10 ms after an empty read.
    static PortTiming ProbeTiming(const PortTiming& base);
    // How long a search that finds nothing takes at most with `base` timing: with the default
    // timing 11 tries of at most 1.2 s, 13.2 s in all.
    static std::chrono::milliseconds WorstCase(const PortTiming& base);

    // The first rate that answered; 0 when none did, the port failed or the search was cancelled
    // (failure() then says why when the port could not be opened).
    int32_t Find();
    // Ends the try in hand (its port is closed) and the search. Safe from any thread.
    void Cancel();

    // The port's failure when it could not be opened at all; nothing otherwise.
    const std::optional<PortFailureReport>& failure() const { return failure_; }

private:
    bool Try(int32_t rate);

    ConnectionSettings settings_;
    std::optional<PortFailureReport> failure_;
    std::atomic<bool> cancelled_{false};
    std::mutex currentLock_;
    SerialPort* current_ = nullptr; // the port of the try in hand, under currentLock_
};

} // namespace panelgrab
