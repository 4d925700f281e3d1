#include "transport/bytes/rfc2217_serial_device.h"

#include <algorithm>
#include <cstring>

#include "transport/bytes/device_errors.h"

namespace panelgrab {
namespace {

using std::chrono::milliseconds;
using Framing = TelnetFraming;

// Telnet options.
constexpr uint8_t kBinary = 0;
constexpr uint8_t kSuppressGoAhead = 3;
constexpr uint8_t kComPortOption = 44;

// COM-PORT-OPTION commands of the client; the server answers each with its code + 100.
constexpr uint8_t kSetBaudRate = 1;
constexpr uint8_t kSetDataSize = 2;
constexpr uint8_t kSetParity = 3;
constexpr uint8_t kSetStopSize = 4;
constexpr uint8_t kSetControl = 5;
constexpr uint8_t kPurgeData = 12;
constexpr uint8_t kServerOffset = 100;

constexpr uint8_t kParityNone = 1;
constexpr uint8_t kOneStopBit = 1;
constexpr uint8_t kNoFlowControl = 1;
constexpr uint8_t kDtrOn = 8;
constexpr uint8_t kRtsOn = 11;
constexpr uint8_t kPurgeBoth = 3;

constexpr std::size_t kRawChunk = 1024;
// Data that arrives before the line is set up is stale (the purge drops the server's copy too); it is
// kept for Read only up to this.
constexpr std::size_t kMaxPending = 64 * 1024;

std::string Byte(uint8_t value) {
    return std::string(1, static_cast<char>(value));
}

std::string BigEndian(uint32_t value) {
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
            static_cast<char>(value)};
}

// The options we let each side enable: BINARY keeps CR and 0xFF unchanged, SGA is the usual
// character-at-a-time mode, COM-PORT-OPTION is why we are here (and only ours to perform).
bool WeMay(uint8_t option) {
    return option == kBinary || option == kSuppressGoAhead || option == kComPortOption;
}
bool ServerMay(uint8_t option) {
    return option == kBinary || option == kSuppressGoAhead;
}

int NotAborted(int error) {
    return error == SerialDevice::kAborted ? SerialDevice::kCanceledError : error;
}

// A server that took the connection and the option but lets the settings' answers wait (its device
// held by another client, say) is not unreachable, which a plain time-out would tell.
int Unconfirmed(int error) {
    return error == SocketError::kTimedOut ? kErrorSettingsUnconfirmed : error;
}

// How many of the first `size` data bytes a write of `written` escaped bytes carried whole.
std::size_t DataBytesSent(const char* data, std::size_t size, std::size_t written) {
    std::size_t sent = 0;
    for (std::size_t used = 0; sent < size; ++sent) {
        used += static_cast<uint8_t>(data[sent]) == Framing::kIac ? 2 : 1;
        if (used > written) {
            break;
        }
    }
    return sent;
}

} // namespace

Rfc2217SerialDevice::Rfc2217SerialDevice(milliseconds connectWait) : stream_(connectWait), raw_(kRawChunk) {}

Rfc2217SerialDevice::~Rfc2217SerialDevice() {
    Close();
}

void Rfc2217SerialDevice::ResetSession() {
    framing_.Reset();
    pending_.clear();
    ours_.fill({});
    theirs_.fill({});
    comPortDecided_ = false;
    answers_.fill(std::nullopt);
}

int Rfc2217SerialDevice::Open(const std::string& url) {
    Close();
    std::lock_guard lock(readMutex_);
    ResetSession();
    if (const int error = stream_.Open(url); error != 0) {
        return error;
    }
    int error = Request(Framing::kWill, kComPortOption);
    if (error == 0) {
        error = Request(Framing::kWill, kBinary);
    }
    if (error == 0) {
        error = Request(Framing::kDo, kBinary);
    }
    if (error == 0) {
        error = ReadUntil([this] { return comPortDecided_; }, Clock::now() + stream_.connectWait());
    }
    if (error == SocketError::kTimedOut) {
        // Not a telnet server that knows the option (a raw port echoes nothing back): Configure
        // reports it as the settings failure it is.
        comPortDecided_ = true;
        return 0;
    }
    if (error == 0 && ours_[kComPortOption].enabled) {
        // The server opens its device only now; a query of the current rate is answered once the
        // port is ours, while a port that another client holds closes the connection instead.
        error = SendComPortCommand(kSetBaudRate, BigEndian(0));
        if (error == 0) {
            error = Unconfirmed(ReadUntil([this] { return answers_[kSetBaudRate].has_value(); },
                                          Clock::now() + stream_.connectWait()));
        }
    }
    if (error != 0) {
        stream_.Close();
    }
    return NotAborted(error);
}

