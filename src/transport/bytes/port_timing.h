#pragma once

#include <chrono>

namespace panelgrab {

// Every pause and wait of the serial transport, and how insistent an open is. The defaults are what a
// phone on a real line needs; tests shrink them so that time-outs and retries run in milliseconds.
struct PortTiming {
    std::chrono::milliseconds readWait{500};    // a read waits this long for its first byte
    std::chrono::milliseconds idlePause{100};   // pause after a read that brought nothing
    std::chrono::milliseconds abortPause{1000}; // pause after an aborted read
    std::chrono::milliseconds pacedPause{500};  // each pause of the paced open sequence
    // A network port: the name lookup and connect together, and then the server's answers to the
    // port settings, each within this.
    std::chrono::milliseconds connectWait{5000};
    // The drain at open gives up on a line that has not fallen quiet within this. A client that
    // knows the phone is still sending (the rest of a picture it stopped reading) allows longer.
    std::chrono::milliseconds drainLimit{10000};
    // A picture transfer that brings nothing for this long has stopped: the phone is reported as
    // having stopped sending (a few read waits; the first line may take four times as long).
    std::chrono::milliseconds stallLimit{3000};
    // A local port that another program holds open (found among the system's processes) is opened
    // all the same: the user's --force. A port locked or held in exclusive mode stays refused.
    bool openHeldPort = false;

    // About a hundredth of the defaults: for tests.
    static PortTiming Fast() {
        using std::chrono::milliseconds;
        return PortTiming{milliseconds(5),  milliseconds(1),   milliseconds(10),  milliseconds(5),
                          milliseconds(50), milliseconds(100), milliseconds(1000)};
    }
};

} // namespace panelgrab
