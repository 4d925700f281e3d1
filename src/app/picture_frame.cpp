#include "app/picture_frame.h"

#include <QPainter>

#include "app/picture_image.h"

namespace panelgrab {

PictureFrame::PictureFrame(QWidget* parent) : QWidget(parent) {
    // Each repaint starts from the window's background, as the band redraw expects.
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
}

void PictureFrame::SetPicture(const DisplayBitmap* picture, int zoom) {
    picture_ = picture;
    zoom_ = zoom;
}

void PictureFrame::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setPen(Qt::black);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    if (picture_) {
        PaintPicture(painter, *picture_, QPoint(0, 0), zoom_);
    }
}

} // namespace panelgrab
