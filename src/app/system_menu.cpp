#include "app/system_menu.h"

#include <QString>
#include <QWidget>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace panelgrab {

#ifdef Q_OS_WIN

void AddAboutToSystemMenu(QWidget& window, const QString& text) {
    HMENU menu = GetSystemMenu(reinterpret_cast<HWND>(window.winId()), FALSE);
    if (!menu || text.isEmpty()) {
        return;
    }
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, kAboutSystemCommand, reinterpret_cast<const wchar_t*>(text.utf16()));
}

bool IsAboutSystemCommand(const QByteArray& eventType, void* message) {
    if (eventType != "windows_generic_MSG") {
        return false;
    }
    const MSG* msg = static_cast<const MSG*>(message);
    // The low four bits of a system command are the system's own.
    return msg->message == WM_SYSCOMMAND && (msg->wParam & 0xFFF0) == kAboutSystemCommand;
}

#else

void AddAboutToSystemMenu(QWidget&, const QString&) {}

bool IsAboutSystemCommand(const QByteArray&, void*) {
    return false;
}

#endif

} // namespace panelgrab
