#include "app/refreshing_combo_box.h"

#include <QKeyEvent>

namespace panelgrab {

RefreshingComboBox::RefreshingComboBox(QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
}

void RefreshingComboBox::showPopup() {
    if (refresher_) {
        refresher_();
    }
    QComboBox::showPopup();
}

void RefreshingComboBox::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && event->modifiers() == Qt::NoModifier) {
        // A typed URL ends with Enter: that must not press the dialog's default button (Quit).
        event->accept();
        emit enterPressed();
        return;
    }
    QComboBox::keyPressEvent(event);
}

} // namespace panelgrab
