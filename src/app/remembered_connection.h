#pragma once

#include <QString>
#include <cstdint>
#include <optional>

namespace panelgrab {

// The port (a path, a URL or the simulated phone's entry) and baud rate of the last Connect or
// Read, kept in the application's settings (QSettings: organisation and application name) so the
// window offers them again at the next start.
struct RememberedConnection {
    QString port;
    int32_t baudRate = 0;
    bool autoBaud = false; // the rate is found by trying each ("auto"); baudRate is then not stored

    // What the settings hold; none when nothing usable was stored.
    static std::optional<RememberedConnection> Load();
    void Store() const;
};

} // namespace panelgrab
