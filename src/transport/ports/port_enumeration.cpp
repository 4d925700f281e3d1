#include "transport/ports/port_enumeration.h"

namespace panelgrab {

std::string DescribePort(const PortInfo& port) {
    std::string identity;
    for (const std::string& part :
         {port.vendorId.empty() ? std::string() : port.vendorId + ":" + port.productId, port.manufacturer,
          port.description}) {
        if (!part.empty()) {
            identity += (identity.empty() ? "" : " ") + part;
        }
    }
    std::string details;
    for (const std::string& part :
         {identity, port.serialNumber.empty() ? std::string() : "serial " + port.serialNumber,
          port.byIdPath}) {
        if (!part.empty()) {
            details += (details.empty() ? "" : ", ") + part;
        }
    }
    return details.empty() ? port.path : port.path + "  " + details;
}

} // namespace panelgrab