int Rfc2217SerialDevice::Configure(int32_t baudRate) {
    if (baudRate <= 0) {
        return SocketError::kBadArgument;
    }
    if (!IsOpen()) {
        return SocketError::kNotOpen;
    }
    std::lock_guard lock(readMutex_);
    if (!ours_[kComPortOption].enabled) {
        return kErrorNoComPortControl;
    }
    answers_.fill(std::nullopt);
    const uint8_t settings[][2] = {{kSetDataSize, 8},
                                   {kSetParity, kParityNone},
                                   {kSetStopSize, kOneStopBit},
                                   {kSetControl, kNoFlowControl}};
    int error = SendComPortCommand(kSetBaudRate, BigEndian(static_cast<uint32_t>(baudRate)));
    for (const auto& [command, value] : settings) {
        if (error == 0) {
            error = SendComPortCommand(command, Byte(value));
        }
    }
    if (error == 0) {
        error = Unconfirmed(ReadUntil(
            [this] {
                return std::all_of(answers_.begin() + kSetBaudRate, answers_.begin() + kSetControl + 1,
                                   [](const auto& answer) { return answer.has_value(); });
            },
            Clock::now() + stream_.connectWait()));
    }
    if (error == 0) {
        error = CheckSettingAnswers(baudRate);
    }
    // Modem lines are not confirmed: a server whose device has none (a pseudo-terminal) stays silent,
    // and a local port without them is no failure either.
    if (error == 0) {
        error = SendComPortCommand(kSetControl, Byte(kDtrOn));
    }
    if (error == 0) {
        error = SendComPortCommand(kSetControl, Byte(kRtsOn));
    }
    if (error == 0) {
        // What came before the line was set is noise at the wrong rate, here and at the server.
        error = SendComPortCommand(kPurgeData, Byte(kPurgeBoth));
        pending_.clear();
    }
    return NotAborted(error);
}

int Rfc2217SerialDevice::CheckSettingAnswers(int32_t baudRate) const {
    const std::pair<uint8_t, std::string> asked[] = {
        {kSetBaudRate, BigEndian(static_cast<uint32_t>(baudRate))},
        {kSetDataSize, Byte(8)},
        {kSetParity, Byte(kParityNone)},
        {kSetStopSize, Byte(kOneStopBit)},
        {kSetControl, Byte(kNoFlowControl)},
    };
    for (const auto& [command, value] : asked) {
        if (answers_[command] != value) {
            return kErrorSettingRefused;
        }
    }
    return 0;
}

SerialDevice::IoResult Rfc2217SerialDevice::Read(char* buffer, std::size_t size, milliseconds wait) {
    std::lock_guard lock(readMutex_);
    if (!pending_.empty()) {
        const std::size_t count = std::min(size, pending_.size());
        std::memcpy(buffer, pending_.data(), count);
        pending_.erase(0, count);
        return {count, 0};
    }
    const auto deadline = Clock::now() + wait;
    for (;;) {
        const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now());
        // Decoded data is never longer than the bytes it came in, so it always fits the buffer.
        const IoResult read =
            stream_.Read(raw_.data(), std::min(size, raw_.size()), std::max(left, milliseconds(0)));
        if (!read.ok() || read.count == 0) {
            return read;
        }
        decoded_.clear();
        if (const int error = Take(std::string_view(raw_.data(), read.count), decoded_); error != 0) {
            return {0, error};
        }
        if (!decoded_.empty()) {
            std::memcpy(buffer, decoded_.data(), decoded_.size());
            return {decoded_.size(), 0};
        }
        if (Clock::now() >= deadline) {
            return {0, 0}; // only negotiation within the wait
        }
    }
}

