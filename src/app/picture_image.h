#pragma once

#include <QImage>
#include <QPoint>

class QPainter;

namespace panelgrab {

class DisplayBitmap;

// The bitmap's pixel rows seen as an image, without a copy: valid only while the bitmap lives and is
// not resized. A null image when the bitmap has no rows.
QImage PictureImage(const DisplayBitmap& picture);

// Draws the whole picture enlarged `zoom` times with its top-left corner at `origin`, each display
// pixel a zoom x zoom block (nearest neighbour). The painter's clip limits the work to the area being
// repainted.
void PaintPicture(QPainter& painter, const DisplayBitmap& picture, QPoint origin, int zoom);

} // namespace panelgrab
