#include "app/picture_frame.h"

namespace panelgrab {

PictureFrame::PictureFrame(QWidget* parent) : QWidget(parent) {
    // Clicks and the context menu belong to the dialog beneath.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
}

} // namespace panelgrab
