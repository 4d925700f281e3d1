#include "app/control_template.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "app/app_icon.h"
#include "app/dialog_units.h"
#include "app/picture_area.h"
#include "app/refreshing_combo_box.h"

namespace panelgrab {

namespace {

QWidget* MakeWidget(QWidget* parent, const ControlTemplate& control) {
    const QString text = QString::fromUtf8(control.text);
    switch (control.kind) {
    case ControlKind::GroupBox:
        return new QGroupBox(text, parent);
    case ControlKind::DropDown:
        return new RefreshingComboBox(parent);
    case ControlKind::DropDownList: {
        auto* list = new QComboBox(parent);
        list->setEditable(false);
        return list;
    }
    case ControlKind::PushButton:
    case ControlKind::DefaultPushButton:
    case ControlKind::TogglePushButton: {
        auto* button = new QPushButton(text, parent);
        button->setDefault(control.kind == ControlKind::DefaultPushButton);
        button->setCheckable(control.kind == ControlKind::TogglePushButton);
        return button;
    }
    case ControlKind::BlackFrame:
        return new PictureArea(parent);
    case ControlKind::Text:
        return new QLabel(text, parent);
    case ControlKind::StatusText: {
        auto* label = new QLabel(text, parent);
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setTextFormat(Qt::PlainText);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return label;
    }
    case ControlKind::Icon: {
        auto* label = new QLabel(parent);
        label->setPixmap(QPixmap::fromImage(DrawAppIcon(32)));
        return label;
    }
    }
    return nullptr;
}

QRect PlacementOf(const ControlTemplate& control, const QWidget& widget, const DialogUnits& units) {
    QRect rect = units.ToPixels(control.rect);
    if (control.kind == ControlKind::DropDownList || control.kind == ControlKind::DropDown) {
        rect.setHeight(widget.sizeHint().height());
    } else if (control.kind == ControlKind::Icon) {
        rect.setSize(QSize(32, 32)); // an icon static sizes itself to the icon
    }
    return rect;
}

} // namespace

QWidget* CreateControl(QWidget* parent, const ControlTemplate& control, const DialogUnits& units) {
    QWidget* widget = MakeWidget(parent, control);
    widget->setObjectName(QString::fromUtf8(control.objectName));
    widget->setProperty(kControlIdProperty, control.id);
    widget->setGeometry(PlacementOf(control, *widget, units));
    const bool tabStop = control.kind == ControlKind::DropDownList || control.kind == ControlKind::DropDown ||
                         control.kind == ControlKind::PushButton ||
                         control.kind == ControlKind::DefaultPushButton ||
                         control.kind == ControlKind::TogglePushButton;
    widget->setFocusPolicy(tabStop ? Qt::StrongFocus : Qt::NoFocus);
    return widget;
}

void CreateControls(QWidget* parent, std::span<const ControlTemplate> controls, const DialogUnits& units) {
    QWidget* previousTabStop = nullptr;
    for (const ControlTemplate& control : controls) {
        QWidget* widget = CreateControl(parent, control, units);
        if (widget->focusPolicy() == Qt::NoFocus) {
            continue;
        }
        if (previousTabStop) {
            QWidget::setTabOrder(previousTabStop, widget);
        }
        previousTabStop = widget;
    }
}

} // namespace panelgrab
