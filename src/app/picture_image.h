#pragma once

#include <QImage>
#include <QPoint>

class QPainter;

namespace panelgrab {

class Picture;

// The picture's rows seen as an image, without a copy: valid only while the picture lives and is
// not resized. A null image when the picture has no rows.
QImage PictureImage(const Picture& picture);

// Draws the whole picture enlarged `zoom` times with its top-left corner at `origin`, each display
// pixel a zoom x zoom block (nearest neighbour). The painter's clip limits the work to the area being
// repainted.
void PaintPicture(QPainter& painter, const Picture& picture, QPoint origin, int zoom);

} // namespace panelgrab
