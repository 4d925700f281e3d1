#include "app/combo_selection.h"

#include <QComboBox>
#include <limits>

namespace panelgrab {

int SelectFirstWithPrefix(QComboBox& list, const QString& prefix) {
    for (int i = 0; i < list.count(); ++i) {
        if (list.itemText(i).startsWith(prefix, Qt::CaseInsensitive)) {
            list.setCurrentIndex(i);
            return i;
        }
    }
    return -1;
}

int32_t LeadingDecimal(const QString& text) {
    int64_t value = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            break;
        }
        value = value * 10 + (c.unicode() - '0');
        if (value > std::numeric_limits<int32_t>::max()) {
            return std::numeric_limits<int32_t>::max(); // no list entry is that long; keep it defined
        }
    }
    return static_cast<int32_t>(value);
}

} // namespace panelgrab
