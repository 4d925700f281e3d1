#include "app/picture_image.h"

#include <QPainter>

#include "common/image/picture.h"

namespace panelgrab {

QImage PictureImage(const Picture& picture) {
    if (picture.empty()) {
        return QImage();
    }
    // Red-green-blue rows without padding, one after the other.
    return QImage(picture.Row(0), picture.width(), picture.height(),
                  static_cast<qsizetype>(3) * picture.width(), QImage::Format_RGB888);
}

void PaintPicture(QPainter& painter, const Picture& picture, QPoint origin, int zoom) {
    const QImage image = PictureImage(picture);
    if (image.isNull()) {
        return;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(QRect(origin, image.size() * zoom), image);
}

} // namespace panelgrab
