#include "transport/at/connection_settings.h"

#include <utility>

namespace panelgrab {

ConnectionSettings::ConnectionSettings(std::string name, int32_t rate, std::string commands, bool paced)
    : portName(std::move(name)), baudRate(rate), initCommands(std::move(commands)), pacedOpen(paced) {}

void ConnectionSettings::Set(const std::string& name, int32_t rate, const std::string& commands, bool paced) {
    portName = name;
    baudRate = rate;
    initCommands = commands;
    pacedOpen = paced;
}

} // namespace panelgrab
