#include "app/app_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <array>

namespace panelgrab {

namespace {

// Geometry on a 32-unit grid, scaled to the requested size.
constexpr QRectF kBody(7, 1, 18, 30);
constexpr QRectF kScreen(9.5, 4, 13, 14);
constexpr std::array<QColor, 4> kBars{QColor(230, 40, 40), QColor(40, 190, 60), QColor(40, 90, 230),
                                      QColor(250, 210, 40)};

void DrawBody(QPainter& painter) {
    QPainterPath body;
    body.addRoundedRect(kBody, 3.5, 3.5);
    painter.fillPath(body, QColor(45, 50, 60));
    painter.setPen(QPen(QColor(15, 15, 20), 1.0));
    painter.drawPath(body);
}

void DrawScreen(QPainter& painter) {
    painter.fillRect(kScreen, Qt::white);
    const double barWidth = kScreen.width() / static_cast<double>(kBars.size());
    for (std::size_t i = 0; i < kBars.size(); ++i) {
        const QRectF bar(kScreen.left() + barWidth * static_cast<double>(i), kScreen.top(), barWidth,
                         kScreen.height() * 0.7);
        painter.fillRect(bar, kBars[i]);
    }
    // A grey ramp under the bars, as on a test card.
    const QRectF ramp(kScreen.left(), kScreen.top() + kScreen.height() * 0.7, kScreen.width(),
                      kScreen.height() * 0.3);
    QLinearGradient gradient(ramp.topLeft(), ramp.topRight());
    gradient.setColorAt(0, Qt::black);
    gradient.setColorAt(1, Qt::white);
    painter.fillRect(ramp, gradient);
}

void DrawKeypad(QPainter& painter) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(200, 205, 215));
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            painter.drawRoundedRect(QRectF(10.5 + column * 4.0, 20 + row * 3.5, 3, 2.2), 0.8, 0.8);
        }
    }
}

} // namespace

QImage DrawAppIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, size >= 24);
    painter.scale(size / 32.0, size / 32.0);
    DrawBody(painter);
    DrawScreen(painter);
    if (size >= 24) {
        DrawKeypad(painter);
    }
    return image;
}

QIcon AppIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64}) {
        icon.addPixmap(QPixmap::fromImage(DrawAppIcon(size)));
    }
    return icon;
}

} // namespace panelgrab
