#include "python/region_argument.h"

#include <array>
#include <string>

namespace py = pybind11;

namespace panelgrab::python {

namespace {

std::array<int32_t, 4> Bounds(const py::handle& value) {
    if (!py::isinstance<py::sequence>(value) || py::isinstance<py::str>(value) || py::len(value) != 4) {
        throw py::type_error("a region is four numbers (left, top, right, bottom), not " +
                             py::repr(value).cast<std::string>());
    }
    std::array<int32_t, 4> bounds{};
    const py::sequence items = py::reinterpret_borrow<py::sequence>(value);
    for (std::size_t i = 0; i < bounds.size(); ++i) {
        const py::object item = items[i];
        if (!py::isinstance<py::int_>(item) || py::isinstance<py::bool_>(item)) {
            throw py::type_error("region coordinate " + py::repr(item).cast<std::string>() +
                                 " is not an integer");
        }
        const long long coordinate = item.cast<long long>();
        if (coordinate < 0 || coordinate > RegionArgument::kMaxCoordinate) {
            throw py::value_error("region coordinate " + std::to_string(coordinate) +
                                  " is not a number from 0 to 65535");
        }
        bounds[i] = static_cast<int32_t>(coordinate);
    }
    if (bounds[0] > bounds[2] || bounds[1] > bounds[3]) {
        throw py::value_error("region " + py::repr(value).cast<std::string>() +
                              " is empty: left must not exceed right, nor top bottom");
    }
    return bounds;
}

} // namespace

DisplayRegion RegionArgument::ToDisplayRegion(const py::handle& value) {
    const std::array<int32_t, 4> b = Bounds(value);
    return DisplayRegion{b[0], b[1], b[2], b[3]};
}

PictureRect RegionArgument::ToPictureRect(const py::handle& value) {
    const std::array<int32_t, 4> b = Bounds(value);
    return PictureRect{b[0], b[1], b[2], b[3]};
}

std::vector<PictureRect> RegionArgument::ToPictureRects(const py::handle& value, const char* name) {
    std::vector<PictureRect> rects;
    if (value.is_none()) {
        return rects;
    }
    if (!py::isinstance<py::sequence>(value) || py::isinstance<py::str>(value)) {
        throw py::type_error(std::string(name) + " is a list of regions (left, top, right, bottom)");
    }
    const bool flat =
        py::len(value) == 4 && py::isinstance<py::int_>(py::reinterpret_borrow<py::sequence>(value)[0]);
    if (flat) { // one region where a list of them belongs
        throw py::type_error(std::string(name) + " is a list of regions: write [" +
                             py::repr(value).cast<std::string>() + "]");
    }
    for (const py::handle item : value) {
        rects.push_back(ToPictureRect(item));
    }
    return rects;
}

} // namespace panelgrab::python
