#include "app/picture_image.h"

#include <QPainter>

#include "capture/display_bitmap.h"

namespace panelgrab {

QImage PictureImage(const DisplayBitmap& picture) {
    const std::size_t needed = static_cast<std::size_t>(picture.rowSize()) * picture.height();
    if (!picture.hasPixels() || picture.width() == 0 || picture.height() == 0 ||
        picture.pixelBytes() < needed) {
        return QImage();
    }
    // The rows are blue-green-red, which Qt calls RGB888 in reverse.
    return QImage(picture.pixels(), picture.width(), picture.height(),
                  static_cast<qsizetype>(picture.rowSize()), QImage::Format_BGR888);
}

void PaintPicture(QPainter& painter, const DisplayBitmap& picture, QPoint origin, int zoom) {
    const QImage image = PictureImage(picture);
    if (image.isNull()) {
        return;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(QRect(origin, image.size() * zoom), image);
}

} // namespace panelgrab
