#include "app/message_box_prompts.h"

#include <QFileDialog>
#include <QMessageBox>

#include "app/window_templates.h"

namespace panelgrab {

void MessageBoxPrompts::ShowMessage(QWidget* owner, const QString& text, const QString& detail) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(kMainCaption), text, QMessageBox::Ok, owner);
    if (!detail.isEmpty()) {
        box.setInformativeText(detail);
    }
    box.exec();
}

void MessageBoxPrompts::ShowError(QWidget* owner, const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, owner);
    box.exec();
}

QString MessageBoxPrompts::AskSaveFileName(QWidget* owner, const QString& title, const QString& filter,
                                           const QString& defaultSuffix) {
    QFileDialog dialog(owner, title, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(defaultSuffix);
    // Overwrite confirmation is the save dialog's default; it is left on.
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return QString();
    }
    return dialog.selectedFiles().constFirst();
}

} // namespace panelgrab
