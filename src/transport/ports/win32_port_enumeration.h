#pragma once

#include <string>

#include "transport/ports/port_enumeration.h"

namespace panelgrab {

// Fills the USB fields of `port` from a device instance ID as SetupAPI gives it:
// "USB\VID_067B&PID_2303\5&2C4D3E1B&0&2" (the last part is the serial number unless the system
// made it up, which it marks with '&'), or FTDI's "FTDIBUS\VID_0403+PID_6001+A6008ISPA\0000".
// Leaves the fields alone for IDs that name no USB device.
void ReadUsbInstanceId(const std::string& instanceId, PortInfo& port);

// Orders ports by their COM number (COM2 before COM10); names without one come after, by text.
bool ComPortLess(const PortInfo& a, const PortInfo& b);

} // namespace panelgrab
