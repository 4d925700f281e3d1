#pragma once

#include <QDialog>

namespace panelgrab {

// The About box: the icon, the program's name and version, and OK.
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);
};

} // namespace panelgrab
