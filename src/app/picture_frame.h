#pragma once

#include <QWidget>

namespace panelgrab {

class Picture;

// The black frame with the picture in it: one pixel wider and higher than the enlarged picture, whose
// top-left corner lies on the frame's, covering its top and left line. Sized by the window; the
// picture is borrowed from the window and drawn enlarged with each display pixel a zoom x zoom
// block. A repaint of a band draws only that band.
class PictureFrame : public QWidget {
    Q_OBJECT
public:
    explicit PictureFrame(QWidget* parent);

    // What the next paint draws: the picture's top `rows` rows, the rest left in the window's grey;
    // null: the frame alone. Repainting is the caller's.
    void SetPicture(const Picture* picture, int zoom, int rows);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const Picture* picture_ = nullptr;
    int zoom_ = 1;
    int rows_ = 0;
};

} // namespace panelgrab
