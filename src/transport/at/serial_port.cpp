#include "transport/at/serial_port.h"

#include <algorithm>
#include <thread>

#include "common/commands.h"
#include "common/text_codec.h"
#include "transport/bytes/serial_device.h"
#include "transport/ports/port_names.h"

namespace panelgrab {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kNormalProbeTimeout = 5;
constexpr int kPacedProbeTimeout = 2;
constexpr int kInitCommandTimeout = 20;
// The text of a large picture (240x320 at 8 characters a pixel, with its line prefixes).
constexpr uint64_t kLargestPictureText = 640 * 1024;

} // namespace

SerialPort::SerialPort(const ConnectionSettings& settings)
    : SerialPort(settings, CreateSerialDevice(settings.GetPortName(), settings.GetTiming())) {}

SerialPort::SerialPort(const ConnectionSettings& settings, std::unique_ptr<SerialDevice> device)
    : device_(std::move(device)), errorText_(ExchangeResultText(Ok)), settings_(settings) {}

SerialPort::~SerialPort() = default;

bool SerialPort::Open(bool sendInitCommands) {
    // Opening twice would leak the first descriptor and keep the line locked: start afresh.
    Close();
    if (IsNonePortName(settings_.GetPortName())) {
        return true;
    }
    if (!OpenPort()) {
        return false;
    }
    return !sendInitCommands || SendInitCommands();
}

bool SerialPort::OpenPort() {
    return settings_.IsPacedOpen() ? OpenPaced() : OpenNormal();
}

bool SerialPort::OpenNormal() {
    if (const int error = device_->Open(DevicePathOf(settings_.GetPortName())); error != 0) {
        return FailOpen(kTextPortInUse, error);
    }
    StartAfresh();
    if (const int error = device_->Configure(settings_.GetBaudRate()); error != 0) {
        return FailOpen(kTextBadSettings, error);
    }
    DrainInput();
    if (ExecuteQuery(kCmdAt, kNormalProbeTimeout) != Ok) {
        return FailOpen(kTextPhoneNotResponding, systemError_.load());
    }
    systemError_ = 0;
    return true;
}

// For phones that need time between opening, configuring and the first command. It leaves pending
// input alone.
bool SerialPort::OpenPaced() {
    const milliseconds pause = settings_.GetTiming().pacedPause;
    if (const int error = device_->Open(DevicePathOf(settings_.GetPortName())); error != 0) {
        return FailOpen(kTextPortInUse, error);
    }
    StartAfresh();
    Pause(pause);
    Pause(pause);
    Pause(pause);
    if (const int error = device_->Configure(settings_.GetBaudRate()); error != 0) {
        return FailOpen(kTextBadSettings, error);
    }
    Pause(pause);
    if (ExecuteQuery(kCmdAt, kPacedProbeTimeout) != Ok) {
        return FailOpen(kTextPhoneNotResponding, systemError_.load());
    }
    Pause(pause);
    systemError_ = 0;
    return true;
}

void SerialPort::DrainInput() {
    // A program killed in the middle of a picture leaves the phone sending the rest of it: the
    // largest picture we read may still be on its way at this rate. Noise gets the plain limit.
    DrainUntilQuiet(settings_.GetTiming().drainLimit, LineTime(kLargestPictureText));
}

void SerialPort::StartAfresh() {
    std::lock_guard lock(exchangeLock_);
    splitter_.Reset();
    outOfStep_ = false;
    bytesStillComing_ = 0;
}

bool SerialPort::SendInitCommands() {
    std::string commands = settings_.GetInitCommands();
    if (commands.size() < 2 || commands.compare(commands.size() - 2, 2, "\r\n") != 0) {
        commands += "\r\n";
    }
    // Each line goes out with the CR that ended it and without its LF.
    std::size_t start = 0;
    for (std::size_t end = commands.find('\n'); end != std::string::npos; end = commands.find('\n', start)) {
        const NarrowString command = ToNarrow(std::string_view(commands).substr(start, end - start));
        start = end + 1;
        if (Execute(command, kInitCommandTimeout) != Ok) {
            Close();
            return false;
        }
    }
    return true;
}

void SerialPort::Close() {
    // No exchange lock here: a read blocked under it is exactly what Close must be able to end.
    device_->Close();
    WakeUnsolicitedWaiters();
}

bool SerialPort::IsOpen() const {
    return device_->IsOpen();
}

bool SerialPort::FailOpen(const char* text, int systemError) {
    device_->Close();
    errorText_ = text;
    systemError_ = systemError;
    return false;
}

void SerialPort::Pause(milliseconds duration) const {
    std::this_thread::sleep_for(duration);
}

} // namespace panelgrab
