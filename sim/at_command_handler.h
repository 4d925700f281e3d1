#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sim/display_picture.h"
#include "sim/shown_screen.h"
#include "sim/simulated_phone.h"
#include "sim/unsolicited_reports.h"

namespace panelgrab::sim {

// What the phone does about one command line.
struct CommandReply {
    std::string text;                     // the echo and the whole answer, final result included
    bool endlessLine = false;             // after `text`, hexadecimal digits without end follow
    std::vector<std::string> pressedKeys; // keys that AT+CKPD pressed, in order
    bool reportingSwitchedOn = false;     // AT+CMER switched key reporting on
    int64_t delayMs = 0;                  // the answer is held back this long (late-answer)
};

// The phone's command interpreter: turns command lines into answers. It knows nothing of time or
// of the line; the session sends what it returns.
class AtCommandHandler {
public:
    // `screen` says what the displays show at the moment a command arrives.
    AtCommandHandler(const SimOptions& options, std::shared_ptr<ShownScreen> screen);

    // `line` is a command line as received, without its carriage return.
    CommandReply Handle(std::string_view line);
    bool reporting() const { return reporting_; }
    bool echo() const { return echo_; }

private:
    // Information lines, or nothing for ERROR.
    struct Outcome {
        bool ok = true;
        std::vector<std::string> lines;
    };

    Outcome Execute(std::string_view body, CommandReply& reply);
    Outcome DisplayListAnswer() const;
    Outcome PictureAnswer(std::size_t display, CommandReply& reply) const;
    Outcome ZisiCommand(std::string_view args, CommandReply& reply) const;
    Outcome ZipiCommand(std::string_view args) const;
    Outcome ChecksumCommand(std::string_view args) const;
    Outcome KeyPressCommand(std::string_view args, CommandReply& reply) const;
    Outcome EventReportingCommand(std::string_view args, CommandReply& reply);
    // The information lines and final result after the echo, with reports among them when this
    // phone speaks unasked.
    void AppendAnswer(const Outcome& outcome, CommandReply& reply);

    Dialect dialect_;
    std::string model_;
    std::string guiObject_;
    bool errorBulk_;
    bool endlessLine_;
    bool hugeDisplay_ = false;
    bool noChecksum_ = false;
    bool cmeErrors_ = false;
    int64_t lateAnswerMs_ = 0; // the first checksum of a region is answered this late, once
    bool defaultEcho_;
    std::shared_ptr<ShownScreen> screen_;
    bool echo_;
    bool reporting_ = false;
    bool unsolicited_;
    UnsolicitedReports reports_;
};

// Splits an AT+CKPD key string into keys: one character each, or ':' with the character after it.
std::vector<std::string> SplitKeys(std::string_view keys);

} // namespace panelgrab::sim
