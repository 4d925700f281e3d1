#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace panelgrab {

// What a whole answer line means for the exchange it ends.
enum class FinalResult {
    None,  // an information line, an echo, or nothing yet: the exchange goes on
    Ok,    // "OK"
    Error, // "ERROR", "+CME ERROR: n", "+CMS ERROR: n", "NO CARRIER", "BUSY", "NO ANSWER", "NO DIALTONE"
};

// Classifies one line without its line end (trailing CRs and blanks are ignored).
FinalResult ClassifyFinalLine(std::string_view line);

// Follows an answer as it arrives, in any pieces, and finds the line that ends it. Only whole lines
// count: "OK" inside "BOOK" or a picture line ends nothing.
class FinalResultScanner {
public:
    // Takes the next piece; true once a final result line is complete (later pieces are ignored).
    bool Feed(std::string_view piece);
    FinalResult result() const { return result_; }
    // The final result line as the phone sent it, e.g. "+CME ERROR: 100"; empty before.
    const std::string& line() const { return finalLine_; }

private:
    // Longer lines are information, never a final result: only their start is kept.
    static constexpr std::size_t kLongestFinalLine = 64;

    std::string current_;
    bool overlong_ = false;
    FinalResult result_ = FinalResult::None;
    std::string finalLine_;
};

} // namespace panelgrab
