#pragma once

#include <QString>

class QWidget;

namespace panelgrab {

// Everything the window asks of the user or tells them in a modal box. The window talks to this
// interface only, so tests can answer in place of a person and no box is ever left waiting.
class UserPrompts {
public:
    virtual ~UserPrompts() = default;

    // A warning with a warning icon, an OK button and the application's name as caption; `detail`,
    // when not empty, is shown under the text as the reason and what to do.
    virtual void ShowMessage(QWidget* owner, const QString& text, const QString& detail) = 0;
    // A question with a warning icon and Yes and No buttons (No the default); true for Yes.
    virtual bool AskYesNo(QWidget* owner, const QString& text) = 0;
    // An error message with an error icon, an OK button and its own caption.
    virtual void ShowError(QWidget* owner, const QString& caption, const QString& text) = 0;
    // A save-file dialog offering `suggestedName`, with the file types of `filters` (";;" between
    // them, the first chosen at start); the chosen type's suffix is added to a name without one and
    // the user confirms replacing an existing file. Empty when the user cancelled.
    virtual QString AskSaveFileName(QWidget* owner, const QString& title, const QString& filters,
                                    const QString& suggestedName) = 0;
};

} // namespace panelgrab
