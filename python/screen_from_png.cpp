#include "python/screen_from_png.h"

#include <span>
#include <string>

#include "common/image/png_decoder.h"
#include "python/python_errors.h"
#include "session/session.h"

namespace panelgrab::python {

std::shared_ptr<Screen> ScreenFromPng(const pybind11::bytes& png) {
    const std::string bytes = png;
    Picture picture;
    std::string error;
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    if (DecodePngPicture(std::span(data, bytes.size()), picture, error) != PictureFileStatus::Ok) {
        Raise({ErrorKind::Picture, "the picture is no usable PNG: " + error});
    }
    DisplayBitmap bitmap;
    if (picture.width() > static_cast<int32_t>(kMaxDisplaySide) ||
        picture.height() > static_cast<int32_t>(kMaxDisplaySide) || !bitmap.SetFromPicture(picture)) {
        Raise({ErrorKind::Picture, "the picture is larger than any display"});
    }
    return std::make_shared<Screen>(picture, std::weak_ptr<PhoneHandle>(), 0);
}

} // namespace panelgrab::python
