#pragma once

#include <QScrollArea>

namespace panelgrab {

class PictureFrame;

// The place of the picture frame in the window: from the template's frame corner to the window's
// right and bottom margin, growing and shrinking with the window. A frame larger than the area
// scrolls; the area itself draws no border, so an unscrolled frame sits exactly where the template
// puts it. Clicks and the context menu that the frame does not take go on to the window.
class PictureArea : public QScrollArea {
    Q_OBJECT
public:
    explicit PictureArea(QWidget* parent);

    PictureFrame* Frame() const { return frame_; }

private:
    PictureFrame* frame_;
};

} // namespace panelgrab
