#include "transport/at/baud_search.h"

#include <algorithm>
#include <array>

#include "transport/at/exchange_result.h"
#include "transport/at/serial_port.h"

namespace panelgrab {
namespace {

constexpr std::array<int32_t, 11> kRates{921600, 460800, 230400, 115200, 57600, 38400,
                                         19200,  9600,   4800,   2400,   1200};
constexpr std::chrono::milliseconds kLongestProbeRead{50};
constexpr std::chrono::milliseconds kLongestProbePause{10};
// The probe's budget as SerialPort's open spends it: three attempts of five empty reads each.
constexpr int kProbeAttempts = 3;
constexpr int kProbeIdlePolls = 5;
// Opening and setting up a port, and the write of "AT": far less on any machine.
constexpr std::chrono::milliseconds kOpenAllowance{100};

} // namespace

std::span<const int32_t> BaudSearch::Rates() {
    return kRates;
}

PortTiming BaudSearch::ProbeTiming(const PortTiming& base) {
    PortTiming timing = base;
    timing.readWait = std::min(base.readWait, kLongestProbeRead);
    timing.idlePause = std::min(base.idlePause, kLongestProbePause);
    return timing;
}

std::chrono::milliseconds BaudSearch::WorstCase(const PortTiming& base) {
    const PortTiming timing = ProbeTiming(base);
    // The drain ends at the first quiet read; each attempt waits out its idle polls and one more read.
    const auto attempt = (timing.readWait + timing.idlePause) * kProbeIdlePolls + timing.readWait;
    const auto perRate = kOpenAllowance + timing.readWait + attempt * kProbeAttempts;
    return perRate * static_cast<int>(kRates.size());
}

int32_t BaudSearch::Find() {
    for (const int32_t rate : kRates) {
        if (cancelled_ || failure_) {
            return 0;
        }
        if (Try(rate)) {
            return rate;
        }
    }
    return 0;
}

bool BaudSearch::Try(int32_t rate) {
    ConnectionSettings settings = settings_;
    settings.SetBaudRate(rate);
    settings.SetTiming(ProbeTiming(settings_.GetTiming()));
    SerialPort port(settings);
    {
        std::lock_guard hold(currentLock_);
        if (cancelled_) {
            return false;
        }
        current_ = &port;
    }
    const bool answered = port.Open(false);
    if (!answered && port.errorText() != std::string_view(kTextPhoneNotResponding) && !cancelled_) {
        failure_ = ReportOf(port);
    }
    port.Close();
    std::lock_guard hold(currentLock_);
    current_ = nullptr;
    return answered && !cancelled_;
}

void BaudSearch::Cancel() {
    std::lock_guard hold(currentLock_);
    cancelled_ = true;
    if (current_ != nullptr) {
        current_->Close();
    }
}

} // namespace panelgrab
