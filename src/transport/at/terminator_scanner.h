#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace panelgrab {

// Finds an answer's terminator, or the error answer "ERROR\r\n", in input that arrives in chunks.
// Only a short tail of what came before is kept, so a match split across chunks is found while the
// answer itself may be cut to its capacity.
class TerminatorScanner {
public:
    enum class Found { Nothing, Terminator, ErrorAnswer };

    // The terminator counts only when it starts at stream position `earliestStart` or later and the
    // stream holds at least `minimumLength` characters (unsolicited reports: 1 and 3).
    explicit TerminatorScanner(std::string_view terminator, std::size_t earliestStart = 0,
                               std::size_t minimumLength = 0);

    // Takes the next chunk; the terminator wins when both occur.
    Found Feed(std::string_view chunk);

private:
    std::string terminator_;
    std::size_t earliestStart_;
    std::size_t minimumLength_;
    std::string window_;          // the tail of the stream that a match may still start in
    std::size_t windowStart_ = 0; // stream position of window_[0]
    std::size_t total_ = 0;       // characters fed so far
};

} // namespace panelgrab
