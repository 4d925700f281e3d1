#pragma once

#include <cstdint>
#include <string>

#include "transport/bytes/port_timing.h"

namespace panelgrab {

// What a port is opened with; copied into every SerialPort.
class ConnectionSettings {
public:
    ConnectionSettings() = default;
    ConnectionSettings(std::string portName, int32_t baudRate, std::string initCommands = {},
                       bool pacedOpen = false);
    ConnectionSettings(const ConnectionSettings&) = default;
    ConnectionSettings& operator=(const ConnectionSettings&) = default;
    virtual ~ConnectionSettings() = default;

    std::string GetPortName() const { return portName; }
    void SetPortName(const std::string& name) { portName = name; }
    int32_t GetBaudRate() const { return baudRate; }
    void SetBaudRate(int32_t rate) { baudRate = rate; }
    std::string GetInitCommands() const { return initCommands; }
    bool IsPacedOpen() const { return pacedOpen; }
    void Set(const std::string& name, int32_t rate, const std::string& commands, bool paced);

    const PortTiming& GetTiming() const { return timing; }
    void SetTiming(const PortTiming& t) { timing = t; }

private:
    std::string portName; // "None" in any letter case: no port is opened
    int32_t baudRate = 0;
    std::string initCommands; // command lines, each ending in CR LF
    bool pacedOpen = false;
    PortTiming timing; // not one of the user's settings; Set() leaves it alone
};

} // namespace panelgrab
