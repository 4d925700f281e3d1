#include "transport/bytes/rfc2217_serial_device.h"
#include "transport/bytes/serial_device.h"
#include "transport/bytes/tcp_serial_device.h"
#include "transport/ports/port_names.h"

namespace panelgrab {

std::unique_ptr<SerialDevice> CreateSerialDevice(const std::string& portName, const PortTiming& timing) {
    switch (SchemeOfPortName(portName)) {
    case PortScheme::Tcp:
        return std::make_unique<TcpSerialDevice>(timing.connectWait);
    case PortScheme::Rfc2217:
        return std::make_unique<Rfc2217SerialDevice>(timing.connectWait);
    case PortScheme::Local:
        break;
    }
    return CreateLocalSerialDevice(timing.openHeldPort);
}

} // namespace panelgrab
