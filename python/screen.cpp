#include "python/screen.h"

#include "common/image/picture_file_reader.h"
#include "compare/picture_comparison.h"
#include "python/gil_gate.h"
#include "python/phone_handle.h"
#include "python/picture_file_writer.h"
#include "python/python_errors.h"
#include "python/region_argument.h"

namespace py = pybind11;

namespace panelgrab::python {

Screen::Screen(const Picture& picture, std::weak_ptr<PhoneHandle> phone, uint64_t generation)
    : picture_(std::make_shared<Picture>(picture)), phone_(std::move(phone)), generation_(generation) {}

py::bytes Screen::Rgb() const {
    const std::size_t size = static_cast<std::size_t>(width()) * static_cast<std::size_t>(height()) * 3;
    return py::bytes(reinterpret_cast<const char*>(picture_->empty() ? nullptr : picture_->Row(0)), size);
}

py::buffer_info Screen::Buffer() const {
    const auto rowBytes = static_cast<py::ssize_t>(width()) * 3;
    return py::buffer_info(picture_->empty() ? nullptr : picture_->Row(0), 1,
                           py::format_descriptor<uint8_t>::format(), 3,
                           {py::ssize_t{height()}, py::ssize_t{width()}, py::ssize_t{3}},
                           {rowBytes, py::ssize_t{3}, py::ssize_t{1}}, true);
}

void Screen::Save(const std::string& path) const {
    bool written = false;
    std::string error;
    {
        const GilGate::Released release;
        written = PictureFileWriter::Write(*picture_, path, error);
    }
    if (!written) {
        Raise({ErrorKind::Picture, error});
    }
}

uint32_t Screen::RegionChecksum(const py::object& region) const {
    const DisplayRegion bounds = RegionArgument::ToDisplayRegion(region);
    if (bounds.right >= width() || bounds.bottom >= height()) {
        throw py::value_error("the region " + py::repr(region).cast<std::string>() + " lies outside the " +
                              std::to_string(width()) + "x" + std::to_string(height()) + " display");
    }
    const std::shared_ptr<PhoneHandle> phone = phone_.lock();
    if (!phone) {
        Raise({ErrorKind::Picture,
               "the phone this screen was grabbed from is gone, and the picture text with it"});
    }
    return phone->RegionChecksum(generation_, bounds);
}

std::shared_ptr<const Picture> Screen::Reference(const py::handle& reference) const {
    if (py::isinstance<Screen>(reference)) {
        return reference.cast<const Screen&>().picture_;
    }
    std::string path;
    try {
        path = py::module_::import("os").attr("fspath")(reference).cast<std::string>();
    } catch (const py::error_already_set&) {
        throw py::type_error("compare() takes a Screen or a picture file's path, not " +
                             py::repr(reference).cast<std::string>());
    } catch (const py::cast_error&) {
        throw py::type_error("compare() takes a Screen or a picture file's path, not " +
                             py::repr(reference).cast<std::string>());
    }
    auto picture = std::make_shared<Picture>();
    PictureFileStatus status = PictureFileStatus::Ok;
    std::string error;
    {
        const GilGate::Released release;
        status = PictureFileReader::Read(path, *picture, error);
    }
    if (status != PictureFileStatus::Ok) {
        Raise({ErrorKind::Picture, error});
    }
    return picture;
}

Comparison Screen::Compare(const py::object& reference, const py::object& regions, const py::object& ignore,
                           int32_t tolerance, int64_t maxDiffPixels) const {
    if (tolerance < 0 || tolerance > 255) {
        throw py::value_error("tolerance is a channel difference from 0 to 255, not " +
                              std::to_string(tolerance));
    }
    if (maxDiffPixels < 0) {
        throw py::value_error("max_diff_pixels is a pixel count of 0 or more, not " +
                              std::to_string(maxDiffPixels));
    }
    ComparisonOptions options;
    options.regions = RegionArgument::ToPictureRects(regions, "regions");
    options.ignores = RegionArgument::ToPictureRects(ignore, "ignore");
    options.tolerance = tolerance;
    options.maxDifferingPixels = maxDiffPixels;
    const std::shared_ptr<const Picture> expected = Reference(reference);

    ComparisonResult result;
    {
        const GilGate::Released release;
        result = PictureComparison(options).Compare(*expected, *picture_);
    }
    if (result.verdict == ComparisonVerdict::RegionOutside) {
        throw py::value_error(result.Summary());
    }
    return Comparison(result, std::move(options), expected, picture_);
}

} // namespace panelgrab::python
