#include "app/dialog_units.h"

#include <QFontMetrics>

namespace panelgrab {

namespace {

// Windows' MulDiv for the non-negative values a template holds: rounds to the nearest integer.
int MulDiv(int value, int numerator, int denominator) {
    const long long product = static_cast<long long>(value) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator : (product - half) / denominator);
}

} // namespace

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    // Windows measures the 52 Latin letters and halves the rounded average, as GetDialogBaseUnits
    // does for a dialog font; a plain average of one letter would drift with the font's shape.
    const int letters =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    baseWidth_ = (letters / 26 + 1) / 2;
    baseHeight_ = metrics.height();
}

QFont DialogUnits::DialogFont() {
    QFont font(QStringLiteral("Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    return font;
}

int DialogUnits::ToPixelsX(int units) const {
    return MulDiv(units, baseWidth_, 4);
}

int DialogUnits::ToPixelsY(int units) const {
    return MulDiv(units, baseHeight_, 8);
}

QRect DialogUnits::ToPixels(const QRect& units) const {
    // Windows maps the corners, not the size, so adjacent controls keep touching after rounding.
    const int left = ToPixelsX(units.x());
    const int top = ToPixelsY(units.y());
    const int right = ToPixelsX(units.x() + units.width());
    const int bottom = ToPixelsY(units.y() + units.height());
    return QRect(left, top, right - left, bottom - top);
}

QSize DialogUnits::ToPixels(const QSize& units) const {
    return QSize(ToPixelsX(units.width()), ToPixelsY(units.height()));
}

QPoint DialogUnits::ToPixels(const QPoint& units) const {
    return QPoint(ToPixelsX(units.x()), ToPixelsY(units.y()));
}

} // namespace panelgrab
