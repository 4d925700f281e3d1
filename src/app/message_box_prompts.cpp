#include "app/message_box_prompts.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QRegularExpression>

#include "app/window_templates.h"

namespace panelgrab {

void MessageBoxPrompts::ShowMessage(QWidget* owner, const QString& text, const QString& detail) {
    QMessageBox box(QMessageBox::Warning, QString::fromUtf8(kMainCaption), text, QMessageBox::Ok, owner);
    if (!detail.isEmpty()) {
        box.setInformativeText(detail);
    }
    box.exec();
}

bool MessageBoxPrompts::AskYesNo(QWidget* owner, const QString& text) {
    QMessageBox box(QMessageBox::Warning, QString::fromUtf8(kMainCaption), text,
                    QMessageBox::Yes | QMessageBox::No, owner);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void MessageBoxPrompts::ShowError(QWidget* owner, const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, owner);
    box.exec();
}

QString MessageBoxPrompts::AskSaveFileName(QWidget* owner, const QString& title, const QString& filters,
                                           const QString& suggestedName) {
    QFileDialog dialog(owner, title, QString(), filters);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.selectFile(suggestedName);
    // A name typed without a suffix gets the chosen file type's.
    const auto useSuffixOf = [&dialog](const QString& filter) {
        static const QRegularExpression pattern(QStringLiteral("\\*\\.(\\w+)"));
        dialog.setDefaultSuffix(pattern.match(filter).captured(1));
    };
    useSuffixOf(dialog.selectedNameFilter());
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, useSuffixOf);
    // Overwrite confirmation is the save dialog's default; it is left on.
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return QString();
    }
    return dialog.selectedFiles().constFirst();
}

} // namespace panelgrab
