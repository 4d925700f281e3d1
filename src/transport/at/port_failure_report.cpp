#include "transport/at/port_failure_report.h"

#include "transport/at/serial_port.h"

namespace panelgrab {

PortFailureReport ReportOf(const SerialPort& port) {
    const char* text = port.errorText();
    return PortFailureReport{.text = text != nullptr ? text : "",
                             .systemError = port.systemError(),
                             .finalResultLine = port.finalResultLine(),
                             .portName = port.settings().GetPortName(),
                             .connectWait = port.settings().GetTiming().connectWait};
}

} // namespace panelgrab
