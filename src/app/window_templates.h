#pragma once

#include <QSize>
#include <span>

#include "app/control_template.h"

namespace panelgrab {

// Template 102: the main window.
inline constexpr const char* kMainCaption = "Panelgrab";
inline constexpr QSize kMainDialogSize{350, 318}; // dialog units: 289 and the status line below
std::span<const ControlTemplate> MainDialogControls();

// The baud rates the baud list offers, in this order; after them the entry that has the rate found.
std::span<const char* const> OfferedBaudRates();
inline constexpr const char* kAutoBaudEntry = "auto";

// Template 100: the About box.
inline constexpr const char* kAboutCaption = "About Panelgrab";
inline constexpr QSize kAboutDialogSize{235, 55};
std::span<const ControlTemplate> AboutDialogControls();

} // namespace panelgrab
