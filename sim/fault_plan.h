#pragma once

#include <cstdint>
#include <string>

namespace panelgrab::sim {

// The one misbehaviour a simulated phone is told to show, parsed from its --fault text.
struct FaultPlan {
    enum class Kind {
        None,
        Silent,
        ErrorBulk,
        HangupAfter,
        Garbage,
        EndlessLine,
        NulBytes,
        StallAfter,
        HugeDisplay,
        NoChecksum,
        CmeErrors,
        LateAnswer
    };
    Kind kind = Kind::None;
    int64_t bytes = 0; // HangupAfter, StallAfter: bytes sent before the fault strikes;
                       // LateAnswer: milliseconds the answer is held back
};

// False with a message in `error` for an unknown fault or a malformed byte count.
bool ParseFault(const std::string& text, FaultPlan& plan, std::string& error);

} // namespace panelgrab::sim
