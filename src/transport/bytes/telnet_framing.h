#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace panelgrab {

// The telnet byte stream of RFC 854/855, both ways: what arrives is split into data bytes and the
// commands and subnegotiations between them; what goes out is framed. Pure: no I/O, no time.
//
// A command or subnegotiation may be split across reads; the decoder keeps the unfinished part and
// completes it with the next input, so the result never depends on how the stream was cut.
class TelnetFraming {
public:
    static constexpr uint8_t kIac = 255;  // interpret as command
    static constexpr uint8_t kDont = 254; // the option verbs WILL, WONT, DO, DONT
    static constexpr uint8_t kDo = 253;
    static constexpr uint8_t kWont = 252;
    static constexpr uint8_t kWill = 251;
    static constexpr uint8_t kSb = 250; // subnegotiation begin
    static constexpr uint8_t kSe = 240; // subnegotiation end
    // A subnegotiation's payload is cut to this many bytes; the rest up to its end is dropped.
    static constexpr std::size_t kMaxPayload = 256;

    // One thing the other side said besides data.
    struct Event {
        enum class Kind { Option, Command, Subnegotiation };
        Kind kind = Kind::Command;
        uint8_t verb = 0;    // Option: WILL, WONT, DO or DONT; Command: the command byte (NOP, BRK ...)
        uint8_t option = 0;  // Option and Subnegotiation: the option
        std::string payload; // Subnegotiation: the bytes between the option and IAC SE, unescaped
        bool operator==(const Event&) const = default;
    };

    // Decodes the next piece of the stream: data bytes (an escaped 0xFF as one 0xFF) are appended to
    // `data` and everything else, in order, to `events`.
    void Decode(std::string_view input, std::string& data, std::vector<Event>& events);
    // Forgets an unfinished command: for a new connection.
    void Reset();

    // `data` with each 0xFF doubled, as the stream must carry it.
    static std::string Escape(std::string_view data);
    // IAC verb option.
    static std::string OptionCommand(uint8_t verb, uint8_t option);
    // IAC SB option payload IAC SE, with 0xFF in the payload doubled.
    static std::string Subnegotiation(uint8_t option, std::string_view payload);

private:
    enum class State { Data, Iac, Verb, SbOption, SbData, SbIac };
    // The byte after an IAC outside a subnegotiation.
    void AfterIac(uint8_t byte, std::string& data, std::vector<Event>& events);

    State state_ = State::Data;
    uint8_t verb_ = 0;
    Event subnegotiation_;
};

} // namespace panelgrab
