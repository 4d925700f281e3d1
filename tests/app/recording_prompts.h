#pragma once

#include <QStringList>
#include <vector>

#include "app/user_prompts.h"

namespace panelgrab::test {

// Answers the window's prompts in place of a person and remembers what was asked.
class RecordingPrompts : public UserPrompts {
public:
    void ShowMessage(QWidget*, const QString& text, const QString& detail) override {
        messages.push_back({text, detail});
    }
    void ShowError(QWidget*, const QString& caption, const QString& text) override {
        errors.push_back({caption, text});
    }
    QString AskSaveFileName(QWidget*, const QString& title, const QString& filters,
                            const QString& suggestedName) override {
        saveRequests.push_back({title, filters, suggestedName});
        return saveAnswer;
    }

    std::vector<QStringList> messages;     // text, detail
    std::vector<QStringList> errors;       // caption, text
    std::vector<QStringList> saveRequests; // title, filters, suggested name
    QString saveAnswer;                    // empty: the user cancels
};

} // namespace panelgrab::test
