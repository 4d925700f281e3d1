#include "transport/bytes/telnet_framing.h"

namespace panelgrab {

void TelnetFraming::Decode(std::string_view input, std::string& data, std::vector<Event>& events) {
    for (const char c : input) {
        const auto byte = static_cast<uint8_t>(c);
        switch (state_) {
        case State::Data:
            if (byte == kIac) {
                state_ = State::Iac;
            } else {
                data.push_back(c);
            }
            break;
        case State::Iac:
            AfterIac(byte, data, events);
            break;
        case State::Verb:
            events.push_back(Event{Event::Kind::Option, verb_, byte, {}});
            state_ = State::Data;
            break;
        case State::SbOption:
            subnegotiation_ = Event{Event::Kind::Subnegotiation, kSb, byte, {}};
            state_ = State::SbData;
            break;
        case State::SbData:
            if (byte == kIac) {
                state_ = State::SbIac;
            } else if (subnegotiation_.payload.size() < kMaxPayload) {
                subnegotiation_.payload.push_back(c);
            }
            break;
        case State::SbIac:
            if (byte == kIac) {
                if (subnegotiation_.payload.size() < kMaxPayload) {
                    subnegotiation_.payload.push_back(c);
                }
                state_ = State::SbData;
            } else if (byte == kSe) {
                events.push_back(std::move(subnegotiation_));
                subnegotiation_ = Event{};
                state_ = State::Data;
            } else {
                // An IAC inside a subnegotiation must be doubled or end it: a sender that broke the
                // rule lost its end. Drop the subnegotiation rather than swallow the data after it.
                subnegotiation_ = Event{};
                AfterIac(byte, data, events);
            }
            break;
        }
    }
}

void TelnetFraming::AfterIac(uint8_t byte, std::string& data, std::vector<Event>& events) {
    switch (byte) {
    case kIac:
        data.push_back(static_cast<char>(byte));
        state_ = State::Data;
        break;
    case kWill:
    case kWont:
    case kDo:
    case kDont:
        verb_ = byte;
        state_ = State::Verb;
        break;
    case kSb:
        state_ = State::SbOption;
        break;
    default:
        events.push_back(Event{Event::Kind::Command, byte, 0, {}});
        state_ = State::Data;
        break;
    }
}

void TelnetFraming::Reset() {
    state_ = State::Data;
    verb_ = 0;
    subnegotiation_ = Event{};
}

std::string TelnetFraming::Escape(std::string_view data) {
    std::string escaped;
    escaped.reserve(data.size());
    for (const char c : data) {
        escaped.push_back(c);
        if (static_cast<uint8_t>(c) == kIac) {
            escaped.push_back(c);
        }
    }
    return escaped;
}

std::string TelnetFraming::OptionCommand(uint8_t verb, uint8_t option) {
    return {static_cast<char>(kIac), static_cast<char>(verb), static_cast<char>(option)};
}

std::string TelnetFraming::Subnegotiation(uint8_t option, std::string_view payload) {
    std::string framed{static_cast<char>(kIac), static_cast<char>(kSb), static_cast<char>(option)};
    framed += Escape(payload);
    framed.push_back(static_cast<char>(kIac));
    framed.push_back(static_cast<char>(kSe));
    return framed;
}

} // namespace panelgrab
