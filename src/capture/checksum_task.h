#pragma once

#include <cstdint>

#include "common/display_region.h"
#include "jobs/phone_task.h"

namespace panelgrab {

// Asks the phone for its checksum of a rectangle of one display ("AT*ZAPC"). Runs on the caller's
// thread and must not overlap a display read on the same port.
class ChecksumTask : public PhoneTask {
public:
    ChecksumTask(const DisplayRegion& region, int32_t displayNumber, SerialPort& port);

    // supported = the phone answers "AT*ZAPC=?" with OK. Returns the exchange's result.
    int IsSupported(bool& supported) override;
    // Sends the request; the answer goes to the response, the number to GetResult.
    int Run() override;
    // The checksum of the last Run, when its answer carried one.
    bool GetResult(int32_t& value) const;

private:
    DisplayRegion region;
    int32_t displayNumber;
    bool valid = false;
    int32_t checksum = 0;
};

} // namespace panelgrab
