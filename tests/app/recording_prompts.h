#pragma once

#include <QString>
#include <vector>

#include "app/user_prompts.h"

namespace panelgrab::test {

// Answers the window's prompts in place of a person and remembers what was asked.
class RecordingPrompts : public UserPrompts {
public:
    struct Message {
        QString text;
        QString detail;
    };
    struct Error {
        QString caption;
        QString text;
    };
    struct SaveRequest {
        QString title;
        QString filter;
        QString defaultSuffix;
    };

    void ShowMessage(QWidget*, const QString& text, const QString& detail) override {
        messages.push_back({text, detail});
    }
    void ShowError(QWidget*, const QString& caption, const QString& text) override {
        errors.push_back({caption, text});
    }
    QString AskSaveFileName(QWidget*, const QString& title, const QString& filter,
                            const QString& defaultSuffix) override {
        saveRequests.push_back({title, filter, defaultSuffix});
        return saveAnswer;
    }

    std::vector<Message> messages;
    std::vector<Error> errors;
    std::vector<SaveRequest> saveRequests;
    QString saveAnswer; // empty: the user cancels
};

} // namespace panelgrab::test
