#pragma once

#include <QRect>
#include <span>

class QWidget;

namespace panelgrab {

class DialogUnits;

// DropDown is the editable kind (text may be typed), DropDownList offers its items only; the black
// frame is the picture's place and scrolls a picture larger than the window. A toggle push button
// stays down while on; status text wraps and can be selected for copying.
enum class ControlKind {
    GroupBox,
    DropDown,
    DropDownList,
    PushButton,
    DefaultPushButton,
    TogglePushButton,
    BlackFrame,
    Text,
    StatusText,
    Icon
};

// One control of a dialog template: what it is, where it sits in dialog units, and the names tests
// and code find it by.
struct ControlTemplate {
    int id; // 0: a control nobody addresses (group boxes, labels)
    ControlKind kind;
    const char* text;
    QRect rect; // x, y, width, height in dialog units
    const char* objectName;
};

// The control IDs of the main window template.
enum MainControlId : int {
    kIdQuit = 1,
    kIdPortList = 1013,
    kIdBaudList = 1014,
    kIdSave = 1016,
    kIdDisplayList = 1017,
    kIdRead = 1018,
    kIdPictureFrame = 1021,
    kIdConnect = 1024,
    kIdLiveView = 1025,
    kIdStop = 1026,
    kIdStatusLine = 1027,
    kIdRecord = 1028,
};

// The dynamic property that carries a control's ID.
inline constexpr const char* kControlIdProperty = "controlId";

// Creates the control as a child of `parent`, placed absolutely at its converted rectangle. A drop-down
// list's rectangle includes its dropped list, so only its width and top are taken.
QWidget* CreateControl(QWidget* parent, const ControlTemplate& control, const DialogUnits& units);

// Creates every control in template order, which is also the tab order.
void CreateControls(QWidget* parent, std::span<const ControlTemplate> controls, const DialogUnits& units);

} // namespace panelgrab
