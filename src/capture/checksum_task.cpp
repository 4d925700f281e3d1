#include "capture/checksum_task.h"

#include "capture/checksum_answer.h"
#include "capture/format_scan.h"
#include "common/commands.h"
#include "transport/at/serial_port.h"

namespace panelgrab {

namespace {
constexpr int kExchangeTimeout = 20;
}

ChecksumTask::ChecksumTask(const DisplayRegion& requestRegion, int32_t display, SerialPort& phonePort)
    : PhoneTask(phonePort), region(requestRegion), displayNumber(display) {}

int ChecksumTask::IsSupported(bool& supported) {
    std::string answer;
    const ExchangeResult result = port.Query(kCmdZapcTest, answer, kExchangeTimeout);
    supported = result == Ok && ToUpperAscii(answer).find("OK") != std::string::npos;
    return result;
}

int ChecksumTask::Run() {
    valid = false;
    const NarrowString command = FormatChecksumRequest(
        static_cast<unsigned>(region.left), static_cast<unsigned>(region.top),
        static_cast<unsigned>(region.right), static_cast<unsigned>(region.bottom), displayNumber);
    const ExchangeResult result = port.Query(command, response, kExchangeTimeout);
    if (result == Ok) {
        valid = ParseChecksum(response, checksum);
    }
    return result;
}

bool ChecksumTask::GetResult(int32_t& value) const {
    if (valid) {
        value = checksum;
    }
    return valid;
}

} // namespace panelgrab
