#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <pybind11/pybind11.h>

#include "common/image/picture.h"
#include "python/comparison.h"

namespace panelgrab::python {

class PhoneHandle;

// A captured picture for Python, held as the image module's RGB picture
// (row 0 at the top, no padding), whose rows the buffer protocol hands out without a copy.
class Screen {
public:
    // `phone` and `generation` name the grab, whose picture text gives the region checksums.
    Screen(const Picture& picture, std::weak_ptr<PhoneHandle> phone, uint64_t generation);

    int32_t width() const { return picture_->width(); }
    int32_t height() const { return picture_->height(); }
    // The RGB rows as bytes (a copy: bytes cannot share memory).
    pybind11::bytes Rgb() const;
    // height x width x 3 unsigned bytes, read-only, over the RGB rows.
    pybind11::buffer_info Buffer() const;

    // PNG for a name ending in .png, else BMP; atomic. Raises PictureError.
    void Save(const std::string& path) const;
    // The local checksum over the picture text this screen was decoded from. Raises ValueError for a
    // region beyond the display, PictureError once a later grab of the phone replaced that text.
    uint32_t RegionChecksum(const pybind11::object& region) const;
    // Compares this screen with a reference: another Screen or a BMP/PNG file's path. Raises
    // PictureError for an unreadable file, ValueError for bad options or a region outside the pictures.
    Comparison Compare(const pybind11::object& reference, const pybind11::object& regions,
                       const pybind11::object& ignore, int32_t tolerance, int64_t maxDiffPixels) const;

    const std::shared_ptr<Picture>& picture() const { return picture_; }

private:
    // The reference picture: another screen's, or read from a file.
    std::shared_ptr<const Picture> Reference(const pybind11::handle& reference) const;

    std::shared_ptr<Picture> picture_; // shared with the comparisons made from it
    std::weak_ptr<PhoneHandle> phone_;
    uint64_t generation_;
};

} // namespace panelgrab::python
