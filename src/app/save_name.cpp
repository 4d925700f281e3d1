#include "app/save_name.h"

namespace panelgrab {

QString SuggestedSaveName(int displayPosition, const QDateTime& when, const QString& suffix) {
    return QStringLiteral("screen%1-%2.%3")
        .arg(displayPosition)
        .arg(when.toString(QStringLiteral("yyyy-MM-dd-HHmmss")))
        .arg(suffix);
}

} // namespace panelgrab
