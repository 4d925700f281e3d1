#include "transport/port_names.h"
#include "transport/serial_device.h"
#ifndef _WIN32
#include "transport/rfc2217_serial_device.h"
#include "transport/tcp_serial_device.h"
#endif

namespace panelgrab {

std::unique_ptr<SerialDevice> CreateSerialDevice(const std::string& portName, const PortTiming& timing) {
#ifdef _WIN32
    // The network backends are built on POSIX sockets: on Windows every port is a COM port.
    (void)portName;
    (void)timing;
#else
    switch (SchemeOfPortName(portName)) {
    case PortScheme::Tcp:
        return std::make_unique<TcpSerialDevice>(timing.connectWait);
    case PortScheme::Rfc2217:
        return std::make_unique<Rfc2217SerialDevice>(timing.connectWait);
    case PortScheme::Local:
        break;
    }
#endif
    return CreateLocalSerialDevice();
}

} // namespace panelgrab
