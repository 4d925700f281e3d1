#pragma once

#include <QIcon>
#include <QImage>

namespace panelgrab {

// The application's icon, drawn rather than loaded: a phone whose display shows a colour test card.
// Small sizes (under 24 pixels) drop the keypad so the picture stays readable.
QImage DrawAppIcon(int size);

// The icon with its 16 x 16 and 32 x 32 images, for the window and the About box.
QIcon AppIcon();

} // namespace panelgrab
