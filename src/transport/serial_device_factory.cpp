#include "transport/serial_device.h"

namespace panelgrab {

std::unique_ptr<SerialDevice> CreateSerialDevice() {
    return CreateLocalSerialDevice();
}

} // namespace panelgrab
