#pragma once

#include <QDateTime>
#include <QString>

namespace panelgrab {

// The file name Save suggests: the display's number as the list shows it (counted from 1), then
// the date and time, e.g. "screen1-2024-05-17-143005.bmp". Sorts by time and never holds
// characters a file system refuses.
QString SuggestedSaveName(int displayPosition, const QDateTime& when, const QString& suffix);

} // namespace panelgrab
