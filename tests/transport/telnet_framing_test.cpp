#include "transport/bytes/telnet_framing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace panelgrab {
namespace {

using namespace std::string_literals;
using Event = TelnetFraming::Event;
using Kind = Event::Kind;

Event Option(uint8_t verb, uint8_t option) {
    return Event{Kind::Option, verb, option, {}};
}
Event Command(uint8_t command) {
    return Event{Kind::Command, command, 0, {}};
}
Event Sub(uint8_t option, std::string payload) {
    return Event{Kind::Subnegotiation, TelnetFraming::kSb, option, std::move(payload)};
}

struct WireCase {
    const char* name;
    std::string wire;
    std::string data;
    std::vector<Event> events;
};

// Bytes as ser2net and other telnet servers send them.
const WireCase kCases[] = {
    {"plain data", "AT\r\r\nOK\r\n"s, "AT\r\r\nOK\r\n"s, {}},
    {"escaped 0xff in data", "a\xff\xff"s + "b\xff\xff\xff\xff", "a\xff"s + "b\xff\xff", {}},
    {"ser2net greeting",
     "\xff\xfb\x03\xff\xfd\x03\xff\xfb\x01\xff\xfe\x01\xff\xfd\x00\xff\xfb\x00\xff\xfd\x2c"s,
     ""s,
     {Option(251, 3), Option(253, 3), Option(251, 1), Option(254, 1), Option(253, 0), Option(251, 0),
      Option(253, 44)}},
    {"baud rate answer with a 0xff byte",
     "\xff\xfa\x2c\x65\x00\x00\xff\xff\xff\xf0OK"s,
     "OK"s,
     {Sub(44, "\x65\x00\x00\xff"s)}},
    {"modem state between data", "12\xff\xfa\x2c\x6b\x30\xff\xf0"s + "34", "1234"s, {Sub(44, "\x6b\x30"s)}},
    {"empty subnegotiation", "\xff\xfa\x2c\xff\xf0"s, ""s, {Sub(44, ""s)}},
    {"nop, go-ahead and break",
     "x\xff\xf1y\xff\xf9\xff\xf3z"s,
     "xyz"s,
     {Command(241), Command(249), Command(243)}},
    {"stray subnegotiation end", "\xff\xf0"s + "data", "data"s, {Command(240)}},
    {"command after an unescaped iac in a subnegotiation",
     "\xff\xfa\x2c\x65\x01\xff\xfd\x00"s + "after",
     "after"s,
     {Option(253, 0)}},
    {"byte after an unescaped iac in a subnegotiation",
     "\xff\xfa\x2c\x66\xff\xff\xff"s + "A\xff\xf0" + "B",
     "B"s,
     {Command('A'), Command(240)}},
    {"unfinished command waits", "data\xff\xfd"s, "data"s, {}},
    {"unfinished subnegotiation waits", "\xff\xfa\x2c\x65\x00"s, ""s, {}},
    {"nul and cr pass unchanged", "\r\0\r\n"s, "\r\0\r\n"s, {}},
    {"long subnegotiation is cut, data after it survives",
     "\xff\xfa\x2c\x00"s + std::string(5000, 'S') + "\xff\xf0" + "after",
     "after"s,
     {Sub(44, ("\x00"s + std::string(5000, 'S')).substr(0, TelnetFraming::kMaxPayload))}},
};

struct Decoded {
    std::string data;
    std::vector<Event> events;
    bool operator==(const Decoded&) const = default;
};

// Decodes the wire cut into pieces of `piece` bytes after a first piece of `first`.
Decoded Decode(const std::string& wire, std::size_t first, std::size_t piece) {
    TelnetFraming framing;
    Decoded out;
    const std::string_view all = wire;
    framing.Decode(all.substr(0, first), out.data, out.events);
    for (std::size_t at = first; at < all.size(); at += piece) {
        framing.Decode(all.substr(at, piece), out.data, out.events);
    }
    return out;
}

TEST(TelnetFraming, SameDataAndEventsInEveryChunking) {
    for (const WireCase& c : kCases) {
        const Decoded expected{c.data, c.events};
        for (std::size_t split = 0; split <= c.wire.size(); ++split) {
            EXPECT_EQ(Decode(c.wire, split, c.wire.size() + 1), expected) << c.name << ", split at " << split;
        }
        EXPECT_EQ(Decode(c.wire, 0, 1), expected) << c.name << ", byte by byte";
    }
}

TEST(TelnetFraming, ResetForgetsAnUnfinishedCommand) {
    TelnetFraming framing;
    Decoded decoded;
    framing.Decode("\xff\xfa\x2c\x65", decoded.data, decoded.events);
    framing.Reset();
    framing.Decode("OK", decoded.data, decoded.events);
    EXPECT_EQ(decoded, (Decoded{"OK", {}}));
}

// SET-BAUDRATE 65535 carries 0xFF bytes in its value. Escaped data and option commands are checked
// on the wire by Rfc2217Device.NegotiatesTheOptionSetsTheLineAndPassesEvery0xffUnchanged.
TEST(TelnetFraming, SubnegotiationValuesDoubleEvery0xffAndDecodeBack) {
    const std::string value = "\x01\x00\x00\xff\xff"s;
    const std::string baud = TelnetFraming::Subnegotiation(44, value);
    EXPECT_EQ(baud, "\xff\xfa\x2c\x01\x00\x00\xff\xff\xff\xff\xff\xf0"s);
    EXPECT_EQ(Decode(baud, 0, 1).events, std::vector<Event>{Sub(44, value)});
}

} // namespace
} // namespace panelgrab
