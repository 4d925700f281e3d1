#pragma once

#include "app/user_prompts.h"

namespace panelgrab {

// The prompts of a run nobody watches (the autopilot): each message goes to stderr as one line,
// "panelgrab: TEXT" (": DETAIL" added where there is one); a question is answered No and a
// save dialog cancelled, so no box is ever left waiting.
class PrintedPrompts : public UserPrompts {
public:
    void ShowMessage(QWidget* owner, const QString& text, const QString& detail) override;
    bool AskYesNo(QWidget* owner, const QString& text) override;
    void ShowError(QWidget* owner, const QString& caption, const QString& text) override;
    QString AskSaveFileName(QWidget* owner, const QString& title, const QString& filters,
                            const QString& suggestedName) override;
};

} // namespace panelgrab
