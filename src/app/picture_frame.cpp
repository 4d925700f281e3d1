#include "app/picture_frame.h"

#include <QPainter>
#include <algorithm>

#include "app/picture_image.h"

namespace panelgrab {

PictureFrame::PictureFrame(QWidget* parent) : QWidget(parent) {
    // Each repaint starts from the window's background, as the band redraw expects.
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
}

void PictureFrame::SetPicture(const Picture* picture, int zoom, int rows) {
    picture_ = picture;
    zoom_ = zoom;
    rows_ = rows;
}

void PictureFrame::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setPen(Qt::black);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    if (picture_ && rows_ > 0) {
        // Rows not read yet hold no picture: they would show as black.
        painter.setClipRect(
            QRect(0, 0, width(),
                  static_cast<int>(std::min<long long>(static_cast<long long>(rows_) * zoom_, height()))),
            Qt::IntersectClip);
        PaintPicture(painter, *picture_, QPoint(0, 0), zoom_);
    }
}

} // namespace panelgrab
