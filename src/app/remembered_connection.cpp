#include "app/remembered_connection.h"

#include <QSettings>

namespace panelgrab {

namespace {

const QString kPortKey = QStringLiteral("connection/port");
const QString kBaudKey = QStringLiteral("connection/baud");

} // namespace

std::optional<RememberedConnection> RememberedConnection::Load() {
    const QSettings settings;
    bool isNumber = false;
    const int baud = settings.value(kBaudKey).toInt(&isNumber);
    const QString port = settings.value(kPortKey).toString().trimmed();
    // A hand-edited file may hold anything: use a value only as a whole.
    if (port.isEmpty() || !isNumber || baud <= 0) {
        return std::nullopt;
    }
    return RememberedConnection{port, baud};
}

void RememberedConnection::Store() const {
    QSettings settings;
    settings.setValue(kPortKey, port);
    settings.setValue(kBaudKey, baudRate);
}

} // namespace panelgrab
