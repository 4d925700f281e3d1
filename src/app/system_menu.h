#pragma once

#include <QByteArray>

class QWidget;

namespace panelgrab {

// The About entry in the window's system menu, where the platform has one (Windows). Elsewhere the
// window's context menu carries the entry and these do nothing.
inline constexpr unsigned kAboutSystemCommand = 0x10;

// Appends a separator and the About entry to the window's system menu.
void AddAboutToSystemMenu(QWidget& window, const QString& text);

// True when a native event is the About entry's system command.
bool IsAboutSystemCommand(const QByteArray& eventType, void* message);

} // namespace panelgrab
