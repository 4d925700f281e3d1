#include "app/window_templates.h"

#include <array>

namespace panelgrab {

namespace {

constexpr std::array kMainControls{
    ControlTemplate{0, ControlKind::GroupBox, "Port settings", QRect(7, 7, 92, 65), "portGroup"},
    ControlTemplate{kIdPortList, ControlKind::DropDown, "", QRect(13, 18, 81, 86), "portList"},
    ControlTemplate{kIdBaudList, ControlKind::DropDownList, "", QRect(13, 36, 81, 75), "baudList"},
    ControlTemplate{0, ControlKind::GroupBox, "Image", QRect(7, 118, 92, 32), "imageGroup"},
    ControlTemplate{kIdSave, ControlKind::PushButton, "Save...", QRect(55, 130, 37, 13), "saveButton"},
    ControlTemplate{0, ControlKind::GroupBox, "Display", QRect(7, 78, 92, 34), "displayGroup"},
    ControlTemplate{kIdDisplayList, ControlKind::DropDownList, "", QRect(13, 92, 81, 57), "displayList"},
    ControlTemplate{kIdRead, ControlKind::PushButton, "Read", QRect(13, 130, 37, 13), "readButton"},
    ControlTemplate{kIdPictureFrame, ControlKind::BlackFrame, "", QRect(105, 10, 238, 272), "pictureFrame"},
    ControlTemplate{kIdQuit, ControlKind::DefaultPushButton, "Quit", QRect(7, 268, 50, 14), "quitButton"},
    ControlTemplate{kIdConnect, ControlKind::PushButton, "Connect", QRect(15, 54, 37, 13), "connectButton"},
    // Beyond the original template: what runs can be seen and stopped without the picture's menu, and
    // the status line under everything holds the whole of the last message.
    ControlTemplate{kIdLiveView, ControlKind::TogglePushButton, "Live view", QRect(13, 154, 37, 13),
                    "liveViewButton"},
    ControlTemplate{kIdStop, ControlKind::PushButton, "Stop", QRect(55, 154, 37, 13), "stopButton"},
    // Under the live view it records: "Stop recording" while it does.
    ControlTemplate{kIdRecord, ControlKind::PushButton, "Record...", QRect(13, 171, 79, 13), "recordButton"},
    ControlTemplate{kIdStatusLine, ControlKind::StatusText, "", QRect(7, 288, 336, 24), "statusLine"},
};

constexpr std::array kBaudRates{"1200", "2400", "9600", "19200", "115200", "230400", "460800", "921600"};

constexpr std::array kAboutControls{
    ControlTemplate{0, ControlKind::Icon, "", QRect(11, 17, 20, 20), "aboutIcon"},
    ControlTemplate{0, ControlKind::Text, "Panelgrab Version 1.0", QRect(40, 10, 119, 8), "versionText"},
    ControlTemplate{1, ControlKind::DefaultPushButton, "OK", QRect(178, 7, 50, 14), "okButton"},
};

} // namespace

std::span<const ControlTemplate> MainDialogControls() {
    return kMainControls;
}

std::span<const char* const> OfferedBaudRates() {
    return kBaudRates;
}

std::span<const ControlTemplate> AboutDialogControls() {
    return kAboutControls;
}

} // namespace panelgrab
