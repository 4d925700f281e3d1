#include "app/about_dialog.h"

#include <QPushButton>

#include "app/app_icon.h"
#include "app/dialog_units.h"
#include "app/window_templates.h"

namespace panelgrab {

AboutDialog::AboutDialog(QWidget* parent)
    : QDialog(parent,
              Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setFont(DialogUnits::DialogFont());
    const DialogUnits units(font());
    setWindowTitle(QString::fromUtf8(kAboutCaption));
    setWindowIcon(AppIcon());
    CreateControls(this, AboutDialogControls(), units);
    connect(findChild<QPushButton*>(QStringLiteral("okButton")), &QPushButton::clicked, this,
            &QDialog::accept);
    setFixedSize(units.ToPixels(kAboutDialogSize)); // a modal frame: no sizing border
}

} // namespace panelgrab
