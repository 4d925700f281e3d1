#pragma once

#include <string>
#include <string_view>

namespace panelgrab {

// What went wrong, as far as a front end needs to know to choose its reaction (an exit code, an
// exception class, a message box). The words for the user are in the Failure's texts.
enum class FailureKind {
    NoSuchDevice,    // the port names nothing there is
    Permission,      // the user may not open the port
    PortBusy,        // another program holds the port (the text names it where it can be found)
    PortFailed,      // any other trouble of the port or the connection to it
    NotResponding,   // the port works, the phone stays silent
    Refused,         // the phone refused the command (ERROR, +CME ERROR, a command it lacks)
    BadAnswer,       // the phone answered, but the answer could not be used
    DisplayTooLarge, // the phone described a display too large to read
    PhoneGone,       // the phone went away during the session
    Stopped,         // the caller stopped the work (an interrupt, a progress callback)
    BadInput,        // the caller's input cannot be used (Failure::input says which)
    File,            // a file could not be read or written
};

// The caller's input a BadInput or File failure is about, so that a front end can name it its way
// ("--port", "port=").
enum class UserInput { None, Port, RecordSession, Display, Region, Keys, LiveOptions };

// One failure: its kind, the phone's or the system's words, the port it happened on and what the
// user can do about it.
struct Failure {
    FailureKind kind = FailureKind::PortFailed;
    std::string text;    // "Unable to open com port. (no such device) Check the port name ..."
    std::string port;    // the port as messages name it: "sim (/dev/pts/4)"; empty before one is known
    std::string advice;  // what to do that the text does not say yet; often empty
    std::string context; // how far the work came: "the read ended after 3 of 220 lines"
    UserInput input = UserInput::None;
    std::string operation; // the session's name of the operation that failed: "reading the display"
};

// A failure of `kind` in `text`, on `port`; the other fields empty.
Failure FailureOf(FailureKind kind, std::string text, std::string port = {});

// The reason alone: the text, then the advice.
std::string FailureReason(const Failure& failure);

// The message every front end shows: "PORT: CONTEXT: REASON" when the failure says how far the work
// came, else "PORT: OPERATION failed: REASON", else "PORT: REASON".
std::string FailureMessage(const Failure& failure);

// "no such device", "port busy", ...: the kind in a few words, for logs and tests.
const char* FailureKindName(FailureKind kind);

// The words of a DisplayTooLarge failure, for a front end that leaves such a display out itself.
const char* DisplayTooLargeText();

} // namespace panelgrab