SerialDevice::IoResult Rfc2217SerialDevice::Write(const char* data, std::size_t size, milliseconds bound) {
    const std::string escaped = Framing::Escape(std::string_view(data, size));
    std::lock_guard lock(writeMutex_);
    const IoResult written = stream_.Write(escaped.data(), escaped.size(), bound);
    if (written.ok()) {
        return {size, 0};
    }
    return {DataBytesSent(data, size, written.count), written.error};
}

void Rfc2217SerialDevice::Close() {
    stream_.Close();
}

bool Rfc2217SerialDevice::IsOpen() const {
    return stream_.IsOpen();
}

int Rfc2217SerialDevice::Send(const std::string& bytes) {
    std::lock_guard lock(writeMutex_);
    return stream_.Write(bytes.data(), bytes.size(), stream_.connectWait()).error;
}

int Rfc2217SerialDevice::Request(uint8_t verb, uint8_t option) {
    OptionSide& side = verb == Framing::kWill ? ours_[option] : theirs_[option];
    side.requested = true;
    return Send(Framing::OptionCommand(verb, option));
}

int Rfc2217SerialDevice::SendComPortCommand(uint8_t command, std::string_view value) {
    return Send(Framing::Subnegotiation(kComPortOption, Byte(command) + std::string(value)));
}

int Rfc2217SerialDevice::ReadUntil(const std::function<bool()>& done, Clock::time_point deadline) {
    while (!done()) {
        const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now());
        if (left <= milliseconds(0)) {
            return SocketError::kTimedOut;
        }
        const IoResult read = stream_.Read(raw_.data(), raw_.size(), left);
        if (!read.ok()) {
            return read.error;
        }
        decoded_.clear();
        if (const int error = Take(std::string_view(raw_.data(), read.count), decoded_); error != 0) {
            return error;
        }
        pending_.append(decoded_, 0, std::min(decoded_.size(), kMaxPending - pending_.size()));
    }
    return 0;
}

int Rfc2217SerialDevice::Take(std::string_view raw, std::string& data) {
    events_.clear();
    framing_.Decode(raw, data, events_);
    for (const Framing::Event& event : events_) {
        int error = 0;
        if (event.kind == Framing::Event::Kind::Option) {
            error = HandleOption(event.verb, event.option);
        } else if (event.kind == Framing::Event::Kind::Subnegotiation && event.option == kComPortOption) {
            HandleComPortAnswer(event.payload);
        }
        // Other commands (NOP, GA, BREAK, ...) carry nothing a serial line needs.
        if (error != 0) {
            return error;
        }
    }
    return 0;
}

// The option rules of RFC 1143 in their simple form: answer only what changes a state, so that two
// sides that disagree cannot argue for ever.
int Rfc2217SerialDevice::HandleOption(uint8_t verb, uint8_t option) {
    const bool aboutUs = verb == Framing::kDo || verb == Framing::kDont;
    const bool enable = verb == Framing::kDo || verb == Framing::kWill;
    OptionSide& side = aboutUs ? ours_[option] : theirs_[option];
    const bool allowed = aboutUs ? WeMay(option) : ServerMay(option);
    const uint8_t yes = aboutUs ? Framing::kWill : Framing::kDo;
    const uint8_t no = aboutUs ? Framing::kWont : Framing::kDont;
    const bool wasRequested = side.requested;
    side.requested = false;
    if (aboutUs && option == kComPortOption) {
        comPortDecided_ = true;
    }
    if (enable) {
        if (side.enabled) {
            return 0;
        }
        if (!allowed) {
            return Send(Framing::OptionCommand(no, option));
        }
        side.enabled = true;
        return wasRequested ? 0 : Send(Framing::OptionCommand(yes, option));
    }
    if (!side.enabled) {
        return 0; // refused what we asked for, or confirms what already holds
    }
    side.enabled = false;
    return Send(Framing::OptionCommand(no, option));
}

void Rfc2217SerialDevice::HandleComPortAnswer(const std::string& payload) {
    if (payload.empty()) {
        return;
    }
    const auto code = static_cast<uint8_t>(payload[0]);
    // Notifications of line and modem state (106, 107), flow-control requests and the purge's answer
    // carry nothing the exchange needs; only the answers to settings are kept.
    const int setting = code - kServerOffset;
    if (setting >= kSetBaudRate && setting <= kSetControl) {
        answers_[static_cast<std::size_t>(setting)] = payload.substr(1);
    }
}

} // namespace panelgrab
