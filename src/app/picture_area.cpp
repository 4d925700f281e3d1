#include "app/picture_area.h"

#include "app/picture_frame.h"

namespace panelgrab {

PictureArea::PictureArea(QWidget* parent) : QScrollArea(parent), frame_(new PictureFrame(this)) {
    setFrameShape(QFrame::NoFrame);
    setBackgroundRole(QPalette::Window);
    viewport()->setBackgroundRole(QPalette::Window);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setWidgetResizable(false); // the window sizes the frame to the picture
    setWidget(frame_);
    frame_->resize(1, 1);
}

} // namespace panelgrab
