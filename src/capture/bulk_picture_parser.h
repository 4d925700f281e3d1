#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace panelgrab {

// Follows the answer to a bulk picture request ("AT*ZISI", "AT*ZISI=n") as it arrives in any pieces
// and stores its hexadecimal digits. The stream is taken line by line: the echo, empty lines,
// picture lines ("*ZISI: 0F0F…" or bare digits) and the final result. Anything else — a line that
// is not a run of digits, an echo of another command, more or fewer digits than the picture holds —
// makes the picture a failure with its reason: a picture is whole or it is not given.
class BulkPictureParser {
public:
    enum class Step {
        More,    // the picture goes on
        Done,    // the final OK came after exactly the picture's digits
        Refused, // the phone answered the request with an error before any digit
        Failed,  // the stream is not the picture asked for: failure() says why
    };

    // `command` is the request as sent (its echo is recognised); the picture has `lines` lines of
    // `lineLength` digits.
    BulkPictureParser(std::string_view command, uint32_t lines, uint32_t lineLength);

    // Takes the next piece, storing digits into `data` (the picture's text, lines × lineLength).
    Step Feed(std::string_view piece, char* data);

    // Digits stored so far.
    uint32_t received() const { return received_; }
    const std::string& failure() const { return failure_; }
    // "the picture had 220 lines of 1408 digits expected; line 0 had 20000"
    std::string CountMismatch() const;

private:
    enum class LineKind { Undecided, Picture, Other };

    Step FeedCharacter(char c, char* data);
    Step EndLine(char* data);
    // Decides what the line held so far is, once its start tells; Undecided while it may still be
    // a picture line's prefix.
    LineKind Classify(std::size_t& digitsStart) const;
    Step StoreDigit(char c, char* data);
    Step Fail(std::string reason);

    std::string command_;
    std::string answerPrefix_; // "*ZISI:" for AT*ZISI
    uint64_t capacity_;
    uint32_t lines_;
    uint32_t lineLength_;
    uint32_t received_ = 0;
    std::string head_; // the start of the current line, until its kind is known
    LineKind kind_ = LineKind::Undecided;
    uint64_t lineDigits_ = 0;  // digits in the current picture line
    uint32_t pictureLine_ = 0; // index of the current picture line
    // The first picture line whose length was not lineLength, and its length.
    int64_t oddLine_ = -1;
    uint64_t oddLength_ = 0;
    bool sawEcho_ = false;
    std::string failure_;
    Step state_ = Step::More;
};

} // namespace panelgrab
