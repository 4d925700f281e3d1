#pragma once

#include "capture/display_bitmap.h"
#include "common/image/picture.h"

namespace panelgrab::cli {

// The captured bitmap as a plain picture, for the comparison (which knows nothing of captures).
Picture ToPicture(const DisplayBitmap& bitmap);

// A picture as a bitmap, for the writers that take one. False when the picture is larger than a
// bitmap may be (a side beyond kMaxDisplaySide) or the rows cannot be allocated.
bool ToBitmap(const Picture& picture, DisplayBitmap& bitmap);

} // namespace panelgrab::cli
