#include "app/remembered_connection.h"

#include <QSettings>

namespace panelgrab {

namespace {

const QString kPortKey = QStringLiteral("connection/port");
const QString kBaudKey = QStringLiteral("connection/baud");
const QString kAutoBaud = QStringLiteral("auto");

} // namespace

std::optional<RememberedConnection> RememberedConnection::Load() {
    const QSettings settings;
    bool isNumber = false;
    const QVariant stored = settings.value(kBaudKey);
    const bool autoBaud = stored.toString() == kAutoBaud;
    const int baud = autoBaud ? 0 : stored.toInt(&isNumber);
    const QString port = settings.value(kPortKey).toString().trimmed();
    // A hand-edited file may hold anything: use a value only as a whole.
    if (port.isEmpty() || (!autoBaud && (!isNumber || baud <= 0))) {
        return std::nullopt;
    }
    return RememberedConnection{port, baud, autoBaud};
}

void RememberedConnection::Store() const {
    QSettings settings;
    settings.setValue(kPortKey, port);
    settings.setValue(kBaudKey, autoBaud ? QVariant(kAutoBaud) : QVariant(baudRate));
}

} // namespace panelgrab
