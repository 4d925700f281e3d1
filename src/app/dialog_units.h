#pragma once

#include <QFont>
#include <QPoint>
#include <QRect>
#include <QSize>

namespace panelgrab {

// Converts dialog units into pixels the way Windows does for a dialog font: a horizontal unit is a
// quarter of the font's average character width, a vertical unit an eighth of its height.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);

    // The 8-point sans-serif font every dialog of the window uses.
    static QFont DialogFont();

    int ToPixelsX(int units) const;
    int ToPixelsY(int units) const;
    QRect ToPixels(const QRect& units) const;
    QSize ToPixels(const QSize& units) const;
    QPoint ToPixels(const QPoint& units) const;

    int baseWidth() const { return baseWidth_; }
    int baseHeight() const { return baseHeight_; }

private:
    int baseWidth_;  // average character width in pixels
    int baseHeight_; // character height in pixels
};

} // namespace panelgrab
