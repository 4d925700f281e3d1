#pragma once

#include "app/user_prompts.h"

namespace panelgrab {

// The prompts a person sees: Qt's message boxes and save-file dialog.
class MessageBoxPrompts : public UserPrompts {
public:
    void ShowMessage(QWidget* owner, const QString& text, const QString& detail) override;
    bool AskYesNo(QWidget* owner, const QString& text) override;
    void ShowError(QWidget* owner, const QString& caption, const QString& text) override;
    QString AskSaveFileName(QWidget* owner, const QString& title, const QString& filters,
                            const QString& suggestedName) override;
};

} // namespace panelgrab
