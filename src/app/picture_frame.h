#pragma once

#include <QWidget>

namespace panelgrab {

// The black frame the picture is drawn into. The dialog paints both the border and the picture,
// because the picture covers the frame's top and left line and a child always paints above its parent;
// the frame itself only marks the place and size.
class PictureFrame : public QWidget {
    Q_OBJECT
public:
    explicit PictureFrame(QWidget* parent);
};

} // namespace panelgrab
